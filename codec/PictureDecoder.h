#pragma once

// PNG and JPEG files as the compressed outputs take them: the file's bytes decoded by
// libavcodec (its png and mjpeg decoders), then put into the pixel format the stream's
// encoder is opened in. What each output keeps:
//
//   decoded (PNG)             FFV1          PNG            H.264
//   rgb24, pal8 opaque        bgr0          as decoded     rgb24
//   rgba, pal8 transparent    bgra          as decoded     rgb24, alpha dropped
//   gray, monob (1 bit)       gray          as decoded     rgb24
//   ya8                       ya8           as decoded     rgb24, alpha dropped
//   rgb48be / rgba64be        gbrp16le / gbrap16le  as decoded  rgb24, 16 bits rounded to 8
//   gray16be / ya16be         gray16le / gbrap16le  as decoded  rgb24
//   decoded (JPEG)
//   yuvj420p, 422p, 444p...   yuv420p... (the planes as decoded: exact)   rgb24   rgb24
//   gray                      gray          gray           rgb24
//
// Everything but the YCbCr-to-RGB step of a JPEG and H.264's reductions is exact: the
// encoded frame decodes to the very samples libavcodec decodes from the file.

#include "bitmap/PictureHeader.h"
#include "codec/Codec.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kelvora::codec {

// The stream's handler and format compression for pictures stored as they are: 'MPNG', 'MJPG'.
[[nodiscard]] platform::FourCC pictureFourCC(bitmap::PictureType type);

// The pixel format a stream of `codec` (not Raw) is encoded in when its first picture decodes
// as `decoded`; AV_PIX_FMT_NONE when the codec cannot take it.
[[nodiscard]] AVPixelFormat pictureStreamFormat(Codec codec, const AVFrame& decoded);

// `decoded` in the pixel format of `target` (its format, width and height set, its buffers
// allocated and writable). False, with the reason in Italian in `error`, when the picture has
// another size, or would lose what the stream keeps (a transparent pixel in a stream without
// alpha, for FFV1; H.264 drops alpha and depth by design).
[[nodiscard]] bool convertPicture(const AVFrame& decoded, Codec codec, AVFrame& target, std::string& error);

// One decoder for one stream's picture files, used by one thread at a time.
class PictureDecoder {
public:
    // nullptr, with the reason in `error`, when libavcodec has no decoder for the type.
    [[nodiscard]] static std::unique_ptr<PictureDecoder> open(bitmap::PictureType type, std::string& error);
    ~PictureDecoder();
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

    // Decodes a whole file's bytes; false, with libavcodec's reason, when it cannot (or logs
    // an error: a picture concealed from damage is no picture of the file).
    [[nodiscard]] bool decode(std::span<const std::uint8_t> file, std::string& error);
    // The picture last decoded, valid until the next decode.
    [[nodiscard]] const AVFrame& picture() const;

private:
    struct Context;
    explicit PictureDecoder(std::unique_ptr<Context> context);
    std::unique_ptr<Context> m_context;
};

}  // namespace kelvora::codec

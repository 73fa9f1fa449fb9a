#pragma once

// PNG and JPEG files as the compressed outputs take them: the file's bytes decoded by
// libavcodec (its png and mjpeg decoders); PictureConversion puts the picture into the pixel
// format the stream's encoder is opened in.

#include "bitmap/PictureHeader.h"
#include "codec/Codec.h"
#include "codec/PictureConversion.h"
#include "platform/types/Result.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kelvora::codec {

// The stream's handler and format compression for pictures stored as they are: 'MPNG', 'MJPG'.
[[nodiscard]] platform::FourCC pictureFourCC(bitmap::PictureType type);

// Why a JPEG with these headers does not decode to its picture in libavcodec, for a save that
// decodes it; empty when it does. libavcodec 5.1 takes RGB components (component ids 'R',
// 'G', 'B' or an Adobe segment saying no transform) for RGB only when none is subsampled:
// subsampled, it decodes them as Y'CbCr, in colours far from the picture's.
[[nodiscard]] std::string decodingRefusal(const bitmap::JpegFacts& jpeg);

// One decoder for one stream's picture files, used by one thread at a time.
class PictureDecoder {
public:
    // The reason when libavcodec has no decoder for the type.
    [[nodiscard]] static platform::Result<std::unique_ptr<PictureDecoder>> open(bitmap::PictureType type);
    // A decoder opened for `type` that holds `file`'s picture, for a caller of one picture;
    // the reason of the open or of the decode.
    [[nodiscard]] static platform::Result<std::unique_ptr<PictureDecoder>> decodeOne(
        bitmap::PictureType type, std::span<const std::uint8_t> file);
    ~PictureDecoder();
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

    // Decodes a whole file's bytes; the reason in Italian when it cannot: a file
    // libavcodec finds damaged (or that makes it log an error: a picture concealed from damage
    // is no picture of the file) is said to be damaged, with libavcodec's words. A grey PNG of
    // fewer than 8 bits with a transparent grey decodes with that grey transparent, as
    // browsers show it (libavcodec alone decodes it opaque).
    platform::Status decode(std::span<const std::uint8_t> file);
    // The picture last decoded, valid until the next decode.
    [[nodiscard]] const AVFrame& picture() const;

private:
    struct Context;
    explicit PictureDecoder(std::unique_ptr<Context> context);
    std::unique_ptr<Context> m_context;
};

}  // namespace kelvora::codec

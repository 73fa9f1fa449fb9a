#pragma once

// PNG and JPEG pictures, as libavcodec decodes them, in the pixel format a stream's encoder
// is opened in. What each output keeps (docs/pictures.md has the table):
//
//   decoded (PNG)             FFV1                  PNG            H.264
//   rgb24, pal8 opaque        bgr0                  as decoded     rgb24
//   rgba, pal8 transparent    bgra                  rgba           rgb24 over the background
//   gray, monob (1 bit)       gray                  as decoded     rgb24
//   ya8                       bgra                  as decoded     rgb24 over the background
//   rgb48be / rgba64be        gbrp16le / gbrap16le  as decoded     rgb24, 16 bits rounded to 8
//   gray16be / ya16be         gray16le / gbrap16le  as decoded     rgb24
//   decoded (JPEG)
//   yuvj420p, 422p, 444p,     yuv420p... (the       rgb24          rgb24
//   440p, 411p                planes as decoded)
//   yuva444p (YCCK)           yuv444p               rgb24          rgb24
//   gbrp (RGB), gbrap (CMYK)  bgr0                  rgb24          rgb24
//   gray                      gray                  gray           rgb24
//
// A stream's format is its first picture's; a later picture with transparency in a stream
// without alpha (a palette stream's entries are opaque) shows over the background, as a
// browser draws it on a page of that colour (grey pictures go into colour streams where the
// background is not grey, so that it can).
// Everything else but a JPEG's Y'CbCr in RGB (libswscale's, as ffmpeg converts it) and
// H.264's reductions is exact: the encoded frame decodes to the very samples libavcodec
// decodes from the file.

#include "codec/Background.h"
#include "codec/Codec.h"
#include "platform/types/Result.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <memory>
#include <string>

namespace kelvora::codec {

// The pixel format a stream of `codec` (not Raw) is encoded in when its first picture decodes
// as `decoded`; AV_PIX_FMT_NONE when the codec cannot take it.
[[nodiscard]] AVPixelFormat pictureStreamFormat(Codec codec, const AVFrame& decoded, Background background = {});

// Converts pictures into a stream's pixel format, keeping what it needs from one picture to
// the next (libswscale's context, its padded picture). One per thread.
class PictureConverter {
public:
    PictureConverter();
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;

    // `decoded` in the pixel format of `target` (its format, width and height set, its buffers
    // allocated and writable: exactly its rows are written, whatever their padding). The
    // reason in Italian when the picture has another size or a form the
    // stream cannot hold, or would lose what the stream keeps (FFV1 and PNG keep every
    // sample; H.264 drops depth by design). Transparency where `target` has no alpha is
    // composited over `background`.
    platform::Status convert(const AVFrame& decoded, Codec codec, AVFrame& target, Background background);

    // `decoded`, of `width` x `height`, in 8-bit RGB as H.264's conversion takes it (the
    // transparency over `background`), without a copy where the decoder's picture or
    // libswscale's is already that: the reason when it cannot be. Valid until the next call
    // or the next decode.
    [[nodiscard]] platform::Result<const AVFrame*> toRgb(const AVFrame& decoded, int width, int height,
                                                         Background background);

private:
    struct Scaler;
    std::unique_ptr<Scaler> m_scaler;
    struct FreeFrame {
        void operator()(AVFrame* frame) const;
    };
    std::unique_ptr<AVFrame, FreeFrame> m_rgb;  // a picture made RGB here, for toRgb
};

// The same, with a converter of its own.
platform::Status convertPicture(const AVFrame& decoded, Codec codec, AVFrame& target);
platform::Status convertPicture(const AVFrame& decoded, Codec codec, AVFrame& target, Background background);

}  // namespace kelvora::codec

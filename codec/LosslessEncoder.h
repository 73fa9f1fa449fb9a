#pragma once

// One lossless encoder on libavcodec: frames of one stream in, one key frame out each. An
// encoder is used by one thread at a time; a save runs several side by side (EncoderPlan),
// since every frame is encoded on its own. Each frame can be checked by decoding it again.

#include "bitmap/FramePlan.h"
#include "codec/Background.h"
#include "codec/Codec.h"
#include "codec/CodecPixels.h"
#include "codec/EncoderPlan.h"
#include "platform/types/Result.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvora::codec {

class LosslessDecoder;
class PictureConverter;

// Whether each frame is decoded again after it is encoded and compared with its picture.
enum class FrameCheck { None, ByDecoding };
// What a save does for `codec`.
[[nodiscard]] FrameCheck frameCheckFor(Codec codec);

// How FFV1 holds frames of `format`, for its slices (EncoderPlan).
[[nodiscard]] Ffv1Form ffv1FormOf(AVPixelFormat format);

class LosslessEncoder {
public:
    // An encoder for frames of `shape` (`codec` not Raw), spreading each frame over `threads`
    // threads where the codec can (FFV1 at the level and slices ffv1SettingsFor gives);
    // libavcodec's reason when it cannot be opened.
    [[nodiscard]] static platform::Result<std::unique_ptr<LosslessEncoder>> open(Codec codec,
                                                                                 const bitmap::StreamShape& shape,
                                                                                 int threads);
    [[nodiscard]] static platform::Result<std::unique_ptr<LosslessEncoder>> open(Codec codec,
                                                                                 const bitmap::StreamShape& shape,
                                                                                 int threads, FrameCheck check);
    // An encoder for picture files (PNG, JPEG) decoded by PictureDecoder, into frames of
    // `shape`'s size in `format` (pictureStreamFormat), transparency shown over `background`
    // where the format has no alpha: PNG by libavcodec's own encoder, which takes every form a
    // PNG decodes to. Pictures are not decoded again: libavcodec writes what it is given.
    [[nodiscard]] static platform::Result<std::unique_ptr<LosslessEncoder>> openForPictures(
        Codec codec, const bitmap::StreamShape& shape, AVPixelFormat format, int threads, Background background);
    ~LosslessEncoder();
    LosslessEncoder(const LosslessEncoder&) = delete;
    LosslessEncoder& operator=(const LosslessEncoder&) = delete;

    // The stream's format block ('strf'): a 40-byte BITMAPINFOHEADER naming the codec, then
    // the codec's configuration record (FFV1) or, for palette frames, the first frame's
    // 256-colour table (PNG; each frame's own table travels in its image).
    [[nodiscard]] std::vector<std::uint8_t> streamFormat(std::span<const std::uint8_t> firstPalette) const;
    // The codec's configuration record: the same for every encoder of one stream.
    [[nodiscard]] std::span<const std::uint8_t> configuration() const;

    // Encodes one frame, its pixel block and (up to 8 bits) its colour table as FramePlan
    // gives them, into `packet`. The reason of a failure when libavcodec fails
    // (or logs an error while it encodes), or when the check finds the packet does not decode
    // to the frame's picture. `pixelsRead`, when given, is called once `bits` is read for the
    // last time: for FFV1 as soon as the frame is in the codec's layout, before compressing.
    platform::Status encode(std::span<const std::uint8_t> bits, std::span<const std::uint8_t> palette,
                            std::vector<std::uint8_t>& packet, const std::function<void()>& pixelsRead = {});
    // Encodes one picture as PictureDecoder gives it (an encoder from openForPictures).
    platform::Status encodePicture(const AVFrame& decoded, std::vector<std::uint8_t>& packet);
    // Whether `packet` decodes to the picture of the frame last encoded; the reason when it
    // does not. What encode does with ByDecoding: FFV1 decoded by libavcodec, PNG read
    // back by our writer (its chunks' CRCs, inflate and row filters).
    platform::Status decodesToLastFrame(std::span<const std::uint8_t> packet);

    [[nodiscard]] Codec codec() const { return m_codec; }
    [[nodiscard]] PixelLayout layout() const { return m_layout; }

private:
    struct Context;
    LosslessEncoder(Codec codec, const bitmap::StreamShape& shape, std::unique_ptr<Context> context, FrameCheck check);
    [[nodiscard]] static platform::Result<std::unique_ptr<Context>> openContext(Codec codec, int width, int height,
                                                                                AVPixelFormat format, int threads,
                                                                                bool ownPng);
    platform::Status openChecker();
    // The frame's picture written into `frame` in the codec's layout.
    void convertOnCodecThreads(const CodecRows& source, AVFrame& frame);
    // The frame as it stands to libavcodec's encoder, into `packet`.
    platform::Status sendFrame(std::vector<std::uint8_t>& packet);

    Codec m_codec;
    bitmap::StreamShape m_shape;
    PixelLayout m_layout;
    std::unique_ptr<Context> m_context;
    bool m_checkEach;
    bool m_pictures = false;  // frames are picture files, decoded
    Background m_background;  // what their transparency shows over
    std::unique_ptr<PictureConverter> m_converter;
    std::unique_ptr<LosslessDecoder> m_checker;  // opened with the encoder when each frame is checked
};

}  // namespace kelvora::codec

#pragma once

// A slideshow's fades drawn as its pictures come to the writer, fitted (8-bit RGB of the
// video's size): each picture's held frame is its own frame as the pipeline encoded it; each
// frame of a fade is drawn from the picture and the next one (slideshow/Blend) and put in the
// codec's form here: FFV1's or PNG's frame, or H.264's planes for the writer's encoder. A
// picture's held frame and crossfade wait for the next picture (or the end), which they need.

#include "codec/Codec.h"
#include "codec/LosslessEncoder.h"
#include "platform/types/Result.h"
#include "photo/Framing.h"
#include "slideshow/ShowLayout.h"
#include "video/Slideshow.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvora::video {

class FadeDrawer {
public:
    // `encoder`: for FFV1 and PNG, an encoder of the fitted pictures (null for H.264).
    FadeDrawer(slideshow::ShowSequence& sequence, const Slideshow& show, codec::Codec codec, photo::OutputSize size,
               std::unique_ptr<codec::LosslessEncoder> encoder);

    // The video's next picture: its fitted pixels (rows top-down, width x 3 bytes) and its frame
    // in the codec's form. The frames that follow from it are then frames(), in order, valid
    // until the next call. The reason when a fade frame cannot be encoded.
    platform::Status add(std::span<const std::uint8_t> rgb, std::span<const std::uint8_t> frame);
    // No picture follows: the last picture's held frame and its fade out.
    platform::Status end();

    [[nodiscard]] std::span<const std::vector<std::uint8_t>> frames() const { return {m_frames.data(), m_count}; }
    // The picture the video's frame `item` (a frame of the sequence) belongs to.
    [[nodiscard]] std::size_t pictureOf(std::size_t item) const;

private:
    platform::Status drawFrom(std::size_t first);
    platform::Status encode(std::vector<std::uint8_t>& out);
    std::vector<std::uint8_t>& nextFrame();

    slideshow::ShowSequence& m_sequence;
    const Slideshow& m_show;
    codec::Codec m_codec;
    photo::OutputSize m_size;
    std::unique_ptr<codec::LosslessEncoder> m_encoder;
    // The picture waiting for its held frame and trail, and the one that came after it.
    std::vector<std::uint8_t> m_pendingRgb;
    std::vector<std::uint8_t> m_pendingFrame;
    std::vector<std::uint8_t> m_nextRgb;
    std::vector<std::uint8_t> m_drawn;
    std::vector<std::vector<std::uint8_t>> m_frames;  // reused; the first m_count are this call's
    std::size_t m_count = 0;
};

}  // namespace kelvora::video

#pragma once

// A save's frame fitted into the video's size (photo/): its bitmap or picture file decoded,
// turned upright, brought to sRGB, resampled and placed, as 8-bit RGB, then in the form its
// encoder takes: the RGB picture itself (FFV1, PNG), H.264's Y'CbCr planes, or an
// uncompressed bitmap's rows. One per thread: it keeps its buffers from frame to frame.

#include "photo/Framing.h"
#include "platform/system/LargeBlock.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kelvora::video {

struct PreparedFrame;

class FrameFitter {
public:
    // `framing.size` is the video's size.
    explicit FrameFitter(const photo::Framing& framing);

    // The frame's picture fitted; the reason in Italian when its file does not decode.
    [[nodiscard]] std::string fit(const PreparedFrame& frame);

    // The fitted picture: rows top-down, red, green, blue.
    [[nodiscard]] const AVFrame& picture() const { return m_view; }
    // As an uncompressed bitmap's pixel block: rows bottom-up, blue, green, red, each padded to
    // four bytes.
    void bitmapRows(std::vector<std::uint8_t>& out) const;

private:
    photo::Framing m_framing;
    std::vector<std::uint8_t> m_rgb;
    AVFrame m_view{};
    platform::LargeBlock m_decoded;  // the last picture's decoded pixels, reused
};

// The size of a fitted frame's uncompressed pixel block (24 bits, rows padded to four bytes).
[[nodiscard]] std::size_t fittedBitmapBytes(photo::OutputSize size);

}  // namespace kelvora::video

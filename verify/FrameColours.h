#pragma once

// A decoded frame's colours as 8-bit RGB, whatever pixel format libavcodec decodes it to:
// Y'CbCr at any depth and chroma sampling turned into RGB by the exact formulas of the matrix
// and range the frame is tagged with (BT.601 where it says none, as ffmpeg takes it; each
// chroma sample standing for its whole block), RGB and grey taken at their depth, a palette
// frame through its table. What the check compares with a file's colours.

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::verify {

// Why the frame's colours cannot be read here (a hardware surface, floating point, Bayer
// samples...), in Italian; empty when they can.
[[nodiscard]] std::string coloursRefusal(const AVFrame& frame);

// The frame as rows top-down of red, green, blue, `frame.width` pixels each, unpadded, into
// `rgb`. The frame's format must be one coloursRefusal accepts.
void frameRgb(const AVFrame& frame, std::vector<std::uint8_t>& rgb);

}  // namespace kelvora::verify

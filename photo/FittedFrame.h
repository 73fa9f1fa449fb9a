#pragma once

// A picture fitted into a video frame: upright, in sRGB, resampled in linear light to the
// size the framing gives it, transparent pixels blended over the background as a browser
// blends them (in sRGB's own values), the bars the background. The frame is 8-bit RGB, which
// every encoder of a fitted video takes.

#include "photo/Framing.h"
#include "photo/SourcePicture.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvora::photo {

// 3 bytes a pixel (red, green, blue), rows top-down `stride` bytes apart.
struct RgbFrame {
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};

// `picture` into `frame` (frame.width x frame.height) as `framing` places it.
void fitInto(const SourcePicture& picture, const Framing& framing, RgbFrame frame);

}  // namespace kelvora::photo

#pragma once

// The frames of a fade: two pictures of the video's size mixed in linear light, where a mix
// of two colours has the light of both (mixed as stored, sRGB values darken the mid-point of
// a fade, most of all between bright and dark). Each 8-bit sRGB value is decoded to linear
// light, the two are weighed, and the sum is encoded to the nearest 8-bit value again, by the
// same tables a video's pictures are fitted with, so a weight of 0 or 1 gives a picture back
// exactly. Standard library only.

#include <cstddef>
#include <cstdint>

namespace kelvora::slideshow {

// 8-bit RGB, 3 bytes a pixel (red, green, blue), rows top-down `stride` bytes apart: the form
// every fitted frame of a video has.
struct RgbView {
    const std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};
struct RgbTarget {
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};

// `to` over `from` with the weight `weight` (0: `from` alone, 1: `to` alone) into `out`; all
// three of one size. `out` may be either picture.
void blendInLinearLight(RgbView from, RgbView to, double weight, RgbTarget out);
// `picture` against black with its weight `weight` (0: black, 1: the picture).
void fadeInLinearLight(RgbView picture, double weight, RgbTarget out);

// sRGB's transfer function by tables, both ways (the fitted pictures' own).
[[nodiscard]] float linearOf(std::uint8_t srgb);
[[nodiscard]] std::uint8_t srgbOf(float linear);

}  // namespace kelvora::slideshow

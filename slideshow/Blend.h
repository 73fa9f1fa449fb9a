#pragma once

// The frames of a fade: two pictures of the video's size mixed in linear light, where a mix
// of two colours has the light of both (mixed as stored, sRGB values darken the mid-point of
// a fade, most of all between bright and dark). Each 8-bit sRGB value is decoded to linear
// light in steps of 2^-30, the two are weighed by a fraction in integers, and the sum is
// encoded to the nearest 8-bit sRGB value again, so that a weight of 0 or 1 gives a picture
// back exactly and the check recomputes every frame to the bit on any machine. Standard
// library only.

#include "slideshow/ShowLayout.h"
#include "slideshow/Timeline.h"

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
void blendInLinearLight(RgbView from, RgbView to, Weight weight, RgbTarget out);
// `picture` against black with its weight `weight` (0: black, 1: the picture).
void fadeInLinearLight(RgbView picture, Weight weight, RgbTarget out);
// The frame of a fade `shown` draws: `picture` (the picture it belongs to) mixed into `next`
// (the following one) for a crossfade, against black for a fade in or out. The save and the
// check draw every fade frame by this one function.
void drawFade(const Shown& shown, RgbView picture, RgbView next, RgbTarget out);

// sRGB's transfer function in integers, both ways: an 8-bit value's linear light in units of
// 2^-30, and the 8-bit value nearest (in sRGB) to a linear light in those units.
inline constexpr std::uint32_t kLinearOne = 1u << 30;
[[nodiscard]] std::uint32_t linearOf(std::uint8_t srgb);
[[nodiscard]] std::uint8_t srgbOf(std::uint32_t linear);

}  // namespace kelvora::slideshow

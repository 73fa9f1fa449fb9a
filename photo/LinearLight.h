#pragma once

// sRGB's transfer function both ways, by tables: pictures are scaled and blended in linear
// light, where a mean of two values is the mean of their light (the mean of gamma-encoded
// values darkens fine detail and edges). The tables make every 8-bit value come back as
// itself, so a picture left at its size keeps its pixels.

#include <cstdint>
#include <span>

namespace kelvora::photo {

// Linear light, 0 to 1, of an 8-bit sRGB value.
[[nodiscard]] std::span<const float, 256> srgbToLinear8();
// Of a 16-bit sRGB value.
[[nodiscard]] std::span<const float, 65536> srgbToLinear16();

// The nearest 8-bit sRGB value of linear light `v` (clamped to 0 to 1).
[[nodiscard]] std::uint8_t linearToSrgb8(float v);

// The same functions exactly, for tables and tests.
[[nodiscard]] double srgbDecode(double encoded);
[[nodiscard]] double srgbEncode(double linear);

}  // namespace kelvora::photo

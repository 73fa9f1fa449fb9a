#pragma once

// Whether a bitmap, as the bitmap object loaded it, describes a frame that video players
// decode: the video stores the bitmap's information block as its format and the pixel block
// as each frame, unchanged, so a frame players cannot decode would make a video that does
// not play. The rules follow what the common players' AVI decoders accept.

#include "bitmap/cDIB.h"

#include <cstdint>
#include <span>

namespace kelvora::bitmap {

// BMP compression codes.
inline constexpr std::int32_t BI_RGB = 0;
inline constexpr std::int32_t BI_RLE8 = 1;
inline constexpr std::int32_t BI_RLE4 = 2;
inline constexpr std::int32_t BI_BITFIELDS = 3;

// For a successfully loaded object.
[[nodiscard]] bool isDecodableFrame(const cDIB& dib);

// Whether an RLE8 or RLE4 pixel block stays inside a width x height picture and is read
// to its end the way the players' decoders read it.
[[nodiscard]] bool isSoundRle8(std::span<const std::uint8_t> bits, std::int32_t width, std::int32_t height);
[[nodiscard]] bool isSoundRle4(std::span<const std::uint8_t> bits, std::int32_t width, std::int32_t height);

}  // namespace kelvora::bitmap

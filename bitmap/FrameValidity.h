#pragma once

// Whether a run-length-encoded pixel block is one that video players decode: the video
// stores each frame's pixels unchanged, so a block they cannot read would make a video
// that does not play. The rules follow what the common players' AVI decoders accept.

#include "platform/binary/BitmapRecords.h"

#include <cstdint>
#include <span>

namespace kelvora::bitmap {

using binary::BI_BITFIELDS;
using binary::BI_RGB;
using binary::BI_RLE4;
using binary::BI_RLE8;

// Whether an RLE8 or RLE4 pixel block stays inside a width x height picture and is read
// to its end the way the players' decoders read it.
[[nodiscard]] bool isSoundRle8(std::span<const std::uint8_t> bits, std::int32_t width, std::int32_t height);
[[nodiscard]] bool isSoundRle4(std::span<const std::uint8_t> bits, std::int32_t width, std::int32_t height);

}  // namespace kelvora::bitmap

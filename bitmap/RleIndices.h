#pragma once

// The colour indices a run-length-encoded pixel block stands for, for a consumer that needs
// the picture itself (an encoder) rather than the stored bytes.

#include <cstdint>
#include <span>

namespace kelvora::bitmap {

// Draws an RLE8 (bitCount 8) or RLE4 (bitCount 4) block of a bottom-up width x height
// picture into `indices`: rows top-down, `width` bytes a row, one index a byte. The picture
// starts as index 0, as a decoder's empty frame does: pixels the block skips (a delta, a row
// or the picture ended early) stay 0, and pixels drawn past the width are dropped. Reading
// stops at the block's end or its end-of-picture code; the block need not be sound.
void expandRle(std::span<const std::uint8_t> bits, std::int32_t width, std::int32_t height, int bitCount,
               std::span<std::uint8_t> indices);

}  // namespace kelvora::bitmap

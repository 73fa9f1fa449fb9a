#pragma once

// The transparent grey of a grey PNG of 1, 2 or 4 bits (its tRNS chunk): libavcodec 5.1
// decodes such a picture opaque (it compares the key with samples already widened to 8 bits,
// or at 1 bit not at all), where browsers show the key's pixels transparent.

#include <cstdint>
#include <optional>
#include <span>

namespace kelvora::codec {

struct PngGreyKey {
    int bitDepth = 0;       // 1, 2 or 4
    std::uint16_t key = 0;  // the sample value that is transparent
};

// The key of `png`, a whole PNG file, read from its chunks before the image data (every
// length checked against the file); none for other colour types, depths, or without tRNS.
[[nodiscard]] std::optional<PngGreyKey> lowDepthGreyKey(std::span<const std::uint8_t> png);

}  // namespace kelvora::codec

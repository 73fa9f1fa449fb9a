#pragma once

// What a finished save says of the file it made: its codec, its size and, compressed, how
// much smaller it is than the same frames uncompressed ("FFV1, 12,3 MB, 6,8 volte più
// piccolo"). Numbers are written the Italian way, with a decimal comma.

#include "codec/Codec.h"

#include <cstdint>
#include <string>

namespace kelvora::video {

// What one frame of width x height pixels comes to uncompressed, in rows of `bytesPerPixel`
// (3 for colour, 4 where the codec keeps an alpha channel) padded to 4 bytes as a bitmap's
// are: a picture file's frame is compared with this, not with the file's compressed bytes.
[[nodiscard]] std::uint64_t uncompressedFrameBytes(std::int32_t width, std::int32_t height, int bytesPerPixel);

// "12,3 MB": three significant digits, decimal units (kB, MB, GB, TB); below 1 kB in bytes.
[[nodiscard]] std::string sizeText(std::uint64_t bytes);

// The codec, the file's size and, for a compressed video, its size against
// `uncompressedBytes`, what the same video would come to uncompressed.
[[nodiscard]] std::string savedSummary(codec::Codec codec, std::uint64_t fileBytes, std::uint64_t uncompressedBytes);

}  // namespace kelvora::video

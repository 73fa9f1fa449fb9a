#pragma once

// A PNG file's bytes checked as a decoder reads them, before they become a frame: every
// chunk's CRC, the image data (the IDAT chunks' zlib stream) inflated to its end with its
// checksum, and each row's filter. libavcodec's PNG decoder checks no CRC, and a stream that
// does not inflate gives it no picture: such a file stored as it is would be a frame no
// player shows. Inflating runs at gigabytes a second (libdeflate, into a buffer the thread
// keeps; beyond kWholeInflateBytes zlib's inflate through a small window), so the check keeps
// the pace of a save that copies files.

#include "bitmap/PictureHeader.h"

#include <cstdint>
#include <span>
#include <string>

namespace kelvora::video {

// The inflated picture up to which it is inflated whole into one buffer.
inline constexpr std::int64_t kWholeInflateBytes = std::int64_t{128} << 20;

// Why the PNG file `png` (whose headers `header` describes) does not decode to its picture, in
// Italian, to follow "Motivo: "; empty when it does.
[[nodiscard]] std::string pngDamage(std::span<const std::uint8_t> png, const bitmap::PictureHeader& header);

}  // namespace kelvora::video

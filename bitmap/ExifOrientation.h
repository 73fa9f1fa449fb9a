#pragma once

// The Orientation tag (0x0112) of an EXIF block's first directory, as cameras record how they
// were held: 1 to 8, or 1 where the block holds none or an invalid one. Standard library only.

#include <cstdint>
#include <span>

namespace kelvora::bitmap {

// From the block's TIFF structure (what follows "Exif\0\0" in a JPEG's APP1 segment), which may
// be cut short: an entry beyond its end counts as absent.
[[nodiscard]] std::uint8_t exifOrientationValue(std::span<const std::uint8_t> tiff);

}  // namespace kelvora::bitmap

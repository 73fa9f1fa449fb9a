#pragma once

// Builds BMP files for tests. makeBmp gives a well-formed frame: uncompressed, 8 (with a
// 256-entry grey palette), 24 or 32 bits, bottom-up (positive height) or top-down (negative
// height), pixels from a seed; its header fields follow from width, height and depth.
// Tests of malformed files write a layout's header fields as they are (bmpHeaders).

#include "platform/binary/BitmapRecords.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/fs/TempDir.h"

namespace kelvora::testsupport {

// What the headers of a test bitmap say, and the seed of its pixels.
struct BmpLayout {
    std::int32_t width = 4;
    std::int32_t height = 2;
    std::int32_t bitCount = 24;
    std::uint32_t seed = 1;
    std::int32_t compression = 0;
    std::int32_t sizeImage = 24;
    std::int32_t offBits = 54;
    std::int32_t clrUsed = 0;
    std::int32_t clrImportant = 0;
    std::int32_t xppm = 2835;
    std::int32_t yppm = 3780;
    std::int16_t planes = 1;
    std::int32_t infoSize = 40;
    std::int32_t fileSize = -1;      // -1: offBits + sizeImage
    std::int32_t storedPixels = -1;  // pixel bytes really stored; -1: sizeImage

    [[nodiscard]] std::int32_t bfSize() const
    {
        return fileSize >= 0 ? fileSize
                             : static_cast<std::int32_t>(static_cast<std::uint32_t>(offBits) +
                                                         static_cast<std::uint32_t>(sizeImage));
    }
};

// The layout's width, height, depth and seed with the header fields of a well-formed
// uncompressed frame: sizes, offset and palette count follow from them.
[[nodiscard]] BmpLayout frameLayout(const BmpLayout& layout);
[[nodiscard]] binary::BITMAPFILEHEADER fileHeaderOf(const BmpLayout& layout);
[[nodiscard]] binary::BITMAPINFOHEADER infoHeaderOf(const BmpLayout& layout);
// The 54 bytes of both headers, the layout's fields written as they are.
[[nodiscard]] std::vector<std::uint8_t> bmpHeaders(const BmpLayout& layout);

[[nodiscard]] std::uint32_t bmpStride(const BmpLayout& layout);
[[nodiscard]] std::vector<std::uint8_t> bmpPixels(const BmpLayout& layout);  // the pixel block as stored
[[nodiscard]] std::vector<std::uint8_t> makeBmp(const BmpLayout& layout);
void writeBmp(const std::filesystem::path& path, const BmpLayout& layout);
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace kelvora::testsupport

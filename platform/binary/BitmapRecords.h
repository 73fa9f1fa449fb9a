#pragma once

// The BMP file's two headers as the platform publishes them, read and written field by
// field in little-endian. Every part of the program that reads or builds a BMP header
// goes through these.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvora::binary {

inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::size_t kInfoHeaderSize = 40;
inline constexpr std::size_t kCoreHeaderSize = 12;        // the OS/2 header: 16-bit sides, 3-byte colours
inline constexpr std::int16_t kBitmapSignature = 0x4D42;  // "BM" read little-endian

// The BMP file header as the file stores it: little-endian, no gaps between fields.
struct BITMAPFILEHEADER {
    std::int16_t bfType = 0;
    std::int32_t bfSize = 0;
    std::int16_t bfReserved1 = 0;
    std::int16_t bfReserved2 = 0;
    std::int32_t bfOffBits = 0;
};

// The 40-byte information header that follows the file header.
struct BITMAPINFOHEADER {
    std::int32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::int16_t biPlanes = 0;
    std::int16_t biBitCount = 0;
    std::int32_t biCompression = 0;
    std::int32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::int32_t biClrUsed = 0;
    std::int32_t biClrImportant = 0;
};

// Bytes of one stored row: rows are padded to a multiple of four bytes.
[[nodiscard]] constexpr std::int64_t rowStride(std::int64_t width, std::int64_t bitCount)
{
    return (width * bitCount + 31) / 32 * 4;
}

// BMP compression codes.
inline constexpr std::int32_t BI_RGB = 0;
inline constexpr std::int32_t BI_RLE8 = 1;
inline constexpr std::int32_t BI_RLE4 = 2;
inline constexpr std::int32_t BI_BITFIELDS = 3;

[[nodiscard]] BITMAPFILEHEADER readFileHeader(std::span<const std::uint8_t, kFileHeaderSize> bytes);
void writeFileHeader(const BITMAPFILEHEADER& header, std::span<std::uint8_t, kFileHeaderSize> bytes);
[[nodiscard]] std::array<std::uint8_t, kFileHeaderSize> fileHeaderBytes(const BITMAPFILEHEADER& header);

[[nodiscard]] BITMAPINFOHEADER readInfoHeader(std::span<const std::uint8_t, kInfoHeaderSize> bytes);
void writeInfoHeader(const BITMAPINFOHEADER& header, std::span<std::uint8_t, kInfoHeaderSize> bytes);
[[nodiscard]] std::array<std::uint8_t, kInfoHeaderSize> infoHeaderBytes(const BITMAPINFOHEADER& header);

// The information header as it describes the picture, whatever form the file uses: the
// 40-byte header and its larger successors share their first 40 bytes; the OS/2 header
// (biSize 12) has 16-bit sides and depth and no compression. `bytes` starts at file offset
// 14 and may be short: what it lacks reads as zero.
[[nodiscard]] BITMAPINFOHEADER readAnyInfoHeader(std::span<const std::uint8_t> bytes);

// The pixel block's size in bytes. A size of 0 is allowed for uncompressed and bit-field
// pictures, whose block is then just their rows; any other stored size stands as it is.
[[nodiscard]] std::int64_t imageSize(const BITMAPINFOHEADER& header);

}  // namespace kelvora::binary

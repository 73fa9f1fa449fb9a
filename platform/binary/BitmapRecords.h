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

[[nodiscard]] BITMAPFILEHEADER readFileHeader(std::span<const std::uint8_t, kFileHeaderSize> bytes);
void writeFileHeader(const BITMAPFILEHEADER& header, std::span<std::uint8_t, kFileHeaderSize> bytes);
[[nodiscard]] std::array<std::uint8_t, kFileHeaderSize> fileHeaderBytes(const BITMAPFILEHEADER& header);

[[nodiscard]] BITMAPINFOHEADER readInfoHeader(std::span<const std::uint8_t, kInfoHeaderSize> bytes);
void writeInfoHeader(const BITMAPINFOHEADER& header, std::span<std::uint8_t, kInfoHeaderSize> bytes);
[[nodiscard]] std::array<std::uint8_t, kInfoHeaderSize> infoHeaderBytes(const BITMAPINFOHEADER& header);

}  // namespace kelvora::binary

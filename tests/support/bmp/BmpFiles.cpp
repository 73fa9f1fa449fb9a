#include "tests/support/bmp/BmpFiles.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace kelvora::testing {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

}  // namespace

std::uint32_t bmpStride(const BmpLayout& layout)
{
    return ((static_cast<std::uint32_t>(layout.width) * static_cast<std::uint32_t>(layout.bitCount) + 31) / 32) * 4;
}

std::vector<std::uint8_t> bmpPixels(const BmpLayout& layout)
{
    const std::uint32_t rows = static_cast<std::uint32_t>(layout.height < 0 ? -layout.height : layout.height);
    std::vector<std::uint8_t> pixels(bmpStride(layout) * rows);
    std::uint32_t state = layout.seed * 2654435761u + 1;
    for (std::uint8_t& byte : pixels) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return pixels;
}

std::vector<std::uint8_t> makeBmp(const BmpLayout& layout)
{
    const std::vector<std::uint8_t> pixels = bmpPixels(layout);
    const std::uint32_t paletteBytes = layout.bitCount <= 8 ? 4u << layout.bitCount : 0;
    const std::uint32_t offBits = 14 + 40 + paletteBytes;
    std::vector<std::uint8_t> file;
    file.reserve(offBits + pixels.size());
    put16(file, 0x4D42);                                            // bfType
    put32(file, offBits + static_cast<std::uint32_t>(pixels.size())); // bfSize
    put16(file, 0);                                                 // bfReserved1
    put16(file, 0);                                                 // bfReserved2
    put32(file, offBits);                                           // bfOffBits
    put32(file, 40);                                                // biSize
    put32(file, static_cast<std::uint32_t>(layout.width));            // biWidth
    put32(file, static_cast<std::uint32_t>(layout.height));           // biHeight
    put16(file, 1);                                                 // biPlanes
    put16(file, static_cast<std::uint32_t>(layout.bitCount));         // biBitCount
    put32(file, 0);                                                 // biCompression (BI_RGB)
    put32(file, static_cast<std::uint32_t>(pixels.size()));         // biSizeImage
    put32(file, 2835);                                              // biXPelsPerMeter
    put32(file, 2835);                                              // biYPelsPerMeter
    put32(file, paletteBytes / 4);                                  // biClrUsed
    put32(file, 0);                                                 // biClrImportant
    for (std::uint32_t i = 0; i < paletteBytes / 4; ++i) {
        const auto grey = static_cast<std::uint8_t>(i * 255 / (paletteBytes / 4 - 1));
        file.insert(file.end(), {grey, grey, grey, 0});
    }
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

void writeBmp(const std::filesystem::path& path, const BmpLayout& layout)
{
    const std::vector<std::uint8_t> bytes = makeBmp(layout);
    writeBytes(path, std::string(bytes.begin(), bytes.end()));
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvora-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

}  // namespace kelvora::testing

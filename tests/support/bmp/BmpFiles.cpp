#include "tests/support/bmp/BmpFiles.h"

#include "platform/binary/BitmapRecords.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace kelvora::testsupport {

BmpLayout frameLayout(const BmpLayout& layout)
{
    const std::uint32_t rows = static_cast<std::uint32_t>(layout.height < 0 ? -layout.height : layout.height);
    const std::int32_t colours = layout.bitCount <= 8 ? 1 << layout.bitCount : 0;
    BmpLayout frame{.width = layout.width, .height = layout.height, .bitCount = layout.bitCount, .seed = layout.seed};
    frame.sizeImage = static_cast<std::int32_t>(bmpStride(layout) * rows);
    frame.offBits = static_cast<std::int32_t>(binary::kFileHeaderSize + binary::kInfoHeaderSize) + 4 * colours;
    frame.clrUsed = colours;
    frame.yppm = 2835;
    return frame;
}

binary::BITMAPFILEHEADER fileHeaderOf(const BmpLayout& layout)
{
    return {.bfType = binary::kBitmapSignature, .bfSize = layout.bfSize(), .bfOffBits = layout.offBits};
}

binary::BITMAPINFOHEADER infoHeaderOf(const BmpLayout& layout)
{
    return {.biSize = layout.infoSize,
            .biWidth = layout.width,
            .biHeight = layout.height,
            .biPlanes = layout.planes,
            .biBitCount = static_cast<std::int16_t>(layout.bitCount),
            .biCompression = layout.compression,
            .biSizeImage = layout.sizeImage,
            .biXPelsPerMeter = layout.xppm,
            .biYPelsPerMeter = layout.yppm,
            .biClrUsed = layout.clrUsed,
            .biClrImportant = layout.clrImportant};
}

std::vector<std::uint8_t> bmpHeaders(const BmpLayout& layout)
{
    const auto file = binary::fileHeaderBytes(fileHeaderOf(layout));
    const auto info = binary::infoHeaderBytes(infoHeaderOf(layout));
    std::vector<std::uint8_t> out(file.begin(), file.end());
    out.insert(out.end(), info.begin(), info.end());
    return out;
}

std::uint32_t bmpStride(const BmpLayout& layout)
{
    return static_cast<std::uint32_t>(binary::rowStride(layout.width, layout.bitCount));
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
    const BmpLayout frame = frameLayout(layout);
    const std::vector<std::uint8_t> pixels = bmpPixels(frame);
    std::vector<std::uint8_t> file = bmpHeaders(frame);
    file.reserve(static_cast<std::size_t>(frame.bfSize()));
    const auto colours = static_cast<std::uint32_t>(frame.clrUsed);
    for (std::uint32_t i = 0; i < colours; ++i) {
        const auto grey = static_cast<std::uint8_t>(i * 255 / (colours - 1));
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

}  // namespace kelvora::testsupport

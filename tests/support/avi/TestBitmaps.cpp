#include "tests/support/avi/TestBitmaps.h"

#include "platform/binary/BitmapRecords.h"
#include "tests/support/bmp/BmpFiles.h"

#include <cstdlib>

namespace kelvora::testsupport {

namespace {

int strideOf(int width, int bitCount) { return static_cast<int>(binary::rowStride(width, bitCount)); }

}  // namespace

TestBitmap makeTestBitmap(int width, int height, int bitCount, int seed)
{
    TestBitmap bmp{width, height, bitCount, {}, {}};
    const int rows = std::abs(height);
    const int stride = strideOf(width, bitCount);
    const testsupport::BmpLayout layout =
        testsupport::frameLayout({.width = width, .height = height, .bitCount = bitCount});
    const auto header = binary::infoHeaderBytes(testsupport::infoHeaderOf(layout));
    bmp.info.assign(header.begin(), header.end());
    const int colours = layout.clrUsed;
    for (int i = 0; i < colours; ++i) {
        const auto blue = static_cast<std::uint8_t>(i * 7 + 13);
        const auto green = static_cast<std::uint8_t>(255 - i);
        const auto red = static_cast<std::uint8_t>(i * 3);
        bmp.info.insert(bmp.info.end(), {blue, green, red, 0});
    }
    bmp.pixels.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows), 0);
    const int bytesPerPixel = bitCount / 8;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width * bytesPerPixel; ++x)
            bmp.pixels[static_cast<std::size_t>(y * stride + x)] =
                static_cast<std::uint8_t>(x * 5 + y * 11 + seed * 37);
    return bmp;
}

std::vector<std::uint8_t> topDownPixels(const TestBitmap& bmp, int bytesPerPixel)
{
    const int rows = std::abs(bmp.height);
    const int stride = strideOf(bmp.width, bmp.bitCount);
    std::vector<std::uint8_t> out;
    for (int r = 0; r < rows; ++r) {
        const int stored = bmp.height > 0 ? rows - 1 - r : r;
        const std::uint8_t* row = bmp.pixels.data() + static_cast<std::size_t>(stored * stride);
        for (int x = 0; x < bmp.width; ++x) {
            if (bmp.bitCount == 8) {
                const std::uint8_t* entry = bmp.info.data() + 40 + 4 * row[x];
                out.insert(out.end(), entry, entry + bytesPerPixel);
            } else {
                const std::uint8_t* px = row + x * (bmp.bitCount / 8);
                out.insert(out.end(), px, px + bytesPerPixel);
            }
        }
    }
    return out;
}

}  // namespace kelvora::testsupport

#include "tests/support/avi/TestBitmaps.h"

#include <cstdlib>

namespace kelvora::testsupport {

namespace {

void put(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

int strideOf(int width, int bitCount) { return ((width * bitCount + 31) / 32) * 4; }

}  // namespace

TestBitmap makeTestBitmap(int width, int height, int bitCount, int seed)
{
    TestBitmap bmp{width, height, bitCount, {}, {}};
    const int rows = std::abs(height);
    const int stride = strideOf(width, bitCount);
    const int colours = bitCount == 8 ? 256 : 0;
    put(bmp.info, 40, 4);                                            // biSize
    put(bmp.info, static_cast<std::uint32_t>(width), 4);             // biWidth
    put(bmp.info, static_cast<std::uint32_t>(height), 4);            // biHeight
    put(bmp.info, 1, 2);                                             // biPlanes
    put(bmp.info, static_cast<std::uint32_t>(bitCount), 2);          // biBitCount
    put(bmp.info, 0, 4);                                             // biCompression: BI_RGB
    put(bmp.info, static_cast<std::uint32_t>(stride * rows), 4);     // biSizeImage
    put(bmp.info, 2835, 4);                                          // biXPelsPerMeter
    put(bmp.info, 2835, 4);                                          // biYPelsPerMeter
    put(bmp.info, static_cast<std::uint32_t>(colours), 4);           // biClrUsed
    put(bmp.info, 0, 4);                                             // biClrImportant
    for (int i = 0; i < colours; ++i) {
        put(bmp.info, static_cast<std::uint32_t>((i * 7 + 13) & 0xFF), 1);  // blue
        put(bmp.info, static_cast<std::uint32_t>(255 - i), 1);              // green
        put(bmp.info, static_cast<std::uint32_t>((i * 3) & 0xFF), 1);       // red
        put(bmp.info, 0, 1);
    }
    bmp.pixels.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows), 0);
    const int bytesPerPixel = bitCount / 8;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width * bytesPerPixel; ++x)
            bmp.pixels[static_cast<std::size_t>(y * stride + x)] = static_cast<std::uint8_t>(x * 5 + y * 11 + seed * 37);
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

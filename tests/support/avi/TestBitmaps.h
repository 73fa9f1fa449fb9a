#pragma once

// Small DIBs made in memory for tests of the save: a bitmap information block as a BMP
// file holds it (header, colour table) and pixel rows with their 4-byte stride.

#include <cstdint>
#include <vector>

namespace kelvora::testsupport {

struct TestBitmap {
    int width = 0;
    int height = 0;  // negative: rows stored top-down
    int bitCount = 24;
    std::vector<std::uint8_t> info;    // BITMAPINFOHEADER (+ colour table for 8 bits)
    std::vector<std::uint8_t> pixels;  // as stored, rows padded to 4 bytes
};

// A pattern that differs per frame `seed`, so swapped or repeated frames show.
[[nodiscard]] TestBitmap makeTestBitmap(int width, int height, int bitCount, int seed);
// The image as packed top-down rows of `bytesPerPixel` (3: B,G,R; 4: B,G,R,X), the layout
// ffmpeg's rawvideo output uses; 8-bit images are expanded through their colour table.
[[nodiscard]] std::vector<std::uint8_t> topDownPixels(const TestBitmap& bitmap, int bytesPerPixel);

}  // namespace kelvora::testsupport

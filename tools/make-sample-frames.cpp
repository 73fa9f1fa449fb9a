// Writes a folder of sample frames a new user can add right away: 50 bitmaps of
// 320 x 240 at 24 bits, a ball bouncing over a sky, named frame_001.bmp ... frame_050.bmp.
// Usage: make-sample-frames <folder> [count]

#include "bitmap/cDIB.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/msgbox/MessageBox.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kStride = kWidth * 3;  // already a multiple of four

// A packed bitmap: the 40-byte information header followed directly by the pixels.
std::vector<std::uint8_t> drawFrame(int index, int count)
{
    using kelvora::binary::kInfoHeaderSize;
    std::vector<std::uint8_t> dib(kInfoHeaderSize + kStride * kHeight, 0);
    kelvora::binary::writeInfoHeader({.biSize = static_cast<std::int32_t>(kInfoHeaderSize),
                                      .biWidth = kWidth,
                                      .biHeight = kHeight,  // bottom-up
                                      .biPlanes = 1,
                                      .biBitCount = 24,
                                      .biSizeImage = kStride * kHeight},
                                     std::span(dib).first<kInfoHeaderSize>());
    const double t = static_cast<double>(index) / count;
    const double ballX = 30 + t * (kWidth - 60);
    const double ballY = 40 + std::abs(std::sin(t * 3 * M_PI)) * (kHeight - 100);  // height above ground
    for (int row = 0; row < kHeight; ++row) {                                      // row 0 is the bottom line
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* pixel = &dib[kInfoHeaderSize + row * kStride + x * 3];  // blue, green, red
            const bool ground = row < 30;
            pixel[0] = ground ? 40 : static_cast<std::uint8_t>(255 - row / 3);
            pixel[1] = ground ? 140 : static_cast<std::uint8_t>(190 - row / 4);
            pixel[2] = ground ? 60 : 90;
            const double dx = x - ballX;
            const double dy = row - (30 + ballY);
            if (dx * dx + dy * dy < 18 * 18) {
                pixel[0] = 30;
                pixel[1] = 60;
                pixel[2] = 230;
            }
        }
    }
    return dib;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder> [count]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int count = argc > 2 ? std::stoi(argv[2]) : 50;
    std::filesystem::create_directories(folder);
    kelvora::bitmap::cDIB dib(kelvora::platform::stderrMessageBox());
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%03d.bmp", i + 1);
        const std::vector<std::uint8_t> packed = drawFrame(i, count);
        if (!dib.CreateFromPackedDIBPointer(packed) || !dib.WriteToFile((folder / name).string())) {
            std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
            return 1;
        }
    }
    return 0;
}

// Writes a folder of sample frames a new user can add right away: 50 bitmaps of
// 320 x 240 at 24 bits, a ball bouncing over a sky, named frame_001.bmp ... frame_050.bmp.
// Usage: make-sample-frames <folder> [count]

#include "bitmap/cDIB.h"
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

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A packed bitmap: the 40-byte information header followed directly by the pixels.
std::vector<std::uint8_t> drawFrame(int index, int count)
{
    std::vector<std::uint8_t> dib(40 + kStride * kHeight, 0);
    put32(dib, 0, 40);                                 // biSize
    put32(dib, 4, kWidth);                             // biWidth
    put32(dib, 8, kHeight);                            // biHeight: bottom-up
    dib[12] = 1;                                       // biPlanes
    dib[14] = 24;                                      // biBitCount
    put32(dib, 20, kStride * kHeight);                 // biSizeImage
    const double t = static_cast<double>(index) / count;
    const double ballX = 30 + t * (kWidth - 60);
    const double ballY = 40 + std::abs(std::sin(t * 3 * M_PI)) * (kHeight - 100);  // height above ground
    for (int row = 0; row < kHeight; ++row) {          // row 0 is the bottom line
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* pixel = &dib[40 + row * kStride + x * 3];  // blue, green, red
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

#pragma once

// Frames for the save benchmarks: BMP files on disk and the same images in memory.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kelvora::bench {

struct Workload {
    const char* name;
    int width;
    int height;
    int bitCount;
    int frames;
};

struct Frame {
    std::vector<std::uint8_t> info;  // BITMAPINFOHEADER + colour table
    std::vector<std::uint8_t> pixels;
};

// Frame `index` of the workload; each differs from its neighbours.
[[nodiscard]] Frame makeFrame(const Workload& w, int index);
// The whole BMP file of a frame (file header, information block, pixels).
[[nodiscard]] std::vector<std::uint8_t> bmpFileBytes(const Frame& frame);
// Writes frame_00000.bmp ... into `dir`; returns the total bytes of the files.
std::uint64_t writeBmpFiles(const Workload& w, const std::filesystem::path& dir);

}  // namespace kelvora::bench

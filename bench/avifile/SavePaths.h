#pragma once

// The save paths the benchmarks compare, each run as a whole in a child process
// (see ChildRun.h): 0 for success.

#include "bench/avifile/BenchFrames.h"

#include <filesystem>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::bench {

struct SaveJob {
    Workload workload;
    std::filesystem::path frameDir;  // frame_00000.bmp ... as writeBmpFiles leaves them
    std::filesystem::path output;
};

[[nodiscard]] std::string frameName(int index);

// The two workloads the save benchmarks compare: large frames (1920 x 1080 x 24) and many
// small ones (160 x 120 x 8).
[[nodiscard]] std::vector<Workload> standardWorkloads(int bigFrames, int smallFrames);
// Writes the workload's frame files to root/<name>; bytes receives their total size.
[[nodiscard]] SaveJob prepareJob(const Workload& workload, const std::filesystem::path& root,
                                 std::filesystem::path output, std::uint64_t& bytes);

// (a) Our library writing frames already in memory.
int libraryFromMemory(const SaveJob& job);
// (b) The save's own work without the window: each BMP file loaded by cDIB, its pixels
// handed to the library, one cDIB reused for every frame.
int bitmapObjectSave(const SaveJob& job);
// (c) The BMP files concatenated: the bytes any save must at least read and write.
int plainCopy(const SaveJob& job);
// (d) ffmpeg's own BMP to raw AVI save (replaces the child process).
int ffmpegSave(const SaveJob& job);
// (e) `cat` of the BMP files into the output, as a shell user would copy them (replaces the
// child process; coreutils' cat copies in the kernel where it can, with copy_file_range).
int catFiles(const SaveJob& job);

}  // namespace kelvora::bench

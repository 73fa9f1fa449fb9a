#pragma once

// Reads a video back with the installed ffprobe/ffmpeg: what a real reader makes of it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvora::testsupport {

struct ProbeResult {
    bool ok = false;      // ffprobe ran and reported a video stream
    int framesRead = -1;  // frames ffprobe decoded (count_frames)
    int width = 0;
    int height = 0;
    std::string frameRate;  // as ffprobe gives it, e.g. "25/1"
    std::string pixelFormat;
    std::string output;  // everything ffprobe printed, for failure messages
};

[[nodiscard]] bool ffmpegAvailable();
[[nodiscard]] ProbeResult probeVideo(const std::filesystem::path& file);
// Every frame decoded to packed top-down pixels of `pixelFormat` (e.g. "bgr24"), concatenated.
[[nodiscard]] std::vector<std::uint8_t> decodeFrames(const std::filesystem::path& file, const std::string& pixelFormat);
// Runs a shell command, returns its exit status and appends its standard output to `out`.
int runCommand(const std::string& command, std::string& out);

}  // namespace kelvora::testsupport

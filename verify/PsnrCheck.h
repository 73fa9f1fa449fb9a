#pragma once

// The fidelity of a video made with loss (H.264 in MP4), or of a Matroska master, measured
// against the frame files it was made from: every frame decoded by libavcodec, turned into
// RGB by the matrix and range it is tagged with (BT.709 limited range for ours), and compared
// with its file's colours over the file's own size (the padding to even aside). The PSNR of
// each frame; infinite where the frame is exact. Safe on any thread: it touches no window.

#include <atomic>
#include <limits>
#include <string>
#include <vector>

namespace kelvora::verify {

struct PsnrOutcome {
    bool readable = false;  // false: the video could not be read or decoded (reason says why)
    std::string reason;
    bool cancelled = false;
    int videoFrames = 0;
    int listFrames = 0;
    int worst = -1;  // the frame of the lowest PSNR, from 0
    double worstDb = std::numeric_limits<double>::infinity();
    double meanDb = std::numeric_limits<double>::infinity();  // of the finite ones; infinite when all are exact
    int belowFloor = 0;                                       // frames under the floor asked for
    // Frames whose file no longer makes a picture of the video's size and depth, the first of them.
    int unmatched = 0;
    int firstUnmatched = -1;
    // The video is stored without loss (FFV1): every frame must be exact.
    bool lossless = false;
    int inexact = 0;
};

// Decodes `video` and compares its frames with `frames` in order; `floorDb` counts the frames
// below it (none when not positive).
[[nodiscard]] PsnrOutcome measurePsnr(const std::string& video, const std::vector<std::string>& frames, double floorDb,
                                      const std::atomic<bool>& cancel);

// "PSNR minimo 44,8 dB (fotogramma 12, /x/f12.bmp), medio 46,1 dB", or that every frame is exact.
[[nodiscard]] std::string psnrText(const PsnrOutcome& outcome, const std::vector<std::string>& frames);

}  // namespace kelvora::verify

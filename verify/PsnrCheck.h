#pragma once

// The fidelity of a video made with loss (H.264 in MP4), or of a Matroska master, measured
// against the frame files it was made from: every frame decoded by libavcodec, turned into
// RGB by the matrix and range it is tagged with (BT.709 limited range for ours), and compared
// with its file's colours over the file's own size (the padding to even aside). The PSNR of
// each frame; infinite where the frame is exact. The same pass can hash every frame as
// ffmpeg's framemd5 does. Safe on any thread: it touches no window. The batch mode and the
// window judge the outcome alike (judgeFidelity) and only word it for their own place.

#include "photo/Framing.h"
#include "verify/FrameMd5.h"
#include "verify/ShowCheck.h"
#include "verify/VideoCheck.h"

#include <atomic>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::verify {

// Where no floor is asked for, a frame of a lossy video must be nearer its file than a picture
// of the file's mean colour alone is (that picture's PSNR is its floor), or within this: a
// frame of another picture is no nearer than that (its error is at least the file's own spread
// about its mean), while the save's frames at every --crf of libx264 are, on every picture that
// is not noise (docs/checking.md).
inline constexpr double kNearDb = 30;

struct PsnrRequest {
    std::string video;
    std::vector<std::string> frames;  // in frame order
    bool compare = true;              // false: only read the video (and hash its frames)
    double floorDb = 0;               // frames below it are counted; not positive: the floor above
    // A slideshow: `frames` are its pictures, each over its frames as this lays them out (not owned).
    const slideshow::ShowLayout* show = nullptr;
    // The fitting the save did (photo/): each frame then is measured against that fitting of
    // its file, and a lossless one must equal it.
    std::optional<photo::Framing> fitted{};
};

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
    // Frames of a lossy video that show another picture (no floor asked for: see kNearDb), the
    // first of them, its PSNR and its floor.
    int otherPictures = 0;
    int firstOther = -1;
    double otherDb = 0;
    double otherFloorDb = 0;
    // Frames whose file no longer makes a picture of the video's size and depth, the first of them.
    int unmatched = 0;
    int firstUnmatched = -1;
    // The video is stored without loss (FFV1): every frame must be exact.
    bool lossless = false;
    int inexact = 0;
    // Picture files (PNG, JPEG) whose decode differs from their frame, the first of them: no
    // PSNR is measured for them, as the frame holds the file's own form, not RGB.
    int picturesDiffer = 0;
    int firstPictureDiffers = -1;
    std::string pictureReason;  // what differs in the first of them
    // Frames the decoder reported damage in (an FFV1 slice failing its CRC, concealed), the
    // first of them, from 0, and libavcodec's words for it.
    int damaged = 0;
    int firstDamaged = -1;
    std::string damageReason;
    // The turn the display matrix asks for, clockwise: the frames were compared as turned.
    int turnDegrees = 0;
    // A slideshow's check: the places above are its pictures, found by their times; what is
    // missing, misplaced or extra among them.
    bool pictures = false;
    ShowDifferences timing;
};

// Decodes request.video and compares its frames with request.frames in order, stopping
// before the next packet once `cancel` is set. With `hashes`, every frame is also hashed as
// `ffmpeg -i VIDEO -fflags +bitexact -f framemd5 -` hashes it (the same times and lines).
[[nodiscard]] PsnrOutcome measurePsnr(const PsnrRequest& request, CheckObserver& observer,
                                      const std::atomic<bool>& cancel, FrameMd5* hashes = nullptr);

// What a finished measurement says: the video holds its frames, or the first thing wrong.
enum class Fidelity { Kept, Missing, Extra, Damaged, Differs, BelowFloor };
struct FidelityVerdict {
    Fidelity kind = Fidelity::Kept;
    int frame = -1;    // the frame it concerns, from 0 (BelowFloor: the worst)
    std::string text;  // "fotogramma 5 di 5, /x/f5.bmp: manca nel video (...)"; empty when kept
};
[[nodiscard]] FidelityVerdict judgeFidelity(const PsnrOutcome& outcome, const std::vector<std::string>& frames,
                                            double floorDb);

// "PSNR minimo 44,8 dB (fotogramma 12, f12.bmp), medio 46,1 dB" with `worstFile` naming the
// worst frame's file, or that every frame is exact.
[[nodiscard]] std::string psnrText(const PsnrOutcome& outcome, const std::string& worstFile);

}  // namespace kelvora::verify

#pragma once

// --verify of a Matroska or MP4 video: every frame decoded and measured against its file, the
// worst frame and the mean PSNR said; exit 4 for a missing or extra frame, a damaged or
// differing one, or a frame under --min-psnr. --framemd5 hashes the frames in the same pass.

#include "cli/CommandLine.h"
#include "cli/StopSignals.h"
#include "verify/FrameMd5.h"
#include "verify/VideoCheck.h"

#include <optional>
#include <string>
#include <vector>

namespace kelvora::cli {

// Frames the decoder found damaged, the first of them (from 0) and its reason.
struct Damage {
    int count = 0;
    int first = -1;
    std::string reason;
};

// How a check of a video ended, its line already said.
struct Checked {
    int status = kExitFailed;
    bool cancelled = false;
    bool hashed = false;    // the video was read through: its checksums stand
    bool compared = false;  // its frames were compared with the files
    Damage damage;

    [[nodiscard]] static Checked ended(int status, bool cancelled = false)
    {
        Checked checked;
        checked.status = status;
        checked.cancelled = cancelled;
        return checked;
    }
};

// `show`: a slideshow's pictures laid out over the video's frames (none: a file a frame).
[[nodiscard]] Checked checkFidelity(const std::string& video, const std::vector<std::string>& frames,
                                    const Invocation& invocation, int statusIfSame, verify::CheckObserver& observer,
                                    const StopSignals& stop, verify::FrameMd5* hashes,
                                    const std::optional<photo::Framing>& fitted,
                                    const slideshow::ShowLayout* show = nullptr);

}  // namespace kelvora::cli

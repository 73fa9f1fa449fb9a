#pragma once

// The window's save onto the file the user chose: a new file is written in place from the
// start (a kill leaves its frames there) and removed when nothing is worth keeping; a file to
// be replaced stays as it is while the video is written to a hidden file beside it, which takes
// the chosen name only when the video is worth keeping (KeptVideo), so a save that fails
// never costs the file it was to replace.

#include "video/SaveJob.h"

#include <functional>
#include <string>

namespace kelvora::video {

// What a save left at the chosen name, for the user to be told truthfully.
enum class LeftOnDisk {
    Unchanged,  // no file of this save; what had the name, if anything, is as it was
    OldFile,    // the file that had the name before is as it was, byte for byte
    Partial,    // a finished, readable video of outcome.framesWritten frames
};

struct TargetedOutcome {
    SaveOutcome outcome;
    LeftOnDisk left = LeftOnDisk::Unchanged;
};

// Saves request (its path the one the user chose and agreed to replace) by handing run the
// same request aimed at the file written (PendingOutput); a symbolic link at the chosen path is kept and what
// it points to written. A target that is one of the frames, no regular file or read-only is
// refused before anything is written, as opening it would have been. The replaced file's
// permission bits are kept.
[[nodiscard]] TargetedOutcome saveBesideTarget(SaveRequest request,
                                               const std::function<SaveOutcome(const SaveRequest&)>& run);

}  // namespace kelvora::video

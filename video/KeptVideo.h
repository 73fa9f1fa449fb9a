#pragma once

// Which video a save leaves at the chosen name, once it has ended: the one rule of the
// window's save and the batch mode, both of which write beside the target first.

#include "video/SaveJob.h"

namespace kelvora::video {

enum class KeptVideo {
    None,     // the written file is dropped; the name keeps what it had, if anything
    Whole,    // finished, or stopped by the user and finished with the frames so far
    Partial,  // cut short by an error, finished and readable, where no file had the name
};

// A partial video is better than none, but not better than the file it would replace.
[[nodiscard]] KeptVideo keptVideo(const SaveOutcome& outcome, bool replacing);

}  // namespace kelvora::video

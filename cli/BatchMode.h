#pragma once

#include "cli/CommandLine.h"

namespace kelvora::cli {

// Makes invocation.output from invocation.items and its list with no window: the frames are
// taken as "Aggiungi BMP" takes them and written by the window's own save. An existing output
// is replaced only when asked, and only by a finished video. Reports on standard error what
// it skipped and why, its progress, and the outcome; returns the exit status (CommandLine.h).
// Needs no display.
[[nodiscard]] int runBatch(const Invocation& invocation);

// The run's frames without a video: its items and list taken as runBatch takes them, each
// refused or left-out file named on standard error.
struct CollectedFrames {
    std::vector<std::string> frames;
    int refused = 0;       // files that are no readable bitmaps
    int leftOut = 0;       // files left out for their format (another size or depth than the first)
    bool listRead = true;  // false when the list could not be read to its end
};
[[nodiscard]] CollectedFrames collectFrames(const Invocation& invocation);

}  // namespace kelvora::cli

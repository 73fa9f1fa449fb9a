#pragma once

// The frames a batch run takes, collected without a video: what --verify checks a video
// against, taken as --output takes them.

#include "cli/CommandLine.h"

#include <string>
#include <vector>

namespace kelvora::cli {

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

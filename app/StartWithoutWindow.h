#pragma once

// What the program does before it needs a window: the help, the version, a usage error, the
// batch mode and the check of a video. Shared by the program proper and the program without a
// window, which the front starts for runs that name a video to make or check.

#include "cli/CommandLine.h"

#include <optional>

namespace kelvora::app {

// Runs that may encode or fit pictures: on huge pages (platform/system/HugePageStart.h).
[[nodiscard]] bool mayEncode(const cli::CommandLine& line);

// The run's exit status, or none when the line asks for the window.
[[nodiscard]] std::optional<int> runWithoutWindow(int argc, char* argv[], const cli::CommandLine& line);

void nameApplication();

}  // namespace kelvora::app

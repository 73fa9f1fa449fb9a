#pragma once

// --verify of a Matroska or MP4 video: every frame decoded and measured against its file, the
// worst frame and the mean PSNR said; exit 4 for a missing or extra frame, or for a frame
// under --min-psnr.

#include "cli/CommandLine.h"
#include "cli/StopSignals.h"

#include <string>
#include <vector>

namespace kelvora::cli {

[[nodiscard]] int checkFidelity(const std::string& video, const std::vector<std::string>& frames,
                                const Invocation& invocation, int statusIfSame, const StopSignals& stop);

}  // namespace kelvora::cli

#pragma once

// --verify and --framemd5: a video checked against the frame files it was made from, and its
// frames' checksums in ffmpeg's framemd5 format. Needs no display.

#include "cli/CommandLine.h"
#include "cli/StopSignals.h"
#include "photo/Framing.h"
#include "video/Slideshow.h"

#include <optional>
#include <string>
#include <vector>

namespace kelvora::cli {

// kelvora-maker --verify VIDEO.avi FILE|FOLDER...: the frames are taken as --output takes
// them (same order, same admission), then the video is checked against them. Returns the
// exit status: 0 when every frame matches, 4 when one differs, is missing or is extra.
[[nodiscard]] int runVerify(const Invocation& invocation);

// Once --output has made a whole video from `frames` (the run ending with `status`): the
// check and the checksums asked for. The status the run ends with: `status` when they find
// nothing wrong. `stop` ends the check as it ends a save (Ctrl+C, a kill, a lost terminal).
// `fitted`: the fitting the save gave its frames, which the check compares with; `slideshow`:
// the pictures' durations and the music the video was made with.
[[nodiscard]] int checkAfterSave(const Invocation& invocation, const std::vector<std::string>& frames, int status,
                                 const StopSignals& stop, const std::optional<photo::Framing>& fitted,
                                 const video::Slideshow* slideshow = nullptr);

}  // namespace kelvora::cli

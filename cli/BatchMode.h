#pragma once

#include "cli/CommandLine.h"

namespace kelvora::cli {

// Makes invocation.output from invocation.items and its list with no window: the frames are
// taken as "Aggiungi BMP" takes them and written by the window's own save. An existing output
// is replaced only when asked, and only by a finished video. Reports on standard error what
// it skipped and why, its progress, and the outcome; returns the exit status (CommandLine.h).
// Needs no display.
[[nodiscard]] int runBatch(const Invocation& invocation);

}  // namespace kelvora::cli

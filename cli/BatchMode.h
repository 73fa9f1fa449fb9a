#pragma once

#include "cli/CommandLine.h"

namespace kelvora::cli {

// Exit statuses of the batch mode.
inline constexpr int kBatchMade = 0;        // the video is finished
inline constexpr int kBatchFailed = 1;      // unreadable input, nothing to save, or the save failed
inline constexpr int kBatchCancelled = 130; // stopped by a signal; the partial file is finished

// Makes invocation.output from invocation.items with no window: the frames are taken as
// "Aggiungi BMP" takes them and written by the window's own save. Reports on standard error
// what it skipped and why, its progress, and the outcome. Needs no display.
[[nodiscard]] int runBatch(const Invocation& invocation);

}  // namespace kelvora::cli

#pragma once

// Why a save cannot go on, told to the user in Italian. A sink answers with the kind of
// failure only; the reason is read off the file system when the kind alone does not tell it.

#include "bitmap/FramePlan.h"
#include "video/SinkResult.h"
#include "video/mAVIDecs.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::video {

// Why the target could not be opened for writing.
[[nodiscard]] std::string openFailureReason(const std::string& target);
// Why writing needBytes more to the target failed (0 when the size is not known), given the
// sink's failure.
[[nodiscard]] std::string writeFailureReason(const std::string& target, std::int64_t needBytes, SinkFailure failure);
// Why the sink refused the stream or its format.
[[nodiscard]] std::string formatFailureReason(SinkFailure failure);
// The result code a save's outcome carries for a sink's failure (0 for none).
[[nodiscard]] HRESULT resultCode(SinkFailure failure);
// A frame that no longer makes a frame of the stream (`plan` is what its file makes now): it
// ends before its pixel rows, no longer makes a frame at all, or has another format.
[[nodiscard]] std::string changedFrameReason(const std::string& frame, const bitmap::FramePlan& plan);
// A frame whose file was cut short or written while its pixels were copied into the video:
// it is not in the video, and the save ends before it.
[[nodiscard]] std::string changedDuringCopyReason(const std::string& frame);

}  // namespace kelvora::video

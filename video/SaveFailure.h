#pragma once

// Why a save cannot go on, told to the user in Italian. The library answers with result codes
// only; the reason is read off the file system when the code alone does not tell it.

#include "video/mAVIDecs.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::video {

// A target the save must not open, since it is one of the frames themselves. Empty when the
// save may go ahead.
[[nodiscard]] std::string refusalBeforeOpen(const std::string& target, const std::vector<std::string>& frames);
// Why the target could not be opened for writing.
[[nodiscard]] std::string openFailureReason(const std::string& target);
// Why writing needBytes more to the target failed (0 when the size is not known), given the
// library's result.
[[nodiscard]] std::string writeFailureReason(const std::string& target, std::int64_t needBytes, HRESULT result);
// Why the library refused the stream or its format.
[[nodiscard]] std::string formatFailureReason(HRESULT result);
// A frame whose size or depth changed on disk after it was added.
[[nodiscard]] std::string changedFrameReason(const std::string& frame);

}  // namespace kelvora::video

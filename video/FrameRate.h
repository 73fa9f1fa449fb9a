#pragma once

#include "video/mAVIDecs.h"

#include <QString>

namespace kelvora::video {

// The frames-per-second box's text as a rate: the number it starts with, to the nearest
// whole number (0 when it starts with none), bounded to 1..30.
[[nodiscard]] DWORD frameRateFromText(const QString& text);

}  // namespace kelvora::video

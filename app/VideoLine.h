#pragma once

#include "video/StreamRate.h"

#include <QString>
#include <cstdint>

namespace kelvora::app {

// What the list makes at the rate chosen: "40 fotogrammi · 3,3 s a 12 al secondo",
// "1.000.000 fotogrammi · 11 h 6 min a 25 al secondo"; "Nessun fotogramma" for an empty list.
[[nodiscard]] QString videoLine(std::int64_t frames, video::StreamRate rate);
// The same for a list whose frames last `videoFrames` frames of the rate in all (some of them
// held for their durations).
[[nodiscard]] QString videoLine(std::int64_t frames, video::StreamRate rate, std::int64_t videoFrames);

// A duration as the window says it: "3,3 s" under a minute, "2 min 5 s" under an hour,
// "11 h 6 min" beyond.
[[nodiscard]] QString durationText(double seconds);

// The rate as the number box shows it: the batch mode's text (rateText) when it fits the
// box's few characters, else the rate to two decimal places ("29,97" for NTSC); a rate below
// one a second stays its fraction ("1/3600").
[[nodiscard]] QString shortRateText(video::StreamRate rate);

// The nearest whole rate the scroll bar can show: 1 to 30.
[[nodiscard]] int nearestScrollRate(video::StreamRate rate);

}  // namespace kelvora::app

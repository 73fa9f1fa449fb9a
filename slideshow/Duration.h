#pragma once

// How long a picture of a slideshow is shown, or a fade lasts, exactly: a whole number of
// nanoseconds, so that decimals of seconds as users and ffmpeg's concat files write them
// ("0.04", "2,5") add up without a rounding error. Standard library only.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora::slideshow {

struct Duration {
    std::int64_t nanoseconds = 0;
    auto operator<=>(const Duration&) const = default;
};

// The longest duration a picture or a fade may have: a day.
inline constexpr std::int64_t kLongestNanoseconds = 86'400'000'000'000;

// A duration as a user or a concat file writes it: seconds with up to nine decimals, with a
// point or a comma ("3", "2.5", "2,5"), with a unit ("500ms", "2s", "250000us"), or as a
// clock ("1:30", "0:01:30.5"), as ffmpeg reads its durations. Nothing for anything else, for
// zero or a negative duration, or for more than a day.
[[nodiscard]] std::optional<Duration> parseDuration(std::string_view text);

// A duration a user typed where none is an answer too: empty or zero ("0", "0,0", "0 s") is
// none; else as parseDuration, also as the window shows durations ("2,5 s"). `valid` false
// for anything else.
struct TypedDuration {
    bool valid = false;
    std::optional<Duration> duration;
};
[[nodiscard]] TypedDuration parseTypedDuration(std::string_view text);

// "3 s", "2,5 s", "0,04 s", "1:30", "1:02:03,5": seconds with their decimals (a comma, as the
// window writes numbers) below a minute, else as a clock.
[[nodiscard]] std::string durationText(Duration duration);

}  // namespace kelvora::slideshow

#pragma once

// A video's frame rate as its stream header stores it: dwRate / dwScale frames per second,
// an exact fraction, so 29.97 and the NTSC rate 30000/1001 stay what they are.

#include "video/mAVIDecs.h"

#include <optional>
#include <string>
#include <string_view>

namespace kelvora::video {

struct StreamRate {
    DWORD rate = 25;
    DWORD scale = 1;
    bool operator==(const StreamRate&) const = default;
};

// The slowest and fastest rates a video is made at: one frame an hour, 1000 a second.
inline constexpr StreamRate kSlowestRate{1, 3600};
inline constexpr StreamRate kFastestRate{1000, 1};

// A rate as a user writes it: a whole number ("60"), a decimal with up to three places
// ("29.97", "0.5"; a comma does as well), a fraction ("30000/1001") or a common name (ntsc,
// pal, film, ntsc-film). Reduced to lowest terms; nothing outside the bounds above, or whose
// reduced terms do not fit the header's 32 bits.
[[nodiscard]] std::optional<StreamRate> streamRateFromText(std::string_view text);

// How the batch mode names a rate: "25", "29,97" (a decimal of up to three places, Italian
// style) or the fraction "30000/1001".
[[nodiscard]] std::string rateText(StreamRate rate);

}  // namespace kelvora::video

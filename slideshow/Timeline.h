#pragma once

// Where each picture of a slideshow falls among the video's frames. A picture lasts its own
// duration (or one frame); the durations are summed exactly and the running sum is rounded to
// whole frames once, at each picture's end, so a video of a thousand pictures of 0.3 s at 24
// frames a second lasts 300 s (7,200 frames), not a thousand rounded durations (7,000). Fades
// take frames at a picture's start or end: the first picture fades in from black, each picture
// blends into the next over the crossfade, the last fades out to black; every picture keeps at
// least one frame of its own. Standard library only.

#include "slideshow/Duration.h"

#include <cstdint>
#include <optional>
#include <span>

namespace kelvora::slideshow {

// Frames a second: rate / scale.
struct Rate {
    std::uint32_t rate = 25;
    std::uint32_t scale = 1;
};

// A stretch of the video's frames: the first and how many.
struct Span {
    std::int64_t start = 0;
    std::int64_t frames = 0;
    [[nodiscard]] std::int64_t end() const { return start + frames; }
    bool operator==(const Span&) const = default;
};

// The frames of the pictures, one after the other.
class PictureClock {
public:
    explicit PictureClock(Rate rate) : m_rate(rate) {}

    // Every picture's duration stretched (or shrunk) by one factor so that `durations`, all the
    // pictures' in order, last `frames` frames in all: the video as long as its audio.
    void spreadOver(std::span<const std::optional<Duration>> durations, std::int64_t frames);
    // The next picture's frames, for `duration` (none: one frame), never fewer than one.
    [[nodiscard]] Span next(std::optional<Duration> duration);
    // The frames of the pictures so far.
    [[nodiscard]] std::int64_t frames() const { return m_end; }

private:
    using Exact = __int128;  // seconds in units of 1 / (rate x 10^9)
    [[nodiscard]] Exact exact(std::optional<Duration> duration) const;

    Rate m_rate;
    Exact m_sum = 0;
    Exact m_total = 0;  // spread: every duration's sum; 0 when not spread
    std::int64_t m_target = 0;
    std::int64_t m_end = 0;
};

// The frames `duration` lasts at `rate`, rounded to the nearest.
[[nodiscard]] std::int64_t framesOf(Duration duration, Rate rate);
// The seconds `frames` last, exactly, as nanoseconds rounded to the nearest.
[[nodiscard]] std::int64_t nanosecondsOf(std::int64_t frames, Rate rate);

// The fades asked for; none where a fade is not asked for.
struct Fades {
    std::optional<Duration> crossfade;
    std::optional<Duration> fadeIn;
    std::optional<Duration> fadeOut;
    [[nodiscard]] bool any() const { return crossfade || fadeIn || fadeOut; }
};
// In frames of the video's rate.
struct FadeFrames {
    std::int64_t crossfade = 0;
    std::int64_t fadeIn = 0;
    std::int64_t fadeOut = 0;
};
[[nodiscard]] FadeFrames fadeFrames(const Fades& fades, Rate rate);

// How one picture's frames are shown: `lead` frames fading in from black (the first picture),
// then held, then `trail` frames blending into the next picture (or fading out to black, the
// last picture).
struct PictureShow {
    Span span;
    std::int64_t lead = 0;
    std::int64_t trail = 0;
    [[nodiscard]] Span held() const { return {span.start + lead, span.frames - lead - trail}; }
};
// The show of a picture over `span`, the first or the last of the video or neither; each fade
// shortened where the picture would otherwise keep no frame of its own.
[[nodiscard]] PictureShow showOf(Span span, bool first, bool last, const FadeFrames& fades);

// A weight as a fraction, part / whole: a fade's frames are mixed by it in integers, so that a
// check anywhere recomputes them to the bit.
struct Weight {
    std::int64_t part = 1;
    std::int64_t whole = 1;
    [[nodiscard]] double value() const { return static_cast<double>(part) / static_cast<double>(whole); }
    bool operator==(const Weight&) const = default;
};

// The weight of the later picture in frame `index` (from 0) of a crossfade of `frames`: from
// 1 / (frames + 1) up to frames / (frames + 1), neither picture ever shown alone.
[[nodiscard]] Weight crossfadeWeight(std::int64_t index, std::int64_t frames);
// The picture's weight against black in a fade in (from 0, black, up) or out (down to 0).
[[nodiscard]] Weight fadeInWeight(std::int64_t index, std::int64_t frames);
[[nodiscard]] Weight fadeOutWeight(std::int64_t index, std::int64_t frames);

}  // namespace kelvora::slideshow

#pragma once

// A whole slideshow laid out: every picture's frames, its fades, and what the video shows at
// any of its frames. The save lays the pictures out one by one as they come (PictureClock);
// the check lays them all out at once from the same durations, and asks what each frame of
// the video should show.

#include "slideshow/Timeline.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kelvora::slideshow {

// What the video shows at one frame.
struct Shown {
    enum class Kind { Held, FadeIn, Crossfade, FadeOut };
    Kind kind = Kind::Held;
    std::size_t picture = 0;  // Crossfade: the earlier of the two
    double weight = 1;        // Crossfade: the later picture's; fades: the picture's against black
    // The frame begins what it shows: a held picture's first frame, or any frame of a fade
    // (each of which is a picture of its own). A frame that is not one only shows on what came before.
    bool begins = false;
    std::int64_t slot = 0;  // the frame it begins, or the first frame of the held picture it shows on
};

class ShowLayout {
public:
    // The pictures of `durations` (none: one frame) at `rate`, spread over `fitFrames` when
    // that is positive, with `fades`.
    ShowLayout(Rate rate, std::span<const std::optional<Duration>> durations, std::int64_t fitFrames,
               const Fades& fades);

    [[nodiscard]] std::size_t pictures() const { return m_shows.size(); }
    [[nodiscard]] std::int64_t frames() const { return m_shows.empty() ? 0 : m_shows.back().span.end(); }
    [[nodiscard]] const PictureShow& show(std::size_t picture) const { return m_shows[picture]; }
    [[nodiscard]] const FadeFrames& fades() const { return m_fades; }
    [[nodiscard]] Rate rate() const { return m_rate; }
    // What frame `slot` (0 to frames() - 1) shows.
    [[nodiscard]] Shown at(std::int64_t slot) const;
    // The frames that begin something, in order: every frame a writer must write.
    [[nodiscard]] std::vector<Shown> beginnings() const;

private:
    Rate m_rate;
    FadeFrames m_fades;
    std::vector<PictureShow> m_shows;
};

}  // namespace kelvora::slideshow

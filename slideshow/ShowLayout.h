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
    Weight weight;            // Crossfade: the later picture's; fades: the picture's against black
    // The frame begins what it shows: a held picture's first frame, or any frame of a fade
    // (each of which is a picture of its own). A frame that is not one only shows on what came before.
    bool begins = false;
    std::int64_t slot = 0;    // the frame it begins, or the first frame of the held picture it shows on
    std::int64_t frames = 1;  // the frames it lasts from `slot`: a held picture's, or a fade frame's one
};

// What frame `slot` of `show` shows, the show of picture `picture`, the last of the video or not.
[[nodiscard]] Shown shownAt(const PictureShow& show, std::size_t picture, bool last, std::int64_t slot);
// Appends the frames of `show` from `from` on that begin something, in order.
void appendBeginnings(const PictureShow& show, std::size_t picture, bool last, std::int64_t from,
                      std::vector<Shown>& out);

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

// The same layout made as the pictures come, for a save that does not know how many there are
// until the last: a picture's held frame and crossfade are known once the next picture comes
// (or none does), the first picture's fade in at once. It gives the frames ShowLayout's
// beginnings() gives for the same pictures, in the same order.
class ShowSequence {
public:
    // `clock`: the pictures' clock, spread already where the video is fitted to its music.
    ShowSequence(PictureClock clock, const Fades& fades, Rate rate);

    // The next picture, lasting `duration`.
    void add(std::optional<Duration> duration);
    // No picture follows the last one added.
    void end();

    // Every frame that begins something so far, in order.
    [[nodiscard]] const std::vector<Shown>& shown() const { return m_shown; }
    [[nodiscard]] std::size_t pictures() const { return m_pictures; }

private:
    PictureClock m_clock;
    FadeFrames m_fades;
    std::optional<Span> m_pending;  // the last picture added, its held frame and trail not given yet
    std::size_t m_pictures = 0;
    bool m_ended = false;
    std::vector<Shown> m_shown;
};

}  // namespace kelvora::slideshow

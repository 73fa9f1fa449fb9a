#pragma once

// A slideshow's pictures found in a video by their times. Each frame of the video says where it
// falls (its frame of the rate); the tracker says what it must show there, and counts as a
// difference a picture (or a fade's frame) the video lacks, a frame that shows up too late or
// too early (more than `tolerance` frames off), one past the video's end, and a video that does
// not end where its pictures do. The frames' pictures themselves are compared by the check of
// their container.

#include "slideshow/ShowLayout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::verify {

// The first difference of a check and how many there are, in Italian; by picture.
struct ShowDifferences {
    int count = 0;
    std::size_t picture = 0;
    std::string reason;

    void note(std::size_t where, std::string why)
    {
        if (count++ == 0) {
            picture = where;
            reason = std::move(why);
        }
    }
};

class ShowTracker {
public:
    // `tolerance`: 0 where a frame's place is its position (AVI), 1 where it is a time (MP4, Matroska).
    ShowTracker(const slideshow::ShowLayout& layout, std::int64_t tolerance);

    // A frame of the video at `slot`: what it should show, or nothing when no frame belongs there.
    [[nodiscard]] std::optional<slideshow::Shown> frame(std::int64_t slot);
    // AVI: an empty chunk at `slot`, the frame before shown on.
    void heldOn(std::int64_t slot);
    // The video lasts `frames` frames: whatever was not met is missing.
    void end(std::int64_t frames);

    [[nodiscard]] const ShowDifferences& differences() const { return m_differences; }
    [[nodiscard]] const slideshow::ShowLayout& layout() const { return m_layout; }

private:
    [[nodiscard]] std::string placeText(const slideshow::Shown& shown) const;
    void missing(const slideshow::Shown& shown);

    const slideshow::ShowLayout& m_layout;
    std::int64_t m_tolerance;
    std::vector<slideshow::Shown> m_beginnings;
    std::size_t m_next = 0;
    ShowDifferences m_differences;
};

// "1,76 s": where a frame falls.
[[nodiscard]] std::string secondsText(std::int64_t slot, slideshow::Rate rate);

}  // namespace kelvora::verify

#pragma once

// What makes a save a slideshow: how long each picture lasts, the music beside the pictures,
// and the fades between them. Without it every entry is one frame, as before.

#include "slideshow/Duration.h"
#include "slideshow/Timeline.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::video {

// Which of the source's entries each frame of the video is: entries left out for their format
// take no frame. Asked on the writer's side, for frames already admitted.
class FrameEntries {
public:
    virtual ~FrameEntries() = default;
    [[nodiscard]] virtual std::size_t entryOf(std::size_t frame) const = 0;
};

struct Slideshow {
    // Each entry's duration, in entry order; an entry without one (or past them) lasts a frame.
    std::vector<std::optional<slideshow::Duration>> durations;
    const FrameEntries* entries = nullptr;  // not owned; null: frame i is entry i
    std::string audio;                      // the soundtrack's file; empty: none
    bool fitToAudio = false;                // the durations spread so the video lasts as long as the music
    slideshow::Fades fades;

    // Whether pictures last longer than a frame: a codec must then give every frame in order.
    [[nodiscard]] bool holdsPictures() const { return !durations.empty() || fitToAudio || fades.any(); }

    [[nodiscard]] std::optional<slideshow::Duration> durationOf(std::size_t frame) const
    {
        const std::size_t entry = entries ? entries->entryOf(frame) : frame;
        return entry < durations.size() ? durations[entry] : std::nullopt;
    }
};

}  // namespace kelvora::video

#pragma once

// A run's slideshow: the pictures and durations of --concat's file (its pictures become the
// run's items), each duration weighed against the rate, the music and the fades; and how the
// run's lines name what it made.

#include "cli/CommandLine.h"
#include "slideshow/ShowLayout.h"
#include "verify/AudioCheck.h"
#include "video/SaveJob.h"
#include "video/Slideshow.h"

#include <optional>
#include <string>
#include <vector>

namespace kelvora::cli {

struct SlideshowInputs {
    std::vector<std::string> items;  // the run's pictures: the concat file's, else the command line's
    video::Slideshow show;
};

// The invocation's slideshow, or nothing with its reason said and `status` set (1: the concat
// file or a picture in it cannot be read, a duration shorter than a frame at the rate).
[[nodiscard]] std::optional<SlideshowInputs> readSlideshow(const Invocation& invocation, int& status);

// What the check of a slideshow needs: its pictures laid out at the video's rate, and the music.
struct SlideshowCheck {
    std::optional<slideshow::ShowLayout> layout;
    verify::AudioCheckRequest audio;  // its music empty: the audio is only hashed
};
// The check of `video` as the invocation's slideshow (`show`) made it from `pictures` pictures:
// at the rate given (--fps) or the video's own. Nothing, its reason said, when the video has no rate.
[[nodiscard]] std::optional<SlideshowCheck> slideshowCheck(const Invocation& invocation, const video::Slideshow& show,
                                                           std::size_t pictures, const std::string& video,
                                                           bool rateGiven);

// "3 immagini in 89 fotogrammi (3,56 s)", for a slideshow's summary; the pictures alone otherwise.
[[nodiscard]] std::string picturesText(const video::SaveOutcome& outcome, video::StreamRate rate);

}  // namespace kelvora::cli

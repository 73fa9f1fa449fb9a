#pragma once

// A run's slideshow: the pictures and durations of --concat's file (its pictures become the
// run's items), each duration weighed against the rate, the music and the fades; and how the
// run's lines name what it made.

#include "cli/CommandLine.h"
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

// "3 immagini in 89 fotogrammi (3,56 s)", for a slideshow's summary; the pictures alone otherwise.
[[nodiscard]] std::string picturesText(const video::SaveOutcome& outcome, video::StreamRate rate);

}  // namespace kelvora::cli

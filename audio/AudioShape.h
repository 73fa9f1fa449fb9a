#pragma once

// How a soundtrack is fitted to its video: cut at the video's end (with a short fade-out
// where the music goes on, so it does not stop on a click), padded with silence where it is
// shorter, and faded in and out with the pictures. Gains are computed per sample from these
// numbers alone, so the check of a video makes the very same samples.

#include <algorithm>
#include <cstdint>

namespace kelvora::audio {

// The fade-out of music cut at the video's end.
inline constexpr double kCutFadeSeconds = 0.5;

struct AudioShape {
    std::int64_t total = -1;   // the video's length in samples; -1 while unknown
    std::int64_t fadeIn = 0;   // samples fading in from silence
    std::int64_t fadeOut = 0;  // samples fading out to silence at the end
    std::int64_t cutFade = 0;  // samples fading out where the music is cut at the end

    // The gain of sample `at` (from 0), `cut` when the music goes on past the end.
    [[nodiscard]] double gain(std::int64_t at, bool cut) const
    {
        double g = 1;
        if (fadeIn > 0 && at < fadeIn)
            g = std::min(g, static_cast<double>(at) / static_cast<double>(fadeIn));
        if (fadeOut > 0 && at >= total - fadeOut)
            g = std::min(g, static_cast<double>(total - at) / static_cast<double>(fadeOut));
        if (cut && cutFade > 0 && at >= total - cutFade)
            g = std::min(g, static_cast<double>(total - at) / static_cast<double>(cutFade));
        return g;
    }
    // The samples from the end on which the gain depends on the end: what waits until the end is known.
    [[nodiscard]] std::int64_t endReach() const { return std::max(fadeOut, cutFade); }
};

// Samples of `frames` video frames at rate / scale frames a second, `sampleRate` a second:
// rounded once, so a video's audio and its pictures end together.
[[nodiscard]] inline std::int64_t samplesOfFrames(std::int64_t frames, std::uint32_t rate, std::uint32_t scale,
                                                  int sampleRate)
{
    const __int128 exact = __int128{frames} * scale * sampleRate;
    return static_cast<std::int64_t>((exact + rate / 2) / rate);
}

}  // namespace kelvora::audio

#pragma once

// A slideshow's soundtrack checked against its music: the video's audio decoded by libavcodec
// and compared with the music as the save fits it to the video (decoded, converted, cut or
// padded, faded: audio::ShapedAudio, the same samples every time). FLAC and PCM must give the
// music back sample for sample; AAC, which keeps what ears hear, is measured by its
// signal-to-noise ratio second by second, the worst second named. The same pass hashes the
// audio's frames as ffmpeg's framemd5 does. Safe on any thread; no window.

#include "slideshow/Timeline.h"
#include "verify/FrameMd5.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace kelvora::verify {

// An AAC second further from the music than this is some other sound (a shifted, cut or
// foreign track gives about 0 dB; the save's AAC gives 25 dB or more on music).
inline constexpr double kAudioNearDb = 12;

struct AudioCheckRequest {
    std::string video;
    std::string music;  // empty: the audio is only hashed
    slideshow::Rate rate;
    std::int64_t frames = 0;  // the video's length in frames, as its pictures lay it out
    slideshow::FadeFrames fades;
};

struct AudioCheckOutcome {
    bool hasAudio = false;  // the video has an audio stream
    bool readable = false;  // false: it could not be read or decoded (reason says why)
    std::string reason;
    bool cancelled = false;
    std::string codec;  // "AAC", "FLAC", "PCM"
    bool lossless = false;
    int sampleRate = 0;
    std::int64_t samples = 0;   // decoded
    std::int64_t expected = 0;  // the video's length in samples
    // Lossless: samples (of any channel) unlike the music's, the first of them.
    std::int64_t different = 0;
    std::int64_t firstDifferent = -1;
    // AAC: the worst second's signal-to-noise ratio and the mean over the seconds with sound.
    double worstDb = std::numeric_limits<double>::infinity();
    double meanDb = std::numeric_limits<double>::infinity();
    int worstSecond = -1;
};

[[nodiscard]] AudioCheckOutcome checkAudio(const AudioCheckRequest& request, const std::atomic<bool>& cancel,
                                           FrameMd5* hashes);

// What the outcome says, in Italian, and whether the audio is the music's.
struct AudioVerdict {
    bool same = false;
    std::string text;
};
[[nodiscard]] AudioVerdict judgeAudio(const AudioCheckOutcome& outcome);

}  // namespace kelvora::verify

namespace kelvora::verify {

// The frame rate a video's first video stream is read at, as ffmpeg guesses it (an AVI's
// header rate exactly); nothing when the file has none.
struct VideoRate {
    std::uint32_t rate = 0;
    std::uint32_t scale = 0;
};
[[nodiscard]] std::optional<VideoRate> videoRateOf(const std::string& video);

}  // namespace kelvora::verify

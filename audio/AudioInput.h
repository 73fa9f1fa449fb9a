#pragma once

// A soundtrack read from any file libavformat opens (MP3, AAC/M4A, WAV, FLAC, Ogg Vorbis or
// Opus...): its best audio stream decoded by libavcodec and brought by libswresample to the
// rate, channels and sample format a video keeps. Without dither: the same file gives the
// same samples every time, which is what the check of a video compares its audio with.

#include "audio/AudioPlan.h"
#include "platform/types/Result.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <memory>
#include <string>

namespace kelvora::audio {

class AudioInput {
public:
    // The audio of the file at `path`; the reason in Italian when it has none that decodes.
    [[nodiscard]] static platform::Result<std::unique_ptr<AudioInput>> open(const std::string& path);
    ~AudioInput();
    AudioInput(const AudioInput&) = delete;
    AudioInput& operator=(const AudioInput&) = delete;

    [[nodiscard]] const SourceAudio& source() const;
    // From now on read() gives the audio at `plan`'s rate and channels, in `format`.
    platform::Status convertTo(const AudioPlan& plan, AVSampleFormat format);
    // Up to `count` samples into `frame` (its buffers made anew for them); how many came, 0
    // once the audio has ended, -1 when it cannot be decoded (error() says why).
    [[nodiscard]] int read(AVFrame& frame, int count);
    [[nodiscard]] const std::string& error() const;

private:
    struct Context;
    explicit AudioInput(std::unique_ptr<Context> context);
    std::unique_ptr<Context> m_context;
};

// The file's audio length in samples of its own rate, from its packets' durations: read
// through, not decoded. -1 when it cannot be read.
[[nodiscard]] std::int64_t measureAudio(const std::string& path);

// The frames of rate / scale a second a video needs to hold the whole music of `path`: its
// last sample within the last frame. 0 when it cannot be read.
[[nodiscard]] std::int64_t framesForMusic(const std::string& path, std::uint32_t rate, std::uint32_t scale);

}  // namespace kelvora::audio

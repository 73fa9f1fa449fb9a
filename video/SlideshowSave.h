#pragma once

// A slideshow's save around the sink of its container: each picture the save writes is held
// for its span of frames (PictureClock), one frame in MP4 and Matroska with its duration, in
// AVI the frame then empty chunks; the soundtrack is made beside it (audio::AudioTrack) and
// written where its times fall among the frames: in AVI a chunk of PCM before each frame, as
// players read an interleaved file. What the video holds of the music is said at the end.

#include "audio/AudioTrack.h"
#include "slideshow/ShowLayout.h"
#include "slideshow/Timeline.h"
#include "video/SaveJob.h"
#include "video/Slideshow.h"
#include "video/VideoSink.h"

#include <memory>
#include <optional>

namespace kelvora::video {

class SlideshowSave {
public:
    // `pictures`: the source's entries, or -1 when that is known only at the end.
    SlideshowSave(const SaveRequest& request, int pictures);
    ~SlideshowSave();
    SlideshowSave(const SlideshowSave&) = delete;
    SlideshowSave& operator=(const SlideshowSave&) = delete;

    // Opens the soundtrack and plans the pictures' frames, before anything is written; false,
    // the outcome refused with the reason, when the music cannot be taken.
    [[nodiscard]] bool prepare(SaveOutcome& out);
    // The sink the save writes through: `sink` with every picture held and the music beside.
    [[nodiscard]] std::unique_ptr<VideoSink> wrap(std::unique_ptr<VideoSink> sink);
    // Once the file is finished: the video's frames and what it holds of the music.
    void describe(SaveOutcome& out) const;
    // With fades, the frames the writer writes (each picture's held frame and each fade frame,
    // in order) as the pictures come; the sink places each by it. Null without fades.
    [[nodiscard]] slideshow::ShowSequence* sequence() { return m_sequence ? &*m_sequence : nullptr; }

private:
    class TimedSink;
    [[nodiscard]] bool prepareAudio(SaveOutcome& out);
    const SaveRequest& m_request;
    const Slideshow& m_show;
    slideshow::Rate m_rate;
    int m_pictures;
    std::unique_ptr<audio::AudioTrack> m_track;
    std::int64_t m_fitFrames = 0;  // fitted to the music: the video's frames
    std::optional<slideshow::ShowSequence> m_sequence;
    // What the sink wrote, for describe.
    struct Written {
        std::int64_t frames = 0;
        std::int64_t audioSamples = 0;
        std::optional<std::size_t> pictures;  // with fades: the pictures of the frames written
    };
    Written m_written;
};

// "2:03", "0:45", "1:02:03": a length as a clock.
[[nodiscard]] std::string clockText(std::int64_t samples, int rate);

}  // namespace kelvora::video

#pragma once

// A video's soundtrack made beside its frames: a thread of its own decodes the file, fits it
// to the video (AudioShape) and encodes it, while the save writes the frames; the save takes
// the packets as its frames reach their times, so the file's audio and video go side by side.
// The packets made ahead of the frames are bounded (a few megabytes), so a two-hour track
// costs no more memory than a short one.

#include "audio/AudioEncoder.h"
#include "audio/AudioInput.h"
#include "audio/AudioShape.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvora::audio {

// Samples fitted to a video, as the save encodes them and the check compares them.
class ShapedAudio {
public:
    // `input`, converted to `plan`'s rate and channels in `format`, shaped by `shape`.
    ShapedAudio(AudioInput& input, AudioShape shape, AVSampleFormat format, const AudioPlan& plan);
    // The video's length, once known; before it only samples clear of the end are given.
    void setTotal(std::int64_t total) { m_shape.total = total; }
    [[nodiscard]] const AudioShape& shape() const { return m_shape; }
    // The next `count` samples (fewer at the end; 0 once the video's length is reached) into
    // `frame`, its pts their first sample's number. -1 when the file cannot be decoded.
    [[nodiscard]] int next(AVFrame& frame, int count);
    [[nodiscard]] std::int64_t position() const { return m_position; }
    // Whether the music went on past the video's end (and was faded out there).
    [[nodiscard]] bool cut() const { return m_cut; }

private:
    [[nodiscard]] bool lookAhead(std::int64_t samples);
    void applyGains(AVFrame& frame) const;

    AudioInput& m_input;
    AudioShape m_shape;
    AVSampleFormat m_format;
    int m_channels;
    int m_sampleRate;
    std::int64_t m_position = 0;
    bool m_sourceEnded = false;
    bool m_cut = false;
    bool m_cutKnown = false;
    struct Ahead;
    std::shared_ptr<Ahead> m_ahead;  // samples read from the file and not yet given
};

class AudioTrack {
public:
    // The file's audio for a video whose audio is stored as `codec`; the reason in Italian
    // when the file has no audio that decodes or the encoder cannot be opened.
    [[nodiscard]] static platform::Result<std::unique_ptr<AudioTrack>> open(const std::string& path, AudioCodec codec);
    ~AudioTrack();
    AudioTrack(const AudioTrack&) = delete;
    AudioTrack& operator=(const AudioTrack&) = delete;

    [[nodiscard]] const AudioPlan& plan() const { return m_plan; }
    [[nodiscard]] const SourceAudio& source() const { return m_input->source(); }
    [[nodiscard]] const AudioStream& stream() const { return m_encoder->stream(); }

    // Starts making the audio for a video shaped by `shape` (its total -1 while unknown).
    void start(const AudioShape& shape);
    // The video is known to last at least `samples`.
    void videoReached(std::int64_t samples);
    // The video ends at `samples`: the audio is made to there and no further.
    void videoEnds(std::int64_t samples);
    // Appends the packets made so far that begin before `samples`, in order, waiting for them
    // while the thread is still making them; false once the file failed to decode (failure()).
    [[nodiscard]] bool take(std::int64_t samples, std::vector<AudioPacket>& out);
    // Appends every packet of the audio, once the video's end is known (videoEnds).
    [[nodiscard]] bool takeAll(std::vector<AudioPacket>& out);
    [[nodiscard]] std::string failure() const;
    // Whether the music went on past the video's end (the cut faded out).
    [[nodiscard]] bool cut() const;

private:
    AudioTrack() = default;
    void produce();
    void produceAll();

    std::unique_ptr<AudioInput> m_input;
    std::unique_ptr<AudioEncoder> m_encoder;
    AudioPlan m_plan;
    std::unique_ptr<ShapedAudio> m_shaped;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<AudioPacket> m_packets;
    std::size_t m_queuedBytes = 0;
    std::int64_t m_madeTo = 0;   // the packets made so far end here (in samples)
    std::int64_t m_reached = 0;  // the video lasts at least this
    std::int64_t m_end = -1;     // the video's end, once known
    bool m_waiting = false;      // the thread waits for the video to go further
    bool m_done = false;
    bool m_stop = false;
    bool m_cut = false;
    std::string m_failure;
    std::jthread m_thread;
};

}  // namespace kelvora::audio

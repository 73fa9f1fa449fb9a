#pragma once

// The soundtrack's encoder: AAC-LC and FLAC by libavcodec, 16-bit PCM as it stands. Frames of
// samples in (in the encoder's sample format), packets out with their times in samples.

#include "audio/AudioPlan.h"
#include "platform/types/Result.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvora::audio {

class AudioEncoder {
public:
    [[nodiscard]] static platform::Result<std::unique_ptr<AudioEncoder>> open(const AudioPlan& plan);
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    [[nodiscard]] AVSampleFormat sampleFormat() const;
    [[nodiscard]] const AudioStream& stream() const;
    // Encodes `frame` (its pts the first sample's number), or with null the samples still
    // held; appends the packets ready. libavcodec's reason when it fails.
    platform::Status encode(const AVFrame* frame, std::vector<AudioPacket>& out);

private:
    struct Context;
    explicit AudioEncoder(std::unique_ptr<Context> context);
    std::unique_ptr<Context> m_context;
};

// The sample format each codec takes: s16 for PCM and FLAC, s32 for wide FLAC, planar float for AAC.
[[nodiscard]] AVSampleFormat sampleFormatFor(const AudioPlan& plan);

}  // namespace kelvora::audio

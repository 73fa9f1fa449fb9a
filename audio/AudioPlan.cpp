#include "audio/AudioPlan.h"

#include <array>

namespace kelvora::audio {

namespace {

// The sample rates an AAC-LC stream may declare (ISO/IEC 14496-3's table), libavcodec's
// encoder taking them all.
constexpr std::array kAacRates{96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};

int aacRate(int rate)
{
    // Beyond 48 kHz players falter (and nobody hears it): 48 kHz. Between the table's rates:
    // the next finer one.
    if (rate >= 48000)
        return 48000;
    int best = 48000;
    for (const int allowed : kAacRates)
        if (allowed >= rate && allowed < best)
            best = allowed;
    return best;
}

}  // namespace

AudioPlan planAudio(AudioCodec codec, const SourceAudio& source)
{
    AudioPlan plan;
    plan.codec = codec;
    plan.sampleRate = source.sampleRate > 0 ? source.sampleRate : 48000;
    if (codec == AudioCodec::Aac)
        plan.sampleRate = aacRate(plan.sampleRate);
    // FLAC's header holds rates to 655,350 Hz; AVI's any that fits its 32 bits.
    if (codec == AudioCodec::Flac && plan.sampleRate > 655350)
        plan.sampleRate = 192000;
    plan.channels = source.channels == 1 ? 1 : 2;
    plan.downmixedFrom = source.channels > 2 ? source.channels : 0;
    plan.wide = codec == AudioCodec::Flac && source.bits > 16;
    return plan;
}

const char* codecLabel(AudioCodec codec)
{
    switch (codec) {
    case AudioCodec::Pcm16:
        return "PCM";
    case AudioCodec::Flac:
        return "FLAC";
    case AudioCodec::Aac:
        return "AAC";
    }
    return "";
}

}  // namespace kelvora::audio

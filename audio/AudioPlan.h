#pragma once

// What a video keeps of a soundtrack: how its audio is stored in each container, at which
// rate and with how many channels. No Qt, no libav headers.

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::audio {

enum class AudioCodec {
    Pcm16,  // AVI: 16-bit PCM, what every AVI player takes
    Flac,   // Matroska: FLAC, the samples kept exactly
    Aac,    // MP4: AAC-LC, what phones, browsers and presentation tools play
};

// The audio as its file holds it.
struct SourceAudio {
    std::string codecName;  // libavcodec's name: "mp3", "flac", "pcm_s16le"...
    int sampleRate = 0;
    int channels = 0;
    int bits = 16;  // the samples' precision: more than 16 for a 24-bit FLAC or WAV
    // Its length in samples of its own rate, from the packets' durations (the decoder may give
    // a few samples fewer, a coder's padding).
    std::int64_t samples = 0;
};

struct AudioPlan {
    AudioCodec codec = AudioCodec::Pcm16;
    int sampleRate = 48000;
    int channels = 2;   // 1 or 2
    bool wide = false;  // FLAC: 24 bits (in 32-bit samples), for a source finer than 16 bits
    // The source had more channels than the video keeps: they are mixed down to stereo.
    int downmixedFrom = 0;
};

struct AudioPacket {
    std::vector<std::uint8_t> data;
    std::int64_t pts = 0;  // in samples; AAC's first packets are its priming, before 0
    std::int64_t duration = 0;
    // FLAC's final stream header (its length and checksum), on its last packet.
    std::vector<std::uint8_t> newConfiguration;
};

// What a container needs to know of the stream.
struct AudioStream {
    AudioCodec codec = AudioCodec::Pcm16;
    int sampleRate = 48000;
    int channels = 2;
    int bitsPerSample = 16;  // 24 for a wide FLAC
    int frameSize = 0;       // samples a packet holds (the last may hold fewer); 0: any
    int initialPadding = 0;  // the encoder's priming samples (AAC)
    std::int64_t bitRate = 0;
    std::vector<std::uint8_t> configuration;  // AAC's AudioSpecificConfig, FLAC's STREAMINFO
};

// How a source is kept in a video of `codec`: its own rate where the codec takes it (AAC:
// the nearest of its rates, 48 kHz beyond them), mono and stereo as they are, more channels
// mixed down to stereo.
[[nodiscard]] AudioPlan planAudio(AudioCodec codec, const SourceAudio& source);

// "PCM", "FLAC", "AAC".
[[nodiscard]] const char* codecLabel(AudioCodec codec);

}  // namespace kelvora::audio

// A soundtrack fitted to its video: cut with a fade where the music goes on, padded with
// silence where it ends first, faded with the pictures, each codec's packets covering the
// video's samples exactly; sources of every kind made here by ffmpeg.
#include "audio/AudioTrack.h"

#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/fs/TempDir.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace kelvora::audio {
namespace {

using testsupport::TempDir;

// A 16-bit WAV of `seconds` of a ramp no two samples share: left up, right down.
std::string writeWav(const TempDir& dir, const std::string& name, int rate, int channels, double seconds)
{
    const auto samples = static_cast<std::uint32_t>(rate * seconds);
    const std::uint32_t bytes = samples * 2 * static_cast<std::uint32_t>(channels);
    std::ofstream out(dir / name, std::ios::binary);
    const auto u32 = [&out](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.put(static_cast<char>(v >> (8 * i)));
    };
    const auto u16 = [&out](std::uint32_t v) { out.put(static_cast<char>(v)), out.put(static_cast<char>(v >> 8)); };
    out << "RIFF", u32(36 + bytes), out << "WAVEfmt ", u32(16), u16(1), u16(channels), u32(rate),
        u32(rate * 2 * channels), u16(2 * channels), u16(16), out << "data", u32(bytes);
    for (std::uint32_t i = 0; i < samples; ++i)
        for (int c = 0; c < channels; ++c)
            u16(static_cast<std::uint16_t>(c % 2 == 0 ? i % 20000 : 40000 - i % 20000));
    return dir.file(name);
}

std::int16_t rampAt(std::int64_t i, int channel)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(channel % 2 == 0 ? i % 20000 : 40000 - i % 20000));
}

// Every shaped sample of `path` as 16-bit PCM, for a video of `total` samples.
std::vector<std::int16_t> shaped(const std::string& path, AudioShape shape, bool* cut = nullptr)
{
    auto opened = AudioInput::open(path);
    EXPECT_TRUE(opened) << opened.error();
    if (!opened)
        return {};
    const auto input = std::move(opened).value();
    const AudioPlan plan = planAudio(AudioCodec::Pcm16, input->source());
    const auto converting = input->convertTo(plan, AV_SAMPLE_FMT_S16);
    EXPECT_TRUE(converting) << converting.error();
    ShapedAudio audio(*input, shape, AV_SAMPLE_FMT_S16, plan);
    std::vector<std::int16_t> out;
    AVFrame* frame = av_frame_alloc();
    for (int got; (got = audio.next(*frame, 1000)) > 0;) {
        EXPECT_EQ(frame->pts, static_cast<std::int64_t>(out.size()) / plan.channels);
        const auto* s = reinterpret_cast<const std::int16_t*>(frame->data[0]);
        out.insert(out.end(), s, s + got * plan.channels);
    }
    av_frame_free(&frame);
    if (cut)
        *cut = audio.cut();
    return out;
}

TEST(ShapedAudioTest, CutsMusicThatGoesOnWithAFadeAndPadsMusicThatEnds)
{
    const TempDir dir;
    const std::string wav = writeWav(dir, "ramp.wav", 8000, 2, 1.0);
    // Cut at 0.75 s: the last half second fades to nothing, the samples before it are the file's.
    bool cut = false;
    const std::vector<std::int16_t> cutShort = shaped(wav, {6000, 0, 0, 4000}, &cut);
    ASSERT_EQ(cutShort.size(), 12000u);
    EXPECT_TRUE(cut);
    for (std::int64_t i = 0; i < 2000; ++i)
        ASSERT_EQ(cutShort[static_cast<std::size_t>(i) * 2], rampAt(i, 0)) << i;
    for (const std::int64_t i : {2000, 3000, 5999})
        EXPECT_EQ(cutShort[static_cast<std::size_t>(i) * 2 + 1],
                  static_cast<std::int16_t>(std::lround(rampAt(i, 1) * (6000.0 - i) / 4000.0)))
            << i;
    // Longer than the music: its samples as they are (no fade, it was not cut), then silence.
    const std::vector<std::int16_t> padded = shaped(wav, {12000, 0, 0, 4000}, &cut);
    ASSERT_EQ(padded.size(), 24000u);
    EXPECT_FALSE(cut);
    EXPECT_EQ(padded[2 * 7999 + 1], rampAt(7999, 1));
    EXPECT_EQ(std::count(padded.begin() + 16000, padded.end(), 0), 8000);
    // Exactly as long: not cut, no fade.
    const std::vector<std::int16_t> exact = shaped(wav, {8000, 0, 0, 4000}, &cut);
    EXPECT_FALSE(cut);
    EXPECT_EQ(exact.back(), rampAt(7999, 1));
}

TEST(ShapedAudioTest, FadesInAndOutWithThePictures)
{
    const TempDir dir;
    const std::string wav = writeWav(dir, "ramp.wav", 8000, 1, 1.0);
    const std::vector<std::int16_t> faded = shaped(wav, {8000, 800, 1600, 4000});
    ASSERT_EQ(faded.size(), 8000u);
    EXPECT_EQ(faded[0], 0);
    EXPECT_EQ(faded[400], static_cast<std::int16_t>(std::lround(rampAt(400, 0) * 0.5)));
    EXPECT_EQ(faded[800], rampAt(800, 0));
    EXPECT_EQ(faded[7999], static_cast<std::int16_t>(std::lround(rampAt(7999, 0) / 1600.0)));
    EXPECT_EQ(faded[5000], rampAt(5000, 0));
}

TEST(AudioPlanTest, KeepsWhatEachContainerTakesAndSaysWhatItChanges)
{
    const SourceAudio surround{"ac3", 48000, 6, 16, 0};
    const AudioPlan mixed = planAudio(AudioCodec::Aac, surround);
    EXPECT_EQ(mixed.channels, 2);
    EXPECT_EQ(mixed.downmixedFrom, 6);
    EXPECT_EQ(planAudio(AudioCodec::Aac, {"flac", 96000, 2, 24, 0}).sampleRate, 48000);
    EXPECT_EQ(planAudio(AudioCodec::Aac, {"mp3", 44100, 1, 16, 0}).sampleRate, 44100);
    EXPECT_EQ(planAudio(AudioCodec::Aac, {"pcm", 37800, 1, 16, 0}).sampleRate, 44100);
    EXPECT_EQ(planAudio(AudioCodec::Aac, {"mp3", 44100, 1, 16, 0}).channels, 1);
    const AudioPlan archive = planAudio(AudioCodec::Flac, {"flac", 96000, 2, 24, 0});
    EXPECT_EQ(archive.sampleRate, 96000);
    EXPECT_TRUE(archive.wide);
    EXPECT_FALSE(planAudio(AudioCodec::Pcm16, {"flac", 96000, 2, 24, 0}).wide);
}

// The packets of `codec` made from `path` for a video of `total` samples, taken as a save
// takes them: as the video reaches its times, the end told at the end.
std::vector<AudioPacket> trackPackets(const std::string& path, AudioCodec codec, std::int64_t total, bool endKnown,
                                      AudioStream* stream = nullptr)
{
    auto opened = AudioTrack::open(path, codec);
    EXPECT_TRUE(opened) << opened.error();
    if (!opened)
        return {};
    const auto track = std::move(opened).value();
    if (stream)
        *stream = track->stream();
    AudioShape shape{endKnown ? total : -1, 0, 0, track->stream().sampleRate / 2};
    track->start(shape);
    std::vector<AudioPacket> packets;
    for (std::int64_t at = 0; at < total; at += 1000) {
        track->videoReached(std::min(total, at + 1000));
        EXPECT_TRUE(track->take(at, packets)) << track->failure();
    }
    track->videoEnds(total);
    EXPECT_TRUE(track->takeAll(packets)) << track->failure();
    return packets;
}

TEST(AudioTrackTest, EveryCodecCoversTheVideoSampleForSample)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    const TempDir dir;
    const std::string wav = writeWav(dir, "ramp.wav", 44100, 2, 2.0);
    std::string ignored;
    ASSERT_EQ(
        testsupport::runCommand("ffmpeg -nostdin -v error -i '" + wav + "' '" + dir.file("ramp.mp3") + "'", ignored),
        0);
    for (const AudioCodec codec : {AudioCodec::Pcm16, AudioCodec::Flac, AudioCodec::Aac}) {
        for (const bool endKnown : {true, false}) {
            for (const std::string& source : {wav, dir.file("ramp.mp3")}) {
                AudioStream stream;
                const std::int64_t total = 44100 * 3 / 2;  // 1.5 s of a 2 s file: cut
                const std::vector<AudioPacket> packets = trackPackets(source, codec, total, endKnown, &stream);
                ASSERT_FALSE(packets.empty());
                // In order, without gaps, from the priming to the video's last sample.
                std::int64_t at = packets.front().pts;
                for (const AudioPacket& packet : packets) {
                    EXPECT_EQ(packet.pts, at);
                    at += packet.duration;
                }
                EXPECT_EQ(packets.front().pts, -stream.initialPadding);
                EXPECT_GE(at, total) << codecLabel(codec);
                EXPECT_LT(at - total, std::max(stream.frameSize, 1) + stream.initialPadding) << codecLabel(codec);
                if (codec == AudioCodec::Pcm16) {
                    EXPECT_EQ(at, total);
                }
                if (codec == AudioCodec::Flac) {
                    EXPECT_FALSE(packets.back().newConfiguration.empty()) << "the final STREAMINFO";
                }
            }
        }
    }
}

TEST(AudioTrackTest, RefusesFilesWithoutMusicWithTheReason)
{
    const TempDir dir;
    // The reason of a refusal; "" when the file opens.
    const auto reasonOf = [&](const char* name) {
        const auto track = AudioTrack::open(dir.file(name), AudioCodec::Aac);
        return track ? std::string() : track.error();
    };
    EXPECT_EQ(reasonOf("none.mp3"), "non si apre come file audio");
    std::ofstream(dir / "text.wav") << "not a sound at all, just words";
    EXPECT_NE(reasonOf("text.wav"), "");
    if (!testsupport::ffmpegAvailable())
        return;
    std::string ignored;
    ASSERT_EQ(testsupport::runCommand("ffmpeg -nostdin -v error -f lavfi -i color=red:s=16x16 -frames:v 1 '" +
                                          dir.file("still.png") + "'",
                                      ignored),
              0);
    EXPECT_EQ(reasonOf("still.png"), "non contiene audio");
}

}  // namespace
}  // namespace kelvora::audio

// A PCM audio stream beside the video, interleaved chunk by chunk as the caller writes them,
// indexed in 'idx1' and, past the first RIFF, in OpenDML's indexes; read back by ffmpeg.
#include <gtest/gtest.h>

#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/AviTestWriter.h"
#include "tests/support/avi/FfmpegProbe.h"

#include <cstring>
#include <filesystem>

namespace kelvora::avifile {
namespace {

using namespace testsupport;

constexpr int kRate = 48000;
constexpr int kPerFrame = 1920;  // samples of a frame at 25 a second

// PCMWAVEFORMAT of 16-bit stereo at `rate`.
std::vector<std::uint8_t> pcmFormat(std::uint32_t rate, std::uint16_t tag = 1, std::uint16_t align = 4)
{
    std::vector<std::uint8_t> f(16);
    const auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            f[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(0, tag, 2), put(2, 2, 2), put(4, rate, 4), put(8, rate * 4, 4), put(12, align, 2), put(14, 16, 2);
    return f;
}

// Samples `from`... of a pattern no two chunks share: left and right apart.
std::vector<std::uint8_t> pcm(std::int64_t from, int count)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * 4);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < 2; ++c) {
            const auto v = static_cast<std::uint16_t>((from + i) * 7 + c * 12345);
            bytes[static_cast<std::size_t>(i) * 4 + c * 2] = static_cast<std::uint8_t>(v);
            bytes[static_cast<std::size_t>(i) * 4 + c * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
        }
    return bytes;
}

struct Handles {
    PAVIFILE file = nullptr;
    PAVISTREAM video = nullptr;
    PAVISTREAM audio = nullptr;
    HRESULT finish = AVIERR_OK;
    void release()
    {
        if (audio)
            AVIStreamRelease(std::exchange(audio, nullptr));
        if (video)
            AVIStreamRelease(std::exchange(video, nullptr));
        if (file)
            AVIFileRelease(std::exchange(file, nullptr), &finish);
    }
    ~Handles() { release(); }
};

AVISTREAMINFOA audioInfo()
{
    AVISTREAMINFOA info{};
    info.fccType = mmioStringToFOURCCA("auds", 0);
    info.dwScale = 4;
    info.dwRate = kRate * 4;
    info.dwSampleSize = 4;
    return info;
}

// Opens `path` with a video stream of `frame`'s format and an audio stream beside it.
void openWithAudio(Handles& h, const std::filesystem::path& path, const TestBitmap& frame,
                   const AviFileLimits& limits = {})
{
    ASSERT_EQ(AVIFileOpenA(&h.file, path.c_str(), OF_WRITE | OF_CREATE, nullptr, limits), AVIERR_OK);
    const AVISTREAMINFOA video = videoStreamInfo(frame, 25);
    ASSERT_EQ(AVIFileCreateStreamA(h.file, &h.video, &video), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(h.video, 0, frame.info.data(), static_cast<LONG>(frame.info.size())), AVIERR_OK);
    const AVISTREAMINFOA audio = audioInfo();
    ASSERT_EQ(AVIFileCreateStreamA(h.file, &h.audio, &audio), AVIERR_OK);
    const auto format = pcmFormat(kRate);
    ASSERT_EQ(AVIStreamSetFormat(h.audio, 0, format.data(), 16), AVIERR_OK);
}

// Frame i's audio, then the frame: its picture every fourth frame, else an empty chunk (held).
void writeInterleaved(Handles& h, const TestBitmap& frame, int first, int count)
{
    for (int i = first; i < first + count; ++i) {
        const auto samples = pcm(std::int64_t{i} * kPerFrame, kPerFrame);
        ASSERT_EQ(AVIStreamWrite(h.audio, i * kPerFrame, kPerFrame, samples.data(), static_cast<LONG>(samples.size()),
                                 AVIIF_KEYFRAME, nullptr, nullptr),
                  AVIERR_OK);
        const bool shown = i % 4 == 0;
        const AVISAMPLE sample =
            shown ? AVISAMPLE{frame.pixels.data(), static_cast<LONG>(frame.pixels.size()), AVIIF_KEYFRAME}
                  : AVISAMPLE{};
        ASSERT_EQ(AVIStreamWriteSamples(h.video, i, {&sample, 1}, nullptr), AVIERR_OK);
    }
}

std::vector<std::uint8_t> decodedAudio(const std::filesystem::path& file)
{
    std::string out;
    (void)runCommand("ffmpeg -nostdin -v error -i '" + file.string() + "' -map 0:a -f s16le -", out);
    return {out.begin(), out.end()};
}

TEST(AviAudio, InterleavesPcmThatFfmpegReadsSampleForSample)
{
    TempDir dir;
    const auto file = dir / "music.avi";
    const TestBitmap frame = makeTestBitmap(8, 4, 24, 1);
    {
        Handles h;
        openWithAudio(h, file, frame);
        writeInterleaved(h, frame, 0, 10);
        h.release();
        ASSERT_EQ(h.finish, AVIERR_OK);
    }
    const AviInfo info = inspectAvi(file);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_EQ(info.avih.dwStreams, 2u);
    EXPECT_NE(info.avih.dwFlags & 0x100, 0u) << "AVIF_ISINTERLEAVED";
    ASSERT_TRUE(info.hasAudio);
    EXPECT_EQ(info.audioStrh.fccType, FourCC("auds"));
    EXPECT_EQ(info.audioStrh.dwScale, 4u);
    EXPECT_EQ(info.audioStrh.dwRate, 4u * kRate);
    EXPECT_EQ(info.audioStrh.dwSampleSize, 4u);
    EXPECT_EQ(info.audioStrh.dwLength, 10u * kPerFrame);
    EXPECT_EQ(info.audioStrf, pcmFormat(kRate));
    EXPECT_EQ(info.strh.dwLength, 10u);
    ASSERT_EQ(info.audioChunks.size(), 10u);
    ASSERT_EQ(info.frames.size(), 10u);
    // 'idx1' lists both streams in file order: audio, frame, audio, frame...
    ASSERT_EQ(info.idx1.size(), 20u);
    for (std::size_t i = 0; i < 20; ++i) {
        const AviIdx1Entry& e = info.idx1[i];
        if (i % 2 == 0) {
            EXPECT_EQ(e.chunkId, FourCC("01wb")) << i;
            EXPECT_EQ(e.size, 4u * kPerFrame);
            EXPECT_EQ(e.flags, 0x10u);
        } else {
            EXPECT_EQ(e.chunkId, FourCC("00db")) << i;
            EXPECT_EQ(e.size, i / 2 % 4 == 0 ? frame.pixels.size() : 0u) << i;
        }
        if (i > 0) {
            EXPECT_GT(e.offset, info.idx1[i - 1].offset);
        }
    }
    if (!ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    EXPECT_EQ(decodedAudio(file), pcm(0, 10 * kPerFrame));
}

TEST(AviAudio, OpenDmlIndexesBothStreamsInEveryRiff)
{
    TempDir dir;
    const auto file = dir / "long.avi";
    const TestBitmap frame = makeTestBitmap(8, 4, 24, 1);
    {
        Handles h;
        openWithAudio(h, file, frame, {.riffBytes = 64 * 1024});
        writeInterleaved(h, frame, 0, 40);
        h.release();
        ASSERT_EQ(h.finish, AVIERR_OK);
    }
    const AviInfo info = inspectAvi(file);
    ASSERT_TRUE(info.error.empty()) << info.error;
    ASSERT_GE(info.riffs.size(), 4u);
    ASSERT_EQ(info.ix01.size(), info.riffs.size());
    ASSERT_EQ(info.audioIndx.size(), info.riffs.size());
    std::size_t chunks = 0;
    std::uint64_t blocks = 0;
    for (std::size_t r = 0; r < info.ix01.size(); ++r) {
        EXPECT_EQ(info.ix01[r].chunkId, FourCC("01wb"));
        EXPECT_EQ(info.audioIndx[r].offset, info.ix01[r].chunkOffset);
        chunks += info.ix01[r].entries.size();
        blocks += info.audioIndx[r].duration;
    }
    EXPECT_EQ(chunks, 40u);
    EXPECT_EQ(blocks, 40u * kPerFrame);
    EXPECT_EQ(info.audioStrh.dwLength, 40u * kPerFrame);
    EXPECT_EQ(info.dmlhTotalFrames, 40u);
    if (!ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    EXPECT_EQ(decodedAudio(file), pcm(0, 40 * kPerFrame));
}

TEST(AviAudio, AFileCutShortKeepsItsAudioToTheLastWholeChunk)
{
    if (!ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    TempDir dir;
    const auto file = dir / "live.avi";
    const auto cut = dir / "cut.avi";
    const TestBitmap frame = makeTestBitmap(8, 4, 24, 1);
    Handles h;
    openWithAudio(h, file, frame);
    writeInterleaved(h, frame, 0, 6);
    // As a kill leaves it: the chunks so far and half a chunk more, headers never finished.
    std::filesystem::copy_file(file, cut);
    const auto whole = std::filesystem::file_size(cut);
    const auto more = pcm(6 * kPerFrame, kPerFrame);
    std::filesystem::resize_file(cut, whole + 8 + more.size() / 2);
    EXPECT_EQ(decodedAudio(cut).size(), pcm(0, 6 * kPerFrame).size());
    EXPECT_EQ(decodedAudio(cut), pcm(0, 6 * kPerFrame));
}

TEST(AviAudio, RefusesAudioItCannotPlaceOrDescribe)
{
    TempDir dir;
    const TestBitmap frame = makeTestBitmap(8, 4, 24, 1);
    const AVISTREAMINFOA audio = audioInfo();
    {
        // The audio comes after the video, and only one.
        Handles h;
        ASSERT_EQ(AVIFileOpenA(&h.file, (dir / "a.avi").c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
        EXPECT_EQ(AVIFileCreateStreamA(h.file, &h.audio, &audio), AVIERR_UNSUPPORTED);
    }
    Handles h;
    openWithAudio(h, dir / "b.avi", frame);
    PAVISTREAM second = nullptr;
    EXPECT_EQ(AVIFileCreateStreamA(h.file, &second, &audio), AVIERR_UNSUPPORTED);
    // Only PCM whose block is its channels' samples.
    const auto compressed = pcmFormat(kRate, 0x55);
    const auto misaligned = pcmFormat(kRate, 1, 3);
    EXPECT_EQ(AVIStreamSetFormat(h.audio, 0, compressed.data(), 16), AVIERR_BADFORMAT);
    EXPECT_EQ(AVIStreamSetFormat(h.audio, 0, misaligned.data(), 16), AVIERR_BADFORMAT);
    EXPECT_EQ(AVIStreamSetFormat(h.audio, 0, misaligned.data(), 12), AVIERR_BADFORMAT);
    const auto samples = pcm(0, 100);
    EXPECT_EQ(AVIStreamWrite(h.audio, 0, 99, samples.data(), 400, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamWrite(h.audio, 5, 100, samples.data(), 400, AVIIF_KEYFRAME, nullptr, nullptr),
              AVIERR_UNSUPPORTED);
    const AVISAMPLE half{samples.data(), 402, AVIIF_KEYFRAME};
    EXPECT_EQ(AVIStreamWriteSamples(h.audio, 0, {&half, 1}, nullptr), AVIERR_BADSIZE);
    LONG written = 0;
    EXPECT_EQ(AVIStreamWrite(h.audio, 0, 100, samples.data(), 400, AVIIF_KEYFRAME, &written, nullptr), AVIERR_OK);
    EXPECT_EQ(written, 100);
    // Once anything is written, the streams are fixed.
    PAVISTREAM late = nullptr;
    const AVISTREAMINFOA video = videoStreamInfo(frame, 25);
    EXPECT_EQ(AVIFileCreateStreamA(h.file, &late, &video), AVIERR_UNSUPPORTED);
    h.release();
    EXPECT_EQ(h.finish, AVIERR_OK);
}

}  // namespace
}  // namespace kelvora::avifile

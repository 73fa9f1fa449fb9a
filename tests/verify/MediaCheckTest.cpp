// Videos ffmpeg makes, checked and hashed: our framemd5 lines must be ffmpeg's, line for line,
// whatever the container (AVI, MP4, Matroska), codec, pixel format, size, B-frames or display
// matrix; and the check must read every such frame, at every size, without a fault (the
// sanitizer build runs the same).
#include "verify/PsnrCheck.h"
#include "verify/VideoCheck.h"

#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/fs/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numbers>

namespace kelvora::verify {
namespace {

namespace fs = std::filesystem;

class NoProgress final : public CheckObserver {
public:
    void frameChecked(int) override {}
};

// A check's framemd5 lines and its outcome.
template <typename Outcome> struct Hashed {
    Outcome outcome;
    std::string lines;
};

std::string drain(std::FILE* out)
{
    std::string text;
    std::rewind(out);
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out))
        text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

Hashed<PsnrOutcome> measure(const fs::path& video, const std::vector<std::string>& frames)
{
    NoProgress progress;
    const std::atomic<bool> cancel{false};
    std::FILE* out = std::tmpfile();
    FrameMd5 hashes(out);
    Hashed<PsnrOutcome> result;
    result.outcome = measurePsnr({video.string(), frames, !frames.empty()}, progress, cancel, &hashes);
    result.lines = drain(out);
    return result;
}

Hashed<CheckOutcome> checkAvi(const fs::path& video, const std::vector<std::string>& frames)
{
    NoProgress progress;
    const std::atomic<bool> cancel{false};
    std::FILE* out = std::tmpfile();
    FrameMd5 hashes(out);
    Hashed<CheckOutcome> result;
    result.outcome = checkVideo({video.string(), frames, !frames.empty()}, progress, cancel, &hashes);
    result.lines = drain(out);
    return result;
}

std::string ffmpegLines(const fs::path& video)
{
    std::string lines;
    testsupport::runCommand("ffmpeg -v quiet -i '" + video.string() + "' -fflags +bitexact -f framemd5 -", lines);
    return lines;
}

// `count` PNG frames of testsrc at `size` ("7x5"), and their paths.
std::vector<std::string> makeFrames(const fs::path& dir, const std::string& size, int count)
{
    std::string ignored;
    testsupport::runCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=" + size + ":rate=5 -frames:v " +
                                std::to_string(count) + " '" + (dir / "f%02d.png").string() + "' 2>&1",
                            ignored);
    std::vector<std::string> frames;
    for (int n = 1; n <= count; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "f%02d.png", n);
        frames.push_back((dir / name).string());
    }
    return frames;
}

// A video ffmpeg makes of the frames in `dir`; empty when ffmpeg cannot make it.
fs::path makeVideo(const fs::path& dir, const std::string& name, const std::string& args)
{
    std::string ignored;
    const fs::path video = dir / name;
    if (testsupport::runCommand("ffmpeg -v error -y -i '" + (dir / "f%02d.png").string() + "' " + args + " '" +
                                    video.string() + "' 2>&1",
                                ignored) != 0)
        return {};
    return video;
}

using Bytes = std::vector<std::uint8_t>;

Bytes readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::size_t find(const Bytes& bytes, std::string_view what)
{
    const auto at = std::search(bytes.begin(), bytes.end(), what.begin(), what.end(),
                                [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); });
    return static_cast<std::size_t>(at - bytes.begin());
}

void putBigEndian(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// The MP4's track shown turned `degrees` clockwise, as ffmpeg reads its display matrix: the
// matrix of its 'tkhd' box rewritten, as a phone writes it.
fs::path turned(const fs::path& video, int degrees)
{
    Bytes bytes = readBytes(video);
    const std::size_t body = find(bytes, "tkhd") + 4;
    const double radians = -degrees * std::numbers::pi / 180;
    const auto c = static_cast<std::int32_t>(std::lround(std::cos(radians) * 65536));
    const auto s = static_cast<std::int32_t>(std::lround(std::sin(radians) * 65536));
    const std::int32_t matrix[9] = {c, -s, 0, s, c, 0, 0, 0, 1 << 30};
    for (int i = 0; i < 9; ++i)
        putBigEndian(bytes, body + 40 + 4 * static_cast<std::size_t>(i), static_cast<std::uint32_t>(matrix[i]));
    const fs::path out = video.parent_path() / ("turned" + std::to_string(degrees) + ".mp4");
    writeBytes(out, bytes);
    return out;
}

class MediaCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::ffmpegAvailable())
            GTEST_SKIP() << "ffmpeg is not installed";
    }
    testsupport::TempDir dir;
};

// Other writers' files the check once refused or misread: FFV1 in 4:2:0 (ffmpeg's default
// for FFV1 from Y'CbCr; 16 bits; 4:1:0) wrote past a buffer; 4:4:4 H.264 was "no longer the
// video's size"; H.264 with B-frames in AVI decoded nothing. Each is now read through, named
// for what it is, and hashed as ffmpeg hashes it.
TEST_F(MediaCheckTest, OtherWritersFilesAreReadAndHashedAsFfmpegReadsThem)
{
    const std::vector<std::string> frames = makeFrames(dir.path(), "64x48", 6);
    for (const char* format : {"yuv420p", "yuv420p16le", "yuv410p"}) {
        SCOPED_TRACE(format);
        const fs::path video =
            makeVideo(dir.path(), std::string("ffv1-") + format + ".mkv", std::string("-c:v ffv1 -pix_fmt ") + format);
        ASSERT_FALSE(video.empty());
        const auto checked = measure(video, frames);
        ASSERT_TRUE(checked.outcome.readable) << checked.outcome.reason;
        const FidelityVerdict verdict = judgeFidelity(checked.outcome, frames, 0);
        EXPECT_EQ(verdict.kind, Fidelity::Differs);
        EXPECT_NE(verdict.text.find(std::string("il video tiene i pixel in ") + format), std::string::npos)
            << verdict.text;
        EXPECT_EQ(checked.lines, ffmpegLines(video));
    }
    const fs::path h444 = makeVideo(dir.path(), "h264-444.mkv", "-c:v libx264 -pix_fmt yuv444p");
    ASSERT_FALSE(h444.empty());
    const auto full = measure(h444, frames);
    ASSERT_TRUE(full.outcome.readable) << full.outcome.reason;
    EXPECT_EQ(judgeFidelity(full.outcome, frames, 0).kind, Fidelity::Kept)
        << judgeFidelity(full.outcome, frames, 0).text;
    EXPECT_GT(full.outcome.worstDb, 25);
    EXPECT_EQ(full.lines, ffmpegLines(h444));

    const fs::path avi = makeVideo(dir.path(), "h264.avi", "-c:v libx264 -bf 3");
    ASSERT_FALSE(avi.empty());
    const auto bframes = checkAvi(avi, frames);
    EXPECT_EQ(bframes.outcome.result, CheckResult::Same) << bframes.outcome.firstReason << bframes.outcome.reason;
    EXPECT_TRUE(bframes.outcome.approximate);
    EXPECT_EQ(bframes.lines, ffmpegLines(avi));
    EXPECT_EQ(checkAvi(avi, {}).lines, ffmpegLines(avi));  // hashed alone, as --framemd5 without --verify
}

// ffmpeg turns an MP4's pictures by its display matrix before it hashes them, a quarter turn
// swapping the sides: so do our lines, for each turn. The frames are compared as shown: files
// turned as the matrix turns them match, the upright files do not, and the turn is named.
TEST_F(MediaCheckTest, TheDisplayMatrixTurnsThePicturesAsFfmpegTurnsThem)
{
    const std::vector<std::string> frames = makeFrames(dir.path(), "64x48", 4);
    const fs::path plain = makeVideo(dir.path(), "plain.mp4", "-c:v libx264");
    ASSERT_FALSE(plain.empty());
    for (const int degrees : {90, 180, 270}) {
        SCOPED_TRACE(degrees);
        const fs::path video = turned(plain, degrees);
        const std::string ffmpeg = ffmpegLines(video);
        ASSERT_NE(ffmpeg.find(degrees == 180 ? "#dimensions 0: 64x48" : "#dimensions 0: 48x64"), std::string::npos);
        const auto upright = measure(video, frames);
        EXPECT_EQ(upright.lines, ffmpeg);
        const FidelityVerdict verdict = judgeFidelity(upright.outcome, frames, 0);
        EXPECT_EQ(verdict.kind, Fidelity::Differs);
        EXPECT_NE(verdict.text.find("il video chiede ai lettori di ruotarlo di " + std::to_string(degrees) + "°"),
                  std::string::npos)
            << verdict.text;
        // The same files turned by ffmpeg as the matrix turns them.
        const fs::path shown = dir / ("shown" + std::to_string(degrees));
        fs::create_directory(shown);
        std::vector<std::string> turnedFrames;
        const char* filter = degrees == 90 ? "transpose=clock" : degrees == 180 ? "hflip,vflip" : "transpose=cclock";
        for (const std::string& frame : frames) {
            const fs::path out = shown / fs::path(frame).filename();
            std::string ignored;
            testsupport::runCommand(
                "ffmpeg -v error -y -i '" + frame + "' -vf " + filter + " '" + out.string() + "' 2>&1", ignored);
            turnedFrames.push_back(out.string());
        }
        const auto asShown = measure(video, turnedFrames);
        EXPECT_EQ(judgeFidelity(asShown.outcome, turnedFrames, 0).kind, Fidelity::Kept)
            << judgeFidelity(asShown.outcome, turnedFrames, 0).text;
    }
}

// Every size from 1 x 1 to 9 x 9, one pixel wide or high, in the pixel formats the decoders
// give (FFV1's Y'CbCr samplings, RGB, grey and 16 bits; H.264 in 4:4:4; Motion-JPEG in AVI
// through libswscale): read without a fault, hashed as ffmpeg hashes it.
TEST_F(MediaCheckTest, EverySizeAndPixelFormatIsReadWithoutAFault)
{
    const struct {
        const char* name;
        const char* args;
    } codecs[] = {
        {"ffv1.mkv", "-c:v ffv1 -pix_fmt yuv420p"},    {"ffv1.mkv", "-c:v ffv1 -pix_fmt yuv411p"},
        {"ffv1.mkv", "-c:v ffv1 -pix_fmt yuv440p"},    {"ffv1.mkv", "-c:v ffv1 -pix_fmt yuv444p16le"},
        {"ffv1.mkv", "-c:v ffv1 -pix_fmt gbrp10le"},   {"ffv1.mkv", "-c:v ffv1 -pix_fmt gray16le"},
        {"ffv1.mkv", "-c:v ffv1 -pix_fmt yuva420p"},   {"ffv1.mkv", "-c:v ffv1 -pix_fmt bgra"},
        {"h264.mkv", "-c:v libx264 -pix_fmt yuv444p"}, {"mjpeg.avi", "-c:v mjpeg -pix_fmt yuvj444p"},
    };
    for (const char* size : {"1x1", "2x2", "3x3", "5x7", "9x9", "1x9", "9x1", "1x33", "33x1"}) {
        testsupport::TempDir sized;
        const std::vector<std::string> frames = makeFrames(sized.path(), size, 2);
        // One ffmpeg makes them all, and one hashes them all: outputs, then checksums, in turn.
        std::string make = "ffmpeg -v error -y -i '" + (sized / "f%02d.png").string() + "'";
        std::string hash = "ffmpeg -v error";
        std::string maps;
        for (std::size_t i = 0; i < std::size(codecs); ++i) {
            const fs::path video = sized / (std::to_string(i) + codecs[i].name);
            make += std::string(" ") + codecs[i].args + " '" + video.string() + "'";
            hash += " -i '" + video.string() + "'";
            maps += " -map " + std::to_string(i) + ":v -fflags +bitexact -f framemd5 '" + video.string() + ".md5'";
        }
        std::string ignored;
        ASSERT_EQ(testsupport::runCommand(make + " 2>&1", ignored), 0) << size << ": " << ignored;
        ASSERT_EQ(testsupport::runCommand(hash + maps + " 2>&1", ignored), 0) << size << ": " << ignored;
        for (std::size_t i = 0; i < std::size(codecs); ++i) {
            SCOPED_TRACE(std::string(size) + " " + codecs[i].args);
            const fs::path video = sized / (std::to_string(i) + codecs[i].name);
            std::ifstream in(video.string() + ".md5");
            const std::string ffmpeg{std::istreambuf_iterator<char>(in), {}};
            if (video.extension() == ".avi") {
                EXPECT_EQ(checkAvi(video, frames).lines, ffmpeg);
            } else {
                const auto checked = measure(video, frames);
                EXPECT_TRUE(checked.outcome.readable) << checked.outcome.reason;
                EXPECT_EQ(checked.lines, ffmpeg);
            }
        }
    }
}

// A file whose header claims what no file of its size holds ends the check at once, with its
// reason, before libavformat builds an index of it or a decoder makes a picture of it (before,
// 50 million samples in 3 kB took 2.8 GB; 16000 x 16000 in 16 kB, 3 GB; a chunk table's count
// of 167 million, 1.3 GB).
TEST_F(MediaCheckTest, ClaimsNoFileThisSmallCanHoldAreRefused)
{
    const std::vector<std::string> frames = makeFrames(dir.path(), "300x260", 3);
    const fs::path mp4 = makeVideo(dir.path(), "v.mp4", "-c:v libx264");
    const fs::path mkv = makeVideo(dir.path(), "v.mkv", "-c:v ffv1");
    ASSERT_FALSE(mp4.empty());
    ASSERT_FALSE(mkv.empty());
    Bytes samples = readBytes(mp4);
    const std::size_t stsz = find(samples, "stsz") + 4;
    putBigEndian(samples, stsz + 4, 1);           // every sample one byte...
    putBigEndian(samples, stsz + 8, 50'000'000);  // ...and fifty million of them
    writeBytes(dir / "samples.mp4", samples);
    Bytes chunks = readBytes(mp4);  // a chunk table of 167 million entries in a box of a few
    putBigEndian(chunks, find(chunks, "stco") + 8, 0x0A000001);
    writeBytes(dir / "chunks.mp4", chunks);
    Bytes sides = readBytes(mkv);
    // PixelWidth 300 and PixelHeight 260, each two bytes long
    for (const std::string_view element :
         {std::string_view("\xB0\x82\x01\x2C", 4), std::string_view("\xBA\x82\x01\x04", 4)}) {
        const std::size_t at = find(sides, element) + 2;
        ASSERT_LT(at, sides.size());
        sides[at] = 16000 >> 8;
        sides[at + 1] = 16000 & 0xFF;
    }
    writeBytes(dir / "sides.mkv", sides);

    const auto manySamples = measure(dir / "samples.mp4", frames);
    EXPECT_FALSE(manySamples.outcome.readable);
    EXPECT_NE(manySamples.outcome.reason.find("dichiara 50000000 campioni, più dei byte del file"), std::string::npos)
        << manySamples.outcome.reason;
    const auto manyChunks = measure(dir / "chunks.mp4", frames);
    EXPECT_FALSE(manyChunks.outcome.readable);
    EXPECT_NE(manyChunks.outcome.reason.find("dichiara 167772161 voci nella tabella 'stco', che ne ha posto per"),
              std::string::npos)
        << manyChunks.outcome.reason;
    const auto largeSides = measure(dir / "sides.mkv", frames);
    EXPECT_FALSE(largeSides.outcome.readable);
    EXPECT_NE(largeSides.outcome.reason.find("dichiara fotogrammi di 16000×16000 pixel, troppo grandi per un file di"),
              std::string::npos)
        << largeSides.outcome.reason;
    EXPECT_EQ(largeSides.lines, "");
}

}  // namespace
}  // namespace kelvora::verify

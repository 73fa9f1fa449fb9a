// A whole video checked against its frames: safe on files that claim anything, and each
// damage a difference, whether the pixels show it or not.
#include "verify/VideoCheck.h"

#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/fs/TempDir.h"
#include "tests/verify/AviBytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace kelvora::verify {
namespace {

using namespace testing;
namespace fs = std::filesystem;
using testsupport::BmpLayout;

class NoProgress final : public CheckObserver {
public:
    void frameChecked(int) override {}
};

void write(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Checked {
    CheckOutcome outcome;
    std::string lines;  // the framemd5 lines, when hashed
    std::int64_t frameLines = 0;
};

Checked check(const fs::path& video, const std::vector<std::string>& frames, bool compare, bool hash)
{
    NoProgress progress;
    const std::atomic<bool> cancel{false};
    Checked checked;
    std::FILE* out = std::tmpfile();
    FrameMd5 hashes(out);
    checked.outcome = checkVideo({video.string(), frames, compare}, progress, cancel, hash ? &hashes : nullptr);
    checked.frameLines = hashes.lines();
    std::rewind(out);
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out))
        checked.lines += static_cast<char>(c);
    std::fclose(out);
    return checked;
}

// Headers claiming pictures no file this small can hold, or depths no decoder reads, end the
// check with a reason, promptly; before, a 424-byte file took 810 MB (or ended the program),
// and 3 bits a pixel were read past the frame.
TEST(VideoCheckTest, RefusesPicturesTheFileCannotHold)
{
    Bytes endOfBitmap{0, 1};
    Bytes rle;
    for (int n = 0; n < 3; ++n)
        rle = rle + chunk("00db", endOfBitmap);
    Bytes threeBits;
    for (int n = 0; n < 3; ++n)
        threeBits = threeBits + chunk("00db", Bytes(64 * 64, 0xFF));
    const struct {
        const char* name;
        Bytes file;
        const char* reason;
    } cases[] = {
        {"RLE 20000 x 20000", aviFile({20000, 20000, 8, "", binary::BI_RLE8, Bytes(1024)}, rle),
         "troppo grandi per essere decodificati"},
        {"RLE 8000 x 8000", aviFile({8000, 8000, 8, "", binary::BI_RLE8, Bytes(1024)}, rle),
         "troppo grandi per un file di"},
        {"RLE 70000 x 1", aviFile({70000, 1, 8, "", binary::BI_RLE8, Bytes(1024)}, rle),
         "troppo grandi per essere decodificati"},
        {"RLE4 claimed at 8 bits", aviFile({64, 64, 8, "", binary::BI_RLE4, Bytes(1024)}, rle),
         "fotogrammi RLE di 8 bit per pixel"},
        {"3 bits a pixel", aviFile({64, 64, 3}, threeBits), "fotogrammi di 3 bit per pixel"},
        {"PNG 8000 x 8000", aviFile({8000, 8000, 24, "MPNG"}, rle), "troppo grandi per un file di"},
        {"FFV1 0 x 0", aviFile({0, 0, 24, "FFV1"}, rle), "che non sono un'immagine"},
    };
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        write(dir / "v.avi", c.file);
        const auto started = std::chrono::steady_clock::now();
        const Checked checked = check(dir / "v.avi", {}, false, true);
        EXPECT_EQ(checked.outcome.result, CheckResult::Unchecked) << c.name;
        EXPECT_NE(checked.outcome.reason.find(c.reason), std::string::npos) << c.name << ": " << checked.outcome.reason;
        EXPECT_EQ(checked.frameLines, 0) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << c.name;
    }
}

// The lines counted are the lines written: frames too short for their picture have none.
TEST(VideoCheckTest, CountsTheLinesItWrites)
{
    Bytes movi;
    for (int n = 0; n < 6; ++n)
        movi = movi + chunk("00db", Bytes(24, static_cast<std::uint8_t>(n))) + chunk("00db", Bytes(3));
    testsupport::TempDir dir;
    write(dir / "v.avi", aviFile({}, movi));
    const Checked checked = check(dir / "v.avi", {}, false, true);
    EXPECT_EQ(checked.outcome.result, CheckResult::Same);
    EXPECT_EQ(checked.outcome.videoFrames, 12);
    EXPECT_EQ(checked.frameLines, 6);
}

// Frames written as BMP files, and a video of them ffmpeg makes with `codecArgs`.
struct Made {
    std::vector<std::string> frames;
    fs::path video;
};

Made makeWithFfmpeg(const fs::path& dir, const std::string& codecArgs, int count, bool sameFrames)
{
    Made made;
    for (int n = 1; n <= count; ++n) {
        const fs::path frame = dir / ("f" + std::to_string(n) + ".bmp");
        testsupport::writeBmp(frame,
                              testsupport::frameLayout({64, 48, 24, sameFrames ? 7u : static_cast<std::uint32_t>(n)}));
        made.frames.push_back(frame.string());
    }
    made.video = dir / "v.avi";
    std::string ignored;
    const int status = testsupport::runCommand("ffmpeg -v error -y -i '" + (dir / "f%d.bmp").string() + "' " +
                                                   codecArgs + " '" + made.video.string() + "' 2>&1",
                                               ignored);
    if (status != 0)
        made.video.clear();
    return made;
}

// Where the `n`-th frame chunk (from 0) of a video ends.
std::size_t frameEnd(const Bytes& file, int n)
{
    const std::string movi = "movi";
    const std::string id = "00dc";
    auto at =
        std::search(std::search(file.begin(), file.end(), movi.begin(), movi.end()), file.end(), id.begin(), id.end());
    for (int i = 0; i < n; ++i)
        at = std::search(at + 8, file.end(), id.begin(), id.end());
    const auto offset = static_cast<std::size_t>(at - file.begin());
    const std::size_t size = file[offset + 4] | file[offset + 5] << 8 | file[offset + 6] << 16 | file[offset + 7] << 24;
    return offset + 8 + size;
}

// One bit flipped in a frame's last bytes (the CRC of its last slice, or of its last PNG
// chunk): the pixels are the same (FFV1 conceals the slice from the frame before, the very
// same picture here), but the file is damaged and the check says so. The frames ffmpeg
// hashes stay its own.
TEST(VideoCheckTest, ADamagedFrameIsADifferenceThoughItsPixelsMatch)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    const struct {
        const char* codec;
        const char* args;
        const char* said;
    } cases[] = {
        {"FFV1", "-c:v ffv1 -level 3 -slicecrc 1 -slices 4 -g 1", "slice CRC mismatch"},
        {"PNG", "-c:v png", "il blocco PNG IEND è danneggiato"},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        const Made made = makeWithFfmpeg(dir.path(), c.args, 4, true);
        ASSERT_FALSE(made.video.empty()) << c.codec;
        ASSERT_EQ(check(made.video, made.frames, true, false).outcome.result, CheckResult::Same) << c.codec;
        Bytes file = readBytes(made.video);
        file[frameEnd(file, 2) - 1] ^= 0x10;
        write(made.video, file);
        const Checked checked = check(made.video, made.frames, true, true);
        EXPECT_EQ(checked.outcome.result, CheckResult::Different) << c.codec;
        EXPECT_EQ(checked.outcome.first, 2) << c.codec;
        EXPECT_NE(checked.outcome.firstReason.find(c.said), std::string::npos)
            << c.codec << ": " << checked.outcome.firstReason;
        EXPECT_EQ(checked.outcome.damaged, 1) << c.codec;
        std::string ffmpeg;
        testsupport::runCommand("ffmpeg -v quiet -i '" + made.video.string() + "' -fflags +bitexact -f framemd5 -",
                                ffmpeg);
        EXPECT_EQ(checked.lines, ffmpeg) << c.codec;
    }
}

// Videos other writers make of our frames: uncompressed with the rows top-down, or in a
// codec only libavcodec decodes. Lossless, each frame must show its file's colours exactly
// (a frame changed on disk is found); lossy, closely. Before, the first was "dall'alto in
// basso" and the rest "non si decodifica".
TEST(VideoCheckTest, ChecksOtherWritersVideos)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    const struct {
        const char* name;
        const char* args;
        bool lossless;
    } cases[] = {
        {"raw, top-down", "-c:v rawvideo -pix_fmt bgr24", true},
        {"raw 32 bits", "-c:v rawvideo -pix_fmt bgra", true},
        {"Ut Video", "-c:v utvideo", true},
        {"HuffYUV", "-c:v huffyuv", true},
        {"MJPEG", "-c:v mjpeg -q:v 1", false},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        const Made made = makeWithFfmpeg(dir.path(), c.args, 3, false);
        ASSERT_FALSE(made.video.empty()) << c.name;
        const Checked same = check(made.video, made.frames, true, true);
        EXPECT_EQ(same.outcome.result, CheckResult::Same)
            << c.name << ": " << same.outcome.firstReason << same.outcome.reason;
        std::string ffmpeg;
        testsupport::runCommand("ffmpeg -v quiet -i '" + made.video.string() + "' -fflags +bitexact -f framemd5 -",
                                ffmpeg);
        EXPECT_EQ(same.lines, ffmpeg) << c.name;
        EXPECT_EQ(same.outcome.approximate, !c.lossless) << c.name;
        if (!c.lossless)
            continue;
        testsupport::writeBmp(made.frames[1], testsupport::frameLayout({64, 48, 24, 99}));
        const CheckOutcome changed = check(made.video, made.frames, true, false).outcome;
        EXPECT_EQ(changed.result, CheckResult::Different) << c.name;
        EXPECT_EQ(changed.first, 1) << c.name;
    }
}

// A video cut inside its last frame holds one frame less than was written: against the files
// of the frames it still holds whole it is still not the video that was made.
TEST(VideoCheckTest, AFrameCutShortAtTheEndIsADifference)
{
    testsupport::TempDir dir;
    std::vector<std::string> frames;
    Bytes movi;
    for (std::uint32_t n = 1; n <= 7; ++n) {
        const BmpLayout layout = testsupport::frameLayout({4, 2, 24, n});
        const fs::path frame = dir / ("f" + std::to_string(n) + ".bmp");
        testsupport::writeBmp(frame, layout);
        frames.push_back(frame.string());
        movi = movi + chunk("00db", testsupport::bmpPixels(layout));
    }
    const Bytes whole = aviFile({}, movi);
    write(dir / "v.avi", Bytes(whole.begin(), whole.end() - 10));
    frames.pop_back();
    const CheckOutcome outcome = check(dir / "v.avi", frames, true, false).outcome;
    EXPECT_EQ(outcome.result, CheckResult::Different);
    EXPECT_EQ(outcome.videoFrames, 6);
    EXPECT_EQ(outcome.first, 6);
    EXPECT_EQ(outcome.firstReason, "il file finisce a metà di un fotogramma");
}

}  // namespace
}  // namespace kelvora::verify

// The batch mode end to end: the built program with no display, its videos read back by ffmpeg.
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvora::cli {
namespace {

namespace fs = std::filesystem;
using testsupport::BmpLayout;

struct ProgramRun {
    int status = -1;
    std::string errors;  // what it wrote on standard error
};

// Runs the program as a script would on a machine with no display.
ProgramRun run(const std::string& arguments)
{
    ProgramRun result;
    result.status = testsupport::runCommand(
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" KELVORA_MAKER_EXE "' " + arguments + " 2>&1 >/dev/null",
        result.errors);
    return result;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// A frame as ffmpeg decodes it to bgr24: packed rows, top row first.
std::vector<std::uint8_t> decoded(const BmpLayout& layout)
{
    const std::vector<std::uint8_t> stored = testsupport::bmpPixels(layout);
    const std::size_t stride = testsupport::bmpStride(layout);
    const std::size_t row = static_cast<std::size_t>(layout.width) * 3;
    std::vector<std::uint8_t> frame;
    for (int y = 0; y < layout.height; ++y) {
        const std::size_t from = static_cast<std::size_t>(layout.height - 1 - y) * stride;  // bottom-up
        frame.insert(frame.end(), stored.begin() + from, stored.begin() + from + row);
    }
    return frame;
}

std::vector<std::uint8_t> framesOf(const std::vector<BmpLayout>& layouts)
{
    std::vector<std::uint8_t> all;
    for (const BmpLayout& layout : layouts) {
        const std::vector<std::uint8_t> frame = decoded(layout);
        all.insert(all.end(), frame.begin(), frame.end());
    }
    return all;
}

class BatchModeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::ffmpegAvailable())
            GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    }

    BmpLayout frame(std::uint32_t seed) const { return {12, 8, 24, seed}; }
    testsupport::TempDir dir;
};

TEST_F(BatchModeTest, FolderBecomesAVideoInNaturalOrderAtTheGivenRate)
{
    const fs::path folder = dir.path() / "frames";
    fs::create_directory(folder);
    // Written out of order: the folder's own order must not matter.
    testsupport::writeBmp(folder / "f_10.bmp", frame(10));
    testsupport::writeBmp(folder / "f_2.bmp", frame(2));
    testsupport::writeBmp(folder / "f_1.BMP", frame(1));
    testsupport::writeBytes(folder / "notes.txt", "not a frame");
    const fs::path video = dir.path() / "out.avi";

    const ProgramRun result = run("--output " + quoted(video) + " --fps 7 " + quoted(folder));
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_NE(result.errors.find("3/3"), std::string::npos) << result.errors;  // progress
    const testsupport::ProbeResult probe = testsupport::probeVideo(video);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, 3);
    EXPECT_EQ(probe.frameRate, "7/1");
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf({frame(1), frame(2), frame(10)}));
}

TEST_F(BatchModeTest, FilesKeepTheirGivenOrderAndAMismatchIsSkippedWithALine)
{
    for (std::uint32_t seed : {1u, 2u, 3u})
        testsupport::writeBmp(dir.path() / ("p" + std::to_string(seed) + ".bmp"), frame(seed));
    testsupport::writeBmp(dir.path() / "small.bmp", {6, 8, 24, 9});
    const fs::path video = dir.path() / "out.avi";

    const ProgramRun result = run("-o " + quoted(video) + " " + quoted(dir.path() / "p3.bmp") + " " +
                           quoted(dir.path() / "small.bmp") + " " + quoted(dir.path() / "p1.bmp") + " " +
                           quoted(dir.path() / "p2.bmp"));
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_NE(result.errors.find("escluso " + (dir.path() / "small.bmp").string()), std::string::npos)
        << result.errors;
    EXPECT_EQ(testsupport::probeVideo(video).frameRate, "25/1");
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf({frame(3), frame(1), frame(2)}));
}

TEST_F(BatchModeTest, UnreadableInputOrAUsageErrorMakesNoVideo)
{
    testsupport::writeBmp(dir.path() / "a.bmp", frame(1));
    testsupport::writeBytes(dir.path() / "fake.bmp", "plain text");
    const std::string video = quoted(dir.path() / "out.avi");
    const std::string good = quoted(dir.path() / "a.bmp");
    struct Case {
        std::string arguments;
        std::string said;  // part of the message
    };
    const Case cases[] = {
        {"-o " + video + " " + good + " " + quoted(dir.path() / "missing.bmp"), "missing.bmp"},
        {"-o " + video + " " + quoted(dir.path() / "fake.bmp"), "fake.bmp"},
        {"-o " + video + " " + quoted(dir.path() / "empty-folder-does-not-exist"), "empty-folder-does-not-exist"},
        {"-o " + video + " --fps 31 " + good, "--fps"},
        {"-o " + video + " --fps x " + good, "--fps"},
        {"-o " + video, "nessun file"},
        {"--fps 5 " + good, "--output"},
        {"--no-such-option " + good, "no-such-option"},
    };
    for (const Case& c : cases) {
        const ProgramRun result = run(c.arguments);
        EXPECT_NE(result.status, 0) << c.arguments;
        EXPECT_NE(result.errors.find(c.said), std::string::npos) << c.arguments << "\n" << result.errors;
        EXPECT_FALSE(fs::exists(dir.path() / "out.avi")) << c.arguments;
    }
}

TEST_F(BatchModeTest, HelpAndVersionNeedNoDisplay)
{
    std::string help;
    ASSERT_EQ(testsupport::runCommand("env -u DISPLAY -u QT_QPA_PLATFORM '" KELVORA_MAKER_EXE "' --help", help), 0);
    EXPECT_NE(help.find("--output"), std::string::npos) << help;
    EXPECT_NE(help.find("--fps"), std::string::npos) << help;
    std::string version;
    ASSERT_EQ(testsupport::runCommand("env -u DISPLAY -u QT_QPA_PLATFORM '" KELVORA_MAKER_EXE "' --version", version), 0);
    EXPECT_EQ(version, "kelvora-maker " KELVORA_VERSION "\n");
}

// A small file system of its own, unmounted with the test.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& at) : m_at(at)
    {
        fs::create_directory(at);
        m_mounted = geteuid() == 0 &&
                    std::system(("mount -t tmpfs -o size=256k tmpfs " + quoted(at) + " 2>/dev/null").c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            (void)std::system(("umount " + quoted(m_at)).c_str());
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    [[nodiscard]] bool mounted() const { return m_mounted; }

private:
    fs::path m_at;
    bool m_mounted = false;
};

TEST_F(BatchModeTest, AFullDiskFailsAndLeavesAReadablePartialFile)
{
    SmallDisk disk(dir.path() / "disk");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs (needs root and mount rights): full-disk case not run";
    const fs::path folder = dir.path() / "frames";
    fs::create_directory(folder);
    const BmpLayout big{128, 96, 24, 0};  // 36 KiB a frame: 20 of them do not fit in 256 KiB
    std::vector<BmpLayout> frames;
    for (std::uint32_t i = 0; i < 20; ++i) {
        frames.push_back({big.width, big.height, big.bitCount, i + 1});
        testsupport::writeBmp(folder / ("f" + std::to_string(i + 1) + ".bmp"), frames.back());
    }
    const fs::path video = dir.path() / "disk" / "out.avi";

    const ProgramRun result = run("-o " + quoted(video) + " " + quoted(folder));
    EXPECT_NE(result.status, 0) << result.errors;
    EXPECT_NE(result.errors.find("parziale"), std::string::npos) << result.errors;
    const testsupport::ProbeResult probe = testsupport::probeVideo(video);
    ASSERT_TRUE(probe.ok) << probe.output;
    ASSERT_GT(probe.framesRead, 0);
    ASSERT_LT(probe.framesRead, 20);
    frames.resize(static_cast<std::size_t>(probe.framesRead));
    EXPECT_TRUE(testsupport::decodeFrames(video, "bgr24") == framesOf(frames));
}

}  // namespace
}  // namespace kelvora::cli

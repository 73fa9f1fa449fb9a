#include <gtest/gtest.h>

#include <csignal>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/avifile/AVIFileTesting.h"
#include "tests/platform/avifile/AviTestWriter.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/FfmpegProbe.h"

namespace kelvora::avifile::test {
namespace {

TEST(AviDiskFull, WriteFailsAndFinishingReportsIt)
{
    const auto frames = testFrames(2, 16, 16, 24);
    const SaveResult saved = saveFrames("/dev/full", frames);
    EXPECT_EQ(saved.lastWrite, AVIERR_FILEWRITE);
    EXPECT_EQ(saved.framesWritten, 0);
    EXPECT_EQ(saved.finish, AVIERR_FILEWRITE);
}

// A 1 MiB tmpfs that fills up part-way through the video.
class SmallFileSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::mount("tmpfs", m_dir.path().c_str(), "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here";
        m_mounted = true;
    }
    void TearDown() override
    {
        if (m_mounted)
            ::umount(m_dir.path().c_str());
    }
    TempDir m_dir;
    bool m_mounted = false;
};

TEST_F(SmallFileSystem, FramesBeforeTheFailureStayReadable)
{
    const auto file = m_dir / "full.avi";
    const auto frames = testFrames(40, 120, 100, 24);  // 36 KB a frame: the disk fills near frame 28
    const SaveResult saved = saveFrames(file, frames);
    EXPECT_EQ(saved.lastWrite, AVIERR_FILEWRITE);
    ASSERT_GT(saved.framesWritten, 10);
    ASSERT_LT(saved.framesWritten, 40);

    const auto info = testsupport::inspectAvi(file);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_FALSE(info.truncated) << "the partly written chunk is cut off";
    EXPECT_EQ(info.frames.size(), static_cast<std::size_t>(saved.framesWritten));
    EXPECT_EQ(info.strh.dwLength, static_cast<std::uint32_t>(saved.framesWritten));
    EXPECT_EQ(info.riffs[0].size + 8, info.fileSize);
    // Cutting the broken chunk frees room for the index; if it still had not fit, the
    // finish would have said so and the header would not claim one.
    EXPECT_EQ(saved.finish == AVIERR_OK, info.hasIdx1);
    EXPECT_EQ((info.avih.dwFlags & 0x10) != 0, info.hasIdx1);
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    const auto probe = testsupport::probeVideo(file);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, saved.framesWritten);
}

struct CutCase {
    const char* name;
    int framesBeforeKill;
    std::uint64_t riffLimit;
};

class KilledWriter : public ::testing::TestWithParam<CutCase> {};

// The child writes k frames and is killed without releasing anything.
TEST_P(KilledWriter, LeavesAFileReadWithAtLeastTheFramesWritten)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    const CutCase c = GetParam();
    TempDir dir;
    const auto file = dir / "killed.avi";
    const auto frames = testFrames(3, 64, 48, 24);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        testing::setRiffLimit(c.riffLimit);
        PAVIFILE pf = nullptr;
        PAVISTREAM ps = nullptr;
        const AVISTREAMINFOA info = videoStreamInfo(frames[0], 25);
        if (AVIFileOpenA(&pf, file.c_str(), OF_WRITE | OF_CREATE, nullptr) != AVIERR_OK ||
            AVIFileCreateStreamA(pf, &ps, &info) != AVIERR_OK ||
            AVIStreamSetFormat(ps, 0, frames[0].info.data(), 40) != AVIERR_OK)
            ::_exit(2);
        for (int i = 0; i < c.framesBeforeKill; ++i) {
            const auto& px = frames[static_cast<std::size_t>(i) % 3].pixels;
            if (AVIStreamWrite(ps, i, 1, px.data(), static_cast<LONG>(px.size()), AVIIF_KEYFRAME, nullptr, nullptr))
                ::_exit(3);
        }
        ::kill(::getpid(), SIGKILL);
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child exit " << WEXITSTATUS(status);

    const auto probe = testsupport::probeVideo(file);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_GE(probe.framesRead, c.framesBeforeKill);
    EXPECT_EQ(probe.width, 64);
    const auto info = testsupport::inspectAvi(file);
    EXPECT_EQ(info.frames.size(), static_cast<std::size_t>(c.framesBeforeKill));
}

INSTANTIATE_TEST_SUITE_P(Cuts, KilledWriter,
                         ::testing::Values(CutCase{"AfterOneFrame", 1, testing::kDefaultRiffLimit},
                                           CutCase{"BetweenHeaderUpdates", 70, testing::kDefaultRiffLimit},
                                           CutCase{"InThirdRiff", 70, 256 * 1024}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(TruncatedFile, IsReadUpToItsLastWholeFrame)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    TempDir dir;
    const auto file = dir / "whole.avi";
    ASSERT_EQ(saveFrames(file, testFrames(10, 64, 48, 24)).lastWrite, AVIERR_OK);
    const auto whole = testsupport::inspectAvi(file);
    ASSERT_EQ(whole.frames.size(), 10u);
    for (std::size_t keep : {1u, 4u, 9u}) {
        const auto cut = dir / "cut.avi";
        std::filesystem::copy_file(file, cut, std::filesystem::copy_options::overwrite_existing);
        // Mid-way through the frame after the ones kept.
        std::filesystem::resize_file(cut, whole.frames[keep].chunkOffset + 100);
        const auto probe = testsupport::probeVideo(cut);
        ASSERT_TRUE(probe.ok) << probe.output;
        EXPECT_GE(probe.framesRead, static_cast<int>(keep)) << "cut after " << keep;
    }
}

}  // namespace
}  // namespace kelvora::avifile::test

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/avi/AviTestWriter.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/FfmpegProbe.h"

namespace kelvora::avifile {
namespace {

using namespace testsupport;

// Runs body in a child process; its exit status, or -1 when it was still running after
// five seconds (then it is killed): a call that waits on a FIFO or device shows as a hang.
int inChildWithin5s(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    if (child < 0)
        return -2;
    for (int waited = 0; waited < 500; ++waited) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
        ::usleep(10'000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
}

TEST(AviDiskFull, WriteFailsAndFinishingReportsIt)
{
    // A file-size limit makes every write past 8 KiB fail, as a full disk does.
    const int status = inChildWithin5s([] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        TempDir dir;
        const SaveResult saved = saveFrames(dir / "full.avi", testFrames(2, 64, 64, 24));
        if (saved.lastWrite != AVIERR_FILEWRITE)
            return 11;
        if (saved.framesWritten != 0)
            return 12;
        return saved.finish == AVIERR_FILEWRITE ? 0 : 13;
    });
    EXPECT_EQ(status, 0);
}

struct SpecialCase {
    const char* name;
    // Makes the thing named out.avi in dir; false when it cannot be made here.
    std::function<bool(const std::filesystem::path& dir)> make;
};

class SpecialOutput : public ::testing::TestWithParam<SpecialCase> {};

TEST_P(SpecialOutput, IsRefusedAtOnceAndLeftAlone)
{
    TempDir dir;
    const auto out = dir / "out.avi";
    if (!GetParam().make(dir.path()))
        GTEST_SKIP() << "cannot make it here";
    const auto before = std::filesystem::symlink_status(out).type();
    const int status = inChildWithin5s([&] {
        PAVIFILE file = reinterpret_cast<PAVIFILE>(1);
        const HRESULT hr = AVIFileOpenA(&file, out.c_str(), OF_WRITE | OF_CREATE, nullptr);
        return hr == AVIERR_FILEOPEN && file == nullptr ? 0 : 1;
    });
    EXPECT_NE(status, -1) << "the open waited";
    EXPECT_EQ(status, 0) << "not refused with AVIERR_FILEOPEN";
    EXPECT_EQ(std::filesystem::symlink_status(out).type(), before);
}

bool linkTo(const std::filesystem::path& target, const std::filesystem::path& dir)
{
    std::error_code ec;
    std::filesystem::create_symlink(target, dir / "out.avi", ec);
    return !ec;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SpecialOutput,
    ::testing::Values(
        SpecialCase{"Fifo", [](const auto& dir) { return ::mkfifo((dir / "out.avi").c_str(), 0600) == 0; }},
        SpecialCase{"LinkToFifo",
                    [](const auto& dir) { return ::mkfifo((dir / "f").c_str(), 0600) == 0 && linkTo(dir / "f", dir); }},
        SpecialCase{"LinkToNullDevice", [](const auto& dir) { return linkTo("/dev/null", dir); }},
        SpecialCase{"LinkToFullDevice", [](const auto& dir) { return linkTo("/dev/full", dir); }},
        SpecialCase{"Folder", [](const auto& dir) { return std::filesystem::create_directory(dir / "out.avi"); }},
        SpecialCase{"LinkToFolder", [](const auto& dir) { return linkTo(dir, dir); }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AviOutput, LinkToARegularFileWritesThatFile)
{
    TempDir dir;
    const auto target = dir / "real.avi";
    std::ofstream(target) << std::string(5000, 'x');
    ASSERT_TRUE(linkTo(target, dir.path()));
    ASSERT_EQ(saveFrames(dir / "out.avi", testFrames(1, 8, 8, 24)).lastWrite, AVIERR_OK);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "out.avi"));
    EXPECT_EQ(testsupport::inspectAvi(target).frames.size(), 1u);
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
        PAVIFILE pf = nullptr;
        PAVISTREAM ps = nullptr;
        const AVISTREAMINFOA info = videoStreamInfo(frames[0], 25);
        if (AVIFileOpenA(&pf, file.c_str(), OF_WRITE | OF_CREATE, nullptr, {.riffBytes = c.riffLimit}) != AVIERR_OK ||
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
                         ::testing::Values(CutCase{"AfterOneFrame", 1, AviFileLimits::kMaxRiffBytes},
                                           CutCase{"BetweenHeaderUpdates", 70, AviFileLimits::kMaxRiffBytes},
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
}  // namespace kelvora::avifile

// The save without a window: what it refuses before touching the disk, why it failed in the
// user's words, and what it leaves behind.
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/bmp/BmpFiles.h"
#include "video/SaveFailure.h"
#include "video/SaveJob.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::video {
namespace {

namespace fs = std::filesystem;
using testsupport::BmpLayout;

struct NoProgress final : SaveObserver {
    void frameStarting(int) override {}
    void frameWritten(int) override {}
};

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class SaveJobTest : public ::testing::Test {
protected:
    SaveOutcome run(const std::string& output, mAVIDecs& avi)
    {
        SaveRequest request{output, frames, 10};
        NoProgress progress;
        const std::atomic<bool> cancel{false};
        return SaveJob(avi, messages).run(request, progress, cancel);
    }

    void addFrames(int count, BmpLayout layout = {32, 32, 24, 1})
    {
        for (int i = 0; i < count; ++i) {
            layout.seed = static_cast<std::uint32_t>(i + 1);
            frames.push_back(dir.file("frame" + std::to_string(frames.size()) + ".bmp"));
            testsupport::writeBmp(frames.back(), layout);
        }
    }

    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    std::vector<std::string> frames;
};

TEST_F(SaveJobTest, AFrameOfTheListIsNeverTheTargetEvenByAnotherName)
{
    addFrames(3);
    const std::string before = contents(frames[1]);
    fs::create_symlink(frames[1], dir.file("link.avi"));
    for (const std::string& target : {frames[1], dir.file("link.avi"), dir.path().string() + "/./frame1.bmp"}) {
        SCOPED_TRACE(target);
        testsupport::RecordingAVIDecs avi;
        const SaveOutcome outcome = run(target, avi);
        EXPECT_TRUE(outcome.refused);
        EXPECT_NE(outcome.result, 0);
        EXPECT_TRUE(avi.calls.empty());  // refused before anything is opened
        EXPECT_EQ(failureMessage(outcome),
                  "Il file scelto è uno dei fotogrammi della lista: il filmato non è stato salvato, per non distruggerlo.");
        EXPECT_EQ(contents(frames[1]), before);
    }
}

TEST_F(SaveJobTest, ATargetThatIsNoRegularFileIsRefusedWithoutWaitingOnIt)
{
    addFrames(1);
    ASSERT_EQ(::mkfifo(dir.file("pipe.avi").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir.file("device.avi"));
    fs::create_directory(dir.file("folder.avi"));
    for (const char* name : {"pipe.avi", "device.avi", "folder.avi"}) {
        SCOPED_TRACE(name);
        auto saved = std::async(std::launch::async, [&] { return run(dir.file(name), systemAVIDecs()); });
        if (saved.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            // Let a blocked open go, so the test fails instead of hanging.
            const int reader = ::open(dir.file("pipe.avi").c_str(), O_RDONLY | O_NONBLOCK);
            saved.wait();
            ::close(reader);
            FAIL() << "the save waited on the target";
        }
        const SaveOutcome outcome = saved.get();
        EXPECT_NE(outcome.result, 0);
        EXPECT_EQ(outcome.reason,
                  "Il nome scelto non è un file normale (è una cartella, una FIFO o un dispositivo).");
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe.avi")));
}

TEST_F(SaveJobTest, TheReasonOfAFailedOpenAndAVideoWithNoFrameLeavesNothing)
{
    addFrames(1);
    const SaveOutcome missing = run(dir.file("no/such/folder/video.avi"), systemAVIDecs());
    EXPECT_EQ(failureMessage(missing),
              "C'è stato un errore durante la scrittura del file!\r\nLa cartella di destinazione non esiste.");

    // The first frame vanished: the bitmap object says so, and the emptied file goes.
    testsupport::writeBytes(dir.file("old.avi"), "an older video");
    fs::remove(frames[0]);
    const SaveOutcome vanished = run(dir.file("old.avi"), systemAVIDecs());
    EXPECT_EQ(vanished.result, 0);
    EXPECT_FALSE(vanished.finished);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_FALSE(fs::exists(dir.file("old.avi")));
}

TEST_F(SaveJobTest, AFullDiskIsNamedAndTheFramesBeforeItStayReadable)
{
    const fs::path mountPoint = dir.path() / "small";
    fs::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    addFrames(40, {64, 64, 24, 1});  // 12 KB a frame: the disk fills near frame 20
    const std::string output = (mountPoint / "video.avi").string();
    const SaveOutcome outcome = run(output, systemAVIDecs());
    const testsupport::AviInfo info = testsupport::inspectAvi(output);
    ::umount(mountPoint.c_str());
    EXPECT_EQ(failureMessage(outcome), "C'è stato un errore durante la scrittura del file!\r\nIl disco è pieno.");
    EXPECT_GT(outcome.framesWritten, 5);
    EXPECT_LT(outcome.framesWritten, 40);
    EXPECT_TRUE(info.error.empty()) << info.error;
    EXPECT_EQ(static_cast<int>(info.frames.size()), outcome.framesWritten);
}

// A header that states a larger image size than the rows (a writer that pads) is no change
// of format: each frame is written with its own size. A file cut short after it was added
// would show black rows, so the save stops there as for a changed frame.
TEST_F(SaveJobTest, OnlyAFrameWhoseBytesNoLongerFitTheStreamStopsTheSave)
{
    addFrames(1, {4, 4, 24, 1});
    std::vector<std::uint8_t> padded = testsupport::makeBmp({4, 4, 24, 2});
    padded[34] = 100;  // biSizeImage
    padded.resize(54 + 100, 0);
    frames.push_back(dir.file("padded.bmp"));
    testsupport::writeBytes(frames.back(), std::string(padded.begin(), padded.end()));
    const std::string output = dir.file("padded.avi");
    const SaveOutcome saved = run(output, systemAVIDecs());
    ASSERT_TRUE(saved.finished) << saved.reason;
    const auto info = testsupport::inspectAvi(output);
    ASSERT_EQ(info.frames.size(), 2u);
    EXPECT_EQ(info.frames[0].size, 48u);
    EXPECT_EQ(info.frames[1].size, 100u);

    fs::resize_file(frames[1], 54 + 40);
    const SaveOutcome cut = run(output, systemAVIDecs());
    EXPECT_FALSE(cut.finished);
    EXPECT_EQ(cut.framesWritten, 1);
    EXPECT_EQ(cut.reason, changedFrameReason(frames[1]));
}

}  // namespace
}  // namespace kelvora::video

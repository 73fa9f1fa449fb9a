// The save without a window: what it refuses before touching the disk, why it failed in the
// user's words, and what it leaves behind.
#include "mux/SinkFactory.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/bmp/BmpFiles.h"
#include "video/SaveFailure.h"
#include "video/SaveJob.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

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
        return SaveJob(avi, messages, mux::sinkFor).run(request, progress, cancel);
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

// The video is written beside the file it is to replace; that file is never one of the
// frames, by whatever name: the save stops at it (before opening anything when it is the
// first) and says why.
TEST_F(SaveJobTest, AFrameOfTheListIsNeverTheTargetEvenByAnotherName)
{
    addFrames(3);
    const std::string before = contents(frames[1]);
    fs::create_symlink(frames[1], dir.file("link.avi"));
    for (const std::string& target :
         {frames[0], frames[1], dir.file("link.avi"), dir.path().string() + "/./frame1.bmp"}) {
        SCOPED_TRACE(target);
        testsupport::RecordingAVIDecs avi;
        SaveRequest request{dir.file("hidden.avi"), frames, 10};
        request.target = target;
        NoProgress progress;
        const std::atomic<bool> cancel{false};
        const SaveOutcome outcome = SaveJob(avi, messages, mux::sinkFor).run(request, progress, cancel);
        EXPECT_TRUE(outcome.refused);
        EXPECT_NE(outcome.result, 0);
        EXPECT_EQ(avi.calls.empty(), target == frames[0]);  // the first frame: before anything is opened
        EXPECT_LE(outcome.framesWritten, 1);
        EXPECT_EQ(
            failureMessage(outcome),
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
        EXPECT_EQ(outcome.reason, "Il nome scelto non è un file normale (è una cartella, una FIFO o un dispositivo).");
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe.avi")));
}

// A save that cannot write a single frame changes nothing on disk: the video it was to
// replace stays as it was.
TEST_F(SaveJobTest, ASaveThatCannotWriteAFrameLeavesTheOldVideoAlone)
{
    struct Case {
        const char* name;
        std::function<void(std::vector<std::string>&)> spoil;
        std::size_t boxes;  // the bitmap object's own
        const char* message;
    };
    const Case cases[] = {
        {"EmptyList", [](std::vector<std::string>& list) { list.clear(); }, 0, "La lista dei fotogrammi è vuota."},
        {"FirstFrameVanished", [](std::vector<std::string>& list) { fs::remove(list[0]); }, 1, ""},
        {"FirstFrameNoLongerABitmap",
         [](std::vector<std::string>& list) { testsupport::writeBytes(list[0], "not a bitmap"); }, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        frames.clear();
        messages.shown.clear();
        addFrames(2);
        c.spoil(frames);
        testsupport::writeBytes(dir.file("old.avi"), "an older video");
        testsupport::RecordingAVIDecs avi(systemAVIDecs());
        const SaveOutcome outcome = run(dir.file("old.avi"), avi);
        EXPECT_FALSE(outcome.finished);
        EXPECT_EQ(outcome.framesWritten, 0);
        EXPECT_EQ(outcome.result == 0 ? std::string() : failureMessage(outcome), c.message);
        EXPECT_EQ(messages.shown.size(), c.boxes);
        EXPECT_TRUE(avi.calls.empty());
        EXPECT_EQ(contents(dir.file("old.avi")), "an older video");
    }
}

// Why the save failed, in the user's words, from what the file system and the library say.
TEST_F(SaveJobTest, AFailureIsToldForWhatItIs)
{
    addFrames(2);
    fs::create_directory(dir.file("open"));
    testsupport::writeBytes(dir.file("open/readonly.avi"), "an older video");
    fs::permissions(dir.file("open/readonly.avi"), fs::perms::owner_read | fs::perms::group_read);
    struct Case {
        const char* failing;
        HRESULT with;
        std::string target;
        const char* reason;
    };
    const Case cases[] = {
        {"AVIFileOpen", avifile::AVIERR_FILEOPEN, dir.file("no/such/folder/video.avi"),
         "La cartella di destinazione non esiste."},
        {"AVIFileOpen", avifile::AVIERR_FILEOPEN, dir.file("open/readonly.avi"),
         "Il file scelto è di sola lettura: non si può sostituire."},
        {"AVIStreamWrite", avifile::AVIERR_BADSIZE, dir.file("long.avi"),
         "Il filmato ha raggiunto la lunghezza massima che il file AVI può indicizzare: non c'è posto per altri "
         "fotogrammi."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        testsupport::RecordingAVIDecs avi;
        avi.failAt = c.failing;
        avi.failOccurrence = 1;
        if (c.failing == std::string("AVIFileOpen"))
            avi.failOccurrence = 0;
        avi.failWith = c.with;
        const SaveOutcome outcome = run(c.target, avi);
        EXPECT_EQ(failureMessage(outcome),
                  std::string("C'è stato un errore durante la scrittura del file!\r\n") + c.reason);
    }
    EXPECT_EQ(contents(dir.file("open/readonly.avi")), "an older video");
}

TEST_F(SaveJobTest, AFullDiskIsNamedAndTheFramesBeforeItStayReadable)
{
    const fs::path mountPoint = dir.path() / "small";
    fs::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    ::umount(mountPoint.c_str());
    // Small frames gathered into few writes, and frames copied from their files.
    for (const auto& [count, layout, disk] : {std::tuple{40, BmpLayout{64, 64, 24, 1}, "size=256k"},
                                              std::tuple{12, BmpLayout{640, 560, 24, 1}, "size=6m"}}) {
        SCOPED_TRACE(layout.width);
        ASSERT_EQ(::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, disk), 0);
        frames.clear();
        addFrames(count, layout);  // the disk fills about halfway
        const std::string output = (mountPoint / "video.avi").string();
        const SaveOutcome outcome = run(output, systemAVIDecs());
        const testsupport::AviInfo info = testsupport::inspectAvi(output);
        ::umount(mountPoint.c_str());
        EXPECT_EQ(failureMessage(outcome), "C'è stato un errore durante la scrittura del file!\r\nIl disco è pieno.");
        EXPECT_GT(outcome.framesWritten, 2);
        EXPECT_LT(outcome.framesWritten, count);
        EXPECT_TRUE(info.error.empty()) << info.error;
        EXPECT_EQ(static_cast<int>(info.frames.size()), outcome.framesWritten);
    }
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
    EXPECT_EQ(cut.reason, "Il file padded.bmp è incompleto: finisce prima delle sue righe di pixel.");
}

// Frames of a megabyte and more are copied from their files to the video, not through
// memory; an entry whose file has gone repeats the frame before it, copied again from there.
TEST_F(SaveJobTest, LargeFramesKeepTheirBytesAndAVanishedOneRepeatsTheFrameBeforeIt)
{
    const BmpLayout large{640, 560, 24, 1};  // 1.07 MB of pixels
    addFrames(5, large);
    fs::remove(frames[3]);
    const std::string output = dir.file("large.avi");
    const SaveOutcome outcome = run(output, systemAVIDecs());
    ASSERT_TRUE(outcome.finished) << outcome.reason;
    EXPECT_EQ(outcome.substituted, std::vector<int>{3});
    const testsupport::AviInfo info = testsupport::inspectAvi(output);
    ASSERT_TRUE(info.error.empty()) << info.error;
    ASSERT_EQ(info.frames.size(), 5u);
    const std::uint32_t seeds[] = {1, 2, 3, 3, 5};
    for (std::size_t i = 0; i < info.frames.size(); ++i) {
        BmpLayout expected = large;
        expected.seed = seeds[i];
        EXPECT_TRUE(testsupport::readFrameBytes(output, info.frames[i]) == testsupport::bmpPixels(expected))
            << "frame " << i;
    }
}

// A large frame cut short after it was admitted, just before its pixels are copied: never
// zeros in the video. The save stops there, names the file, and the frames before it are whole.
TEST_F(SaveJobTest, ALargeFrameCutShortBeforeItsCopyStopsTheSaveAndIsNamed)
{
    const BmpLayout large{640, 560, 24, 1};  // 1.07 MB of pixels
    addFrames(4, large);
    struct CutBeforeWrite final : SaveObserver {
        std::string frame;
        void frameStarting(int index) override
        {
            if (index == 2 && !frame.empty())
                fs::resize_file(std::exchange(frame, {}), 600'000);
        }
        void frameWritten(int) override {}
    } observer;
    observer.frame = frames[2];
    const std::string output = dir.file("changed.avi");
    SaveRequest request{output, frames, 10};
    const std::atomic<bool> cancel{false};
    const SaveOutcome outcome = SaveJob(systemAVIDecs(), messages, mux::sinkFor).run(request, observer, cancel);
    EXPECT_FALSE(outcome.finished);
    EXPECT_EQ(outcome.result, avifile::AVIERR_FILEREAD);
    EXPECT_EQ(outcome.framesWritten, 2);
    EXPECT_EQ(outcome.reason, "Il file frame2.bmp è cambiato mentre veniva copiato nel video (è più corto o è "
                              "stato riscritto): il suo fotogramma non è stato scritto.");
    const testsupport::AviInfo info = testsupport::inspectAvi(output);
    ASSERT_TRUE(info.error.empty()) << info.error;
    ASSERT_EQ(info.frames.size(), 2u);
    for (std::size_t i = 0; i < info.frames.size(); ++i) {
        BmpLayout expected = large;
        expected.seed = static_cast<std::uint32_t>(i + 1);
        EXPECT_TRUE(testsupport::readFrameBytes(output, info.frames[i]) == testsupport::bmpPixels(expected));
    }
}

// What admission accepts the writer holds: frames at the largest side an AVI header stores
// save whole (one pixel more is refused when added, bitmap/FramePlan).
TEST_F(SaveJobTest, FramesAtTheLargestSideTheHeadersHoldAreWritten)
{
    for (const BmpLayout layout : {BmpLayout{32767, 1, 24, 1}, BmpLayout{1, -32767, 8, 1}}) {
        SCOPED_TRACE(layout.width);
        frames.clear();
        addFrames(2, layout);
        const std::string output = dir.file("side.avi");
        const SaveOutcome outcome = run(output, systemAVIDecs());
        EXPECT_TRUE(outcome.finished) << outcome.reason;
        EXPECT_EQ(outcome.framesWritten, 2);
    }
}

}  // namespace
}  // namespace kelvora::video

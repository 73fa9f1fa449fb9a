// The window's save types for Matroska and MP4: the type chosen gives the file its extension
// and its container, the frames go through libavformat's writers, and the status line says
// what was made.
#include "app/fMain.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "video/SaveCommand.h"
#include "video/SaveJob.h"
#include "video/mAVIDecs.h"

#include <QLabel>
#include <gtest/gtest.h>

#include <atomic>

#include <filesystem>
#include <fstream>

namespace kelvora::video {
namespace {

using testsupport::BmpLayout;

std::string firstBytes(const std::string& path, std::size_t count)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    return bytes.substr(0, static_cast<std::size_t>(in.gcount()));
}

TEST(SharedSaveTest, TheMatroskaAndMp4TypesWriteTheirContainerUnderTheirExtension)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        platform::DWORD filterIndex;
        const char* chosen;  // as typed in the dialog
        const char* made;
        const char* status;
        const char* pixelFormat;
    };
    // Odd frames (41 x 31): Matroska keeps them as they are, MP4 pads them to even.
    for (const Case& c :
         {Case{4, "video.avi", "video.mkv", "Il video Matroska è stato creato con successo!\n(FFV1, ", "bgr24"},
          Case{5, "video", "video.mp4", "Il video MP4 è stato creato con successo!\n(H.264, ", "yuv420p"},
          Case{1, "video.mkv", "video.mkv", "Il video Matroska è stato creato con successo!\n(FFV1, ", "bgr24"}}) {
        SCOPED_TRACE(c.made);
        testsupport::TempDir dir;
        testsupport::ScriptedMessageBox messages;
        testsupport::ScriptedCommonDialogs dialogs;
        app::fMain window(app::Services{messages, dialogs, systemAVIDecs()});
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            const std::string path = dir.file("f" + std::to_string(seed) + ".bmp");
            testsupport::writeBmp(path, BmpLayout{41, 31, 24, seed});
            window.lstDIBList->AddItem(QString::fromStdString(path));
        }
        // An AVI saved before can be checked from the list's menu; once another save has made an
        // MP4 or Matroska video (which the window's check does not read) it no longer can.
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file("first.avi"), 1));
        window.cmdWriteAVI_Click();
        EXPECT_TRUE(window.Verifica->isEnabled());
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file(c.chosen), c.filterIndex));
        window.cmdWriteAVI_Click();
        EXPECT_TRUE(messages.shown.empty());
        const QString status = window.lblStatus->text();
        EXPECT_TRUE(status.startsWith(QString::fromUtf8(c.status))) << status.toStdString();
        EXPECT_FALSE(window.Verifica->isEnabled()) << "the window's check reads AVI videos only";
        const std::string output = dir.file(c.made);
        ASSERT_TRUE(std::filesystem::exists(output));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 6)
            << "the four frames and the two videos, nothing else";
        const testsupport::ProbeResult probe = testsupport::probeVideo(output);
        ASSERT_TRUE(probe.ok) << probe.output;
        EXPECT_EQ(probe.framesRead, 4);
        EXPECT_EQ(probe.frameRate, "25/1");
        if (std::string(c.made).ends_with(".mkv")) {
            EXPECT_EQ(firstBytes(output, 4), "\x1A\x45\xDF\xA3");  // EBML
            EXPECT_EQ(probe.width, 41);
            EXPECT_EQ(probe.height, 31);
            EXPECT_FALSE(status.contains(QStringLiteral("portati a")));
        } else {
            EXPECT_EQ(firstBytes(output, 8).substr(4), "ftyp");
            EXPECT_EQ(probe.width, 42);
            EXPECT_EQ(probe.height, 32);
            EXPECT_EQ(probe.pixelFormat, "yuv420p");
            EXPECT_TRUE(status.contains(QStringLiteral("41 x 31 portati a 42 x 32"))) << status.toStdString();
        }
    }
}

// H.264 holds frames back before it gives any out: a save stopped early still has every frame
// it took in its file, the encoder drained before the file is finished.
TEST(SharedSaveTest, AStoppedMp4SaveKeepsTheFramesTheEncoderHeldBack)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    // Stops the save once the loader reaches entry 3: the writer has taken frame 0 at least.
    struct StopEarly final : SaveObserver {
        std::atomic<bool> cancel{false};
        void frameLoading(int index) override
        {
            if (index == 3)
                cancel.store(true);
        }
        void frameStarting(int) override {}
        void frameWritten(int) override {}
    };
    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    SaveRequest request;
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        request.frames.push_back(dir.file("f" + std::to_string(seed) + ".bmp"));
        testsupport::writeBmp(request.frames.back(), BmpLayout{64, 48, 24, seed});
    }
    request.path = dir.file("out.mp4");
    request.codec = codec::Codec::H264;
    request.container = Container::Mp4;
    StopEarly observer;
    const SaveOutcome outcome = SaveJob(systemAVIDecs(), messages).run(request, observer, observer.cancel);
    EXPECT_EQ(outcome.result, 0) << outcome.reason;
    EXPECT_TRUE(outcome.cancelled);
    ASSERT_GE(outcome.framesWritten, 1);
    EXPECT_LT(outcome.framesWritten, 40);
    const testsupport::ProbeResult probe = testsupport::probeVideo(request.path);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, outcome.framesWritten);
}

}  // namespace
}  // namespace kelvora::video

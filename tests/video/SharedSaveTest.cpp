// The window's save types for Matroska and MP4: the type chosen gives the file its extension
// and its container, the frames go through libavformat's writers, and the status line says
// what was made.
#include "app/fMain.h"
#include "mux/SinkFactory.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "video/SaveCommand.h"
#include "video/SaveJob.h"
#include "video/mAVIDecs.h"

#include <QLabel>
#include <QTest>
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
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file("first.avi"), 1));
        window.cmdWriteAVI_Click();
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file(c.chosen), c.filterIndex));
        window.cmdWriteAVI_Click();
        EXPECT_TRUE(messages.shown.empty());
        const QString status = platform::fullStatusText(*window.lblStatus);
        EXPECT_TRUE(status.startsWith(QString::fromUtf8(c.status))) << status.toStdString();
        EXPECT_TRUE(window.Verifica->isEnabled());
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
            EXPECT_TRUE(status.contains(QStringLiteral("41 × 31 portati a 42 × 32"))) << status.toStdString();
        }
    }
}

// "Verifica il video salvato" after an MP4 or Matroska save measures the video as --verify
// does: the status line says the frames are like (MP4, with the worst frame's PSNR, number and
// file, and the mean) or equal (Matroska) to their files, under what the save made. A frame
// the video lacks, or a file no longer of the video's size, is named in a box; Escape stops
// the check part-way.
TEST(SharedSaveTest, TheSavedMp4OrMatroskaIsMeasuredFromTheListsMenu)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        platform::DWORD filterIndex;
        const char* made;
        const char* verified;
    };
    for (const Case& c : {Case{4, "video.mkv", "Verifica riuscita: 3 fotogrammi uguali ai loro file\nFFV1, "},
                          Case{5, "video.mp4", "Verifica riuscita: 3 fotogrammi simili ai loro file\nH.264, "}}) {
        SCOPED_TRACE(c.made);
        testsupport::TempDir dir;
        testsupport::ScriptedMessageBox messages;
        testsupport::ScriptedCommonDialogs dialogs;
        app::fMain window(app::Services{messages, dialogs, systemAVIDecs()});
        const auto frame = [&dir](int n) { return dir.file("f" + std::to_string(n) + ".bmp"); };
        for (std::uint32_t seed = 1; seed <= 3; ++seed) {
            testsupport::writeBmp(frame(static_cast<int>(seed)), BmpLayout{40, 30, 24, seed});
            window.lstDIBList->AddItem(QString::fromStdString(frame(static_cast<int>(seed))));
        }
        const std::string output = dir.file(c.made);
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(output, c.filterIndex));
        window.cmdWriteAVI_Click();
        ASSERT_TRUE(window.Verifica->isEnabled()) << window.lblStatus->text().toStdString();

        window.Verifica->trigger();
        EXPECT_TRUE(messages.shown.empty());
        const std::string status = platform::fullStatusText(*window.lblStatus).toStdString();
        EXPECT_TRUE(status.starts_with(c.verified)) << status;
        EXPECT_NE(status.find(" volte più "), std::string::npos) << status;  // what the save made
        if (std::string(c.made).ends_with(".mp4")) {
            // The worst frame's number and its own file, and the mean.
            const std::size_t at = status.find("; PSNR minimo ");
            ASSERT_NE(at, std::string::npos) << status;
            const std::size_t number = status.find("(fotogramma ", at) + 12;
            const std::string n(1, status[number]);
            EXPECT_EQ(status.substr(number, 9), n + ", f" + n + ".bmp") << status;
            EXPECT_NE(status.find("), medio ", at), std::string::npos) << status;
        } else {
            EXPECT_EQ(status.find("PSNR"), std::string::npos) << status;
        }

        testsupport::writeBmp(frame(2), BmpLayout{20, 30, 24, 2});
        window.Verifica->trigger();
        ASSERT_EQ(messages.shown.size(), 1u);
        // An MP4's frames are fitted into its size: a file of another size is fitted too, and
        // shows another picture; a Matroska master keeps them as they are.
        const std::string differs = std::string(c.made).ends_with(".mp4")
                                        ? ": mostra un'altra immagine (PSNR "
                                        : ": il file non ha più le misure o la profondità del video.";
        EXPECT_EQ(messages.shown[0].text.find("Il video " + output +
                                              " non contiene esattamente i fotogrammi della lista:\r\n"
                                              "fotogramma 2 di 3, " +
                                              frame(2) + differs),
                  0u)
            << messages.shown[0].text;
        EXPECT_EQ(messages.shown[0].style, platform::vbCritical);
        EXPECT_EQ(window.lblStatus->text(), "Verifica fallita: il fotogramma 2 è diverso");
        testsupport::writeBmp(frame(2), BmpLayout{40, 30, 24, 2});

        window.setAfterFrameChecked([&window](int index) {
            if (index == 0)
                QMetaObject::invokeMethod(
                    &window, [&window] { QTest::keyClick(window.lstDIBList, Qt::Key_Escape); },
                    Qt::BlockingQueuedConnection);
        });
        window.Verifica->trigger();
        EXPECT_EQ(window.lblStatus->text(), "Verifica annullata dopo 1 di 3 fotogrammi");
        EXPECT_EQ(messages.shown.size(), 1u);
        window.setAfterFrameChecked({});

        // The video cut to its first two frames (ffmpeg copies them as they are).
        const std::string cut = dir.file(std::string("cut.") + (c.filterIndex == 4 ? "mkv" : "mp4"));
        std::string ignored;
        ASSERT_EQ(
            testsupport::runCommand("ffmpeg -v error -i '" + output + "' -c copy -frames:v 2 '" + cut + "'", ignored),
            0);
        std::filesystem::rename(cut, output);
        window.Verifica->trigger();
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_EQ(messages.shown[1].text, "Il video " + output +
                                              " non contiene esattamente i fotogrammi della lista:\r\n"
                                              "fotogramma 3 di 3, " +
                                              frame(3) + ": manca nel video (fotogrammi nel video: 2, file: 3).");
        EXPECT_EQ(window.lblStatus->text(), "Verifica fallita: manca il fotogramma 3");
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
    const SaveOutcome outcome =
        SaveJob(systemAVIDecs(), messages, mux::sinkFor).run(request, observer, observer.cancel);
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

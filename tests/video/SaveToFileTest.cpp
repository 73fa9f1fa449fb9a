// The whole save through the window and our real AVI library, read back by ffprobe/ffmpeg
// and by our own structural reader.
#include "app/fMain.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/app/WindowInput.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/Watchdog.h"
#include "video/mAVIDecs.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

namespace kelvora::video {
namespace {

using testsupport::BmpLayout;

// The frame as ffmpeg hands out packed top-down pixels of bytesPerPixel (B, G, R[, X]).
std::vector<std::uint8_t> decodedPixels(const BmpLayout& layout, int bytesPerPixel)
{
    const std::vector<std::uint8_t> stored = testsupport::bmpPixels(layout);
    const int rows = std::abs(layout.height);
    const std::uint32_t stride = testsupport::bmpStride(layout);
    std::vector<std::uint8_t> out;
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* row = stored.data() + (layout.height > 0 ? rows - 1 - r : r) * stride;
        for (int x = 0; x < layout.width; ++x) {
            if (layout.bitCount == 8) {
                out.insert(out.end(), bytesPerPixel, row[x]);  // the grey palette: entry i is (i, i, i)
            } else {
                const std::uint8_t* pixel = row + x * (layout.bitCount / 8);
                out.insert(out.end(), pixel, pixel + 3);
                if (bytesPerPixel == 4)
                    out.push_back(layout.bitCount == 32 ? pixel[3] : 255);
            }
        }
    }
    return out;
}

// "f<i>.bmp", built by appending: GCC 12 warns falsely (-Wrestrict) about "f" + std::string at -O3.
std::string frameFile(std::uint32_t i)
{
    std::string name = "f";
    name += std::to_string(i);
    name += ".bmp";
    return name;
}

struct Variant {
    const char* name;
    BmpLayout layout;
    const char* pixelFormat;
    int bytesPerPixel;
};

class SaveToFileTest : public ::testing::TestWithParam<Variant> {};

TEST_P(SaveToFileTest, RealReadersSeeEveryFramePixelExact)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    const Variant& variant = GetParam();
    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    app::fMain window(app::Services{messages, dialogs, systemAVIDecs()});
    std::vector<BmpLayout> frames;
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        BmpLayout layout = variant.layout;
        layout.seed = seed;
        frames.push_back(layout);
        const std::string path = dir.file(frameFile(seed));
        testsupport::writeBmp(path, layout);
        window.lstDIBList->AddItem(QString::fromStdString(path));
    }
    window.HScroll->setValue(12);
    const std::string output = dir.file("video.avi");
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(output));
    window.cmdWriteAVI_Click();
    ASSERT_EQ(window.lblStatus->text(), "Il file AVI è stato creato con successo!");
    ASSERT_TRUE(messages.shown.empty());

    const testsupport::AviInfo info = testsupport::inspectAvi(output);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_EQ(info.frames.size(), 4u);
    EXPECT_EQ(info.strh.dwRate, 12u);
    EXPECT_EQ(info.strh.dwScale, 1u);
    EXPECT_EQ(info.strh.dwLength, 4u);
    EXPECT_EQ(info.avih.dwWidth, static_cast<std::uint32_t>(variant.layout.width));
    const std::vector<std::uint8_t> file = testsupport::makeBmp(frames[0]);
    const std::int32_t offBits = binary::readFileHeader(std::span(file).first<binary::kFileHeaderSize>()).bfOffBits;
    EXPECT_EQ(info.strf, std::vector<std::uint8_t>(file.begin() + 14, file.begin() + offBits));
    for (std::size_t i = 0; i < info.frames.size(); ++i)
        EXPECT_EQ(testsupport::readFrameBytes(output, info.frames[i]), testsupport::bmpPixels(frames[i]))
            << "frame " << i;

    const testsupport::ProbeResult probe = testsupport::probeVideo(output);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, 4);
    EXPECT_EQ(probe.width, variant.layout.width);
    EXPECT_EQ(probe.height, std::abs(variant.layout.height));
    EXPECT_EQ(probe.frameRate, "12/1");
    std::vector<std::uint8_t> expected;
    for (const BmpLayout& layout : frames) {
        const std::vector<std::uint8_t> pixels = decodedPixels(layout, variant.bytesPerPixel);
        expected.insert(expected.end(), pixels.begin(), pixels.end());
    }
    std::vector<std::uint8_t> decoded = testsupport::decodeFrames(output, variant.pixelFormat);
    if (variant.bytesPerPixel == 4 && variant.layout.bitCount == 32) {
        // Readers differ on what the fourth byte of a 32-bit DIB means; compare colours only.
        for (std::size_t i = 3; i < decoded.size() && i < expected.size(); i += 4)
            decoded[i] = expected[i];
    }
    EXPECT_EQ(decoded, expected);
}

INSTANTIATE_TEST_SUITE_P(Frames, SaveToFileTest,
                         ::testing::Values(Variant{"bottom_up_24", {6, 5, 24, 0}, "bgr24", 3},
                                           Variant{"top_down_24", {6, -5, 24, 0}, "bgr24", 3},
                                           Variant{"palette_8", {7, 3, 8, 0}, "bgr24", 3},
                                           Variant{"bgrx_32", {5, 4, 32, 0}, "bgra", 4},
                                           // Frames of a megabyte and more are copied from their
                                           // files to the video rather than through memory.
                                           Variant{"large_bottom_up_24", {721, 500, 24, 0}, "bgr24", 3},
                                           Variant{"large_top_down_32", {512, -520, 32, 0}, "bgra", 4},
                                           Variant{"large_palette_8", {1101, 1000, 8, 0}, "bgr24", 3}),
                         [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

// The save dialog's type decides the codec; the frames decode exactly as the files show them
// and the status says what was made.
TEST(CompressedSaveTest, TheTypeChosenInTheSaveDialogCompressesTheVideoWithoutLoss)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        platform::DWORD filterIndex;
        const char* handler;
        const char* status;
    };
    for (const Case& c : {Case{2, "FFV1", "Il file AVI è stato creato con successo!\n(FFV1, "},
                          Case{3, "MPNG", "Il file AVI è stato creato con successo!\n(PNG, "}}) {
        SCOPED_TRACE(c.handler);
        testsupport::TempDir dir;
        testsupport::ScriptedMessageBox messages;
        testsupport::ScriptedCommonDialogs dialogs;
        app::fMain window(app::Services{messages, dialogs, systemAVIDecs()});
        std::vector<std::uint8_t> expected;
        for (std::uint32_t seed = 1; seed <= 3; ++seed) {
            const BmpLayout layout{40, 30, 24, seed};
            const std::string path = dir.file(frameFile(seed));
            testsupport::writeBmp(path, layout);
            window.lstDIBList->AddItem(QString::fromStdString(path));
            const std::vector<std::uint8_t> pixels = decodedPixels(layout, 3);
            expected.insert(expected.end(), pixels.begin(), pixels.end());
        }
        const std::string output = dir.file("video.avi");
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(output, c.filterIndex));
        window.cmdWriteAVI_Click();
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_TRUE(window.lblStatus->text().startsWith(QString::fromUtf8(c.status)))
            << window.lblStatus->text().toStdString();
        EXPECT_TRUE(platform::textFits(*window.lblStatus, window.lblStatus->text()));  // nothing cut off
        const testsupport::AviInfo info = testsupport::inspectAvi(output);
        ASSERT_TRUE(info.error.empty()) << info.error;
        EXPECT_EQ(info.strh.fccHandler, platform::FourCC::fromValue(c.handler[0] | c.handler[1] << 8 |
                                                                    c.handler[2] << 16 | c.handler[3] << 24));
        EXPECT_EQ(info.frames.size(), 3u);
        EXPECT_TRUE(testsupport::decodeFrames(output, "bgr24") == expected);
    }
}

// After a save, the list's menu checks the video against the frames it was saved from, beside
// the window: a video that still holds them is said so in the status line; once a frame
// changed on disk, a box names it; Escape stops a check part-way and says how far it came.
TEST(CheckAfterSaveTest, TheSavedVideoIsCheckedAgainstItsFramesFromTheListsMenu)
{
    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    app::fMain window(app::Services{messages, dialogs, systemAVIDecs()});
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        const std::string path = dir.file(frameFile(seed));
        testsupport::writeBmp(path, {40, 30, 24, seed});
        window.lstDIBList->AddItem(QString::fromStdString(path));
    }
    const std::string output = dir.file("video.avi");
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(output, 2));  // FFV1
    window.cmdWriteAVI_Click();
    ASSERT_TRUE(window.Verifica->isEnabled()) << window.lblStatus->text().toStdString();

    window.Verifica->trigger();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(window.lblStatus->text(), "Verifica riuscita: 3 fotogrammi uguali ai loro file");

    testsupport::writeBmp(dir.file(frameFile(2)), {40, 30, 24, 7});
    window.Verifica->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Il video " + output +
                                          " non contiene esattamente i fotogrammi della lista:\r\n"
                                          "fotogramma 2 di 3, " +
                                          dir.file(frameFile(2)) + ": i pixel sono diversi; nessun altro diverso.");
    EXPECT_EQ(messages.shown[0].style, platform::vbCritical);
    EXPECT_EQ(window.lblStatus->text(), "Verifica fallita: il fotogramma 2 è diverso");

    window.setAfterFrameChecked([&window](int index) {
        if (index == 0)
            QMetaObject::invokeMethod(
                &window, [&window] { QTest::keyClick(window.lstDIBList, Qt::Key_Escape); },
                Qt::BlockingQueuedConnection);
    });
    window.Verifica->trigger();
    EXPECT_EQ(window.lblStatus->text(), "Verifica annullata dopo 1 di 3 fotogrammi");
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(window.cmdWriteAVI->text(), "Salva file AVI");  // the window's controls are back

    // Once the list changes it no longer holds what the video was made from.
    window.lstDIBList->setListIndex(0);
    window.SpostaGiu_Click();
    EXPECT_FALSE(window.Verifica->isEnabled());
}

// A window with n 24-bit frames in its list (large enough to be written one at a time) and the
// real library behind a recording hook, saving to dir/video.avi; `during` runs on the
// window's thread while frame `at` is being written.
class SaveWhileRunningTest : public ::testing::Test {
protected:
    static constexpr int kFrames = 12;

    SaveWhileRunningTest()
    {
        window.setEndApplication([this] {
            endedWith = testsupport::inspectAvi(output);
            ended = true;
        });
        for (int i = 0; i < kFrames; ++i) {
            layouts.push_back({128, 96, 24, static_cast<std::uint32_t>(i + 1)});
            const std::string path = dir.file(frameFile(static_cast<std::uint32_t>(i)));
            testsupport::writeBmp(path, layouts.back());
            window.lstDIBList->AddItem(QString::fromStdString(path));
        }
        window.cmdWriteAVI->setEnabled(true);
    }

    void saveDoing(int at, const std::function<void()>& during)
    {
        avi.beforeWrite = [&, at](LONG frame) {
            if (frame == at)
                QMetaObject::invokeMethod(&window, during, Qt::BlockingQueuedConnection);
        };
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(output));
        window.cmdWriteAVI->click();
        QCoreApplication::processEvents();  // anything held back would show up now
    }

    // The video holds exactly the first `count` frames, pixel for pixel, by both readers.
    void expectFirstFrames(int count)
    {
        const testsupport::AviInfo info = testsupport::inspectAvi(output);
        ASSERT_TRUE(info.error.empty()) << info.error;
        ASSERT_EQ(static_cast<int>(info.frames.size()), count);
        std::vector<std::uint8_t> expected;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(testsupport::readFrameBytes(output, info.frames[i]), testsupport::bmpPixels(layouts[i]));
            const std::vector<std::uint8_t> pixels = decodedPixels(layouts[i], 3);
            expected.insert(expected.end(), pixels.begin(), pixels.end());
        }
        if (!testsupport::ffmpegAvailable())
            return;
        const testsupport::ProbeResult probe = testsupport::probeVideo(output);
        ASSERT_TRUE(probe.ok) << probe.output;
        EXPECT_EQ(probe.framesRead, count);
        EXPECT_EQ(testsupport::decodeFrames(output, "bgr24"), expected);
    }

    testsupport::TempDir dir;
    std::string output = dir.file("video.avi");
    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi{systemAVIDecs()};
    app::fMain window{app::Services{messages, dialogs, avi}};
    std::vector<BmpLayout> layouts;
    bool ended = false;
    testsupport::AviInfo endedWith;
};

TEST_F(SaveWhileRunningTest, InputDuringTheSaveChangesNothingDuringOrAfterIt)
{
    std::vector<QString> before;
    for (int i = 0; i < kFrames; ++i)
        before.push_back(window.lstDIBList->List(i));
    bool held = false;
    saveDoing(4, [&] {
        held = window.savingOrChecking() && !window.Command1->isEnabled() && !window.cmdFileOpen->isEnabled() &&
               window.jobProgress && window.jobProgress->isVisibleTo(&window) && window.Command1->isHidden() &&
               window.cmdWriteAVI->text() == "Annulla (Esc)";
        testsupport::tryEveryListChange(window);
    });
    EXPECT_TRUE(held);
    ASSERT_EQ(window.lstDIBList->ListCount(), kFrames);
    for (int i = 0; i < kFrames; ++i)
        EXPECT_EQ(window.lstDIBList->List(i), before[i]);
    EXPECT_EQ(window.lblStatus->text(), "Il file AVI è stato creato con successo!");
    EXPECT_EQ(window.lstDIBList->ListIndex(), kFrames - 1);
    EXPECT_EQ(window.txtFPS->text(), "25");
    EXPECT_TRUE(window.Cartella->isChecked());
    EXPECT_EQ(dialogs.requests.size(), 1u);  // the save's own, no open dialog
    EXPECT_TRUE(!window.Command1->isHidden() && window.Command1->isEnabled() && window.jobProgress->isHidden());
    EXPECT_EQ(window.cmdWriteAVI->text(), "Salva file AVI");
    expectFirstFrames(kFrames);
}

TEST_F(SaveWhileRunningTest, EscapeOrTheCancelButtonStopsAfterTheFrameBeingWritten)
{
    for (const bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "Escape" : "Annulla (Esc)");
        saveDoing(5, [&] {
            if (byKey)
                QTest::keyClick(window.lstDIBList, Qt::Key_Escape);
            else
                QTest::mouseClick(window.cmdWriteAVI, Qt::LeftButton);
        });
        EXPECT_EQ(window.lblStatus->text(), "Annullato: 6 fotogrammi su 12 salvati");
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_FALSE(window.savingOrChecking());
        expectFirstFrames(6);
    }
    // The next save is a whole one again.
    saveDoing(-1, [] {});
    EXPECT_EQ(window.lblStatus->text(), "Il file AVI è stato creato con successo!");
    expectFirstFrames(kFrames);
}

TEST_F(SaveWhileRunningTest, EsciAndClosingFinishTheFileBeforeTheApplicationEnds)
{
    saveDoing(3, [&] { QTest::mouseClick(window.cmdExit, Qt::LeftButton); });
    ASSERT_TRUE(ended);
    EXPECT_TRUE(endedWith.error.empty()) << endedWith.error;
    EXPECT_EQ(endedWith.frames.size(), 4u);
    EXPECT_EQ(avi.exitCount, 0);  // "Esci" ends at once, with no unload

    testsupport::ScriptedMessageBox otherMessages;
    testsupport::RecordingAVIDecs otherAvi{systemAVIDecs()};
    app::fMain other(app::Services{otherMessages, dialogs, otherAvi});
    other.show();
    other.lstDIBList->AddItem(window.lstDIBList->List(0));
    other.lstDIBList->AddItem(window.lstDIBList->List(1));
    bool visibleAfterClose = true;
    int exitsWhileSaving = -1;
    otherAvi.beforeWrite = [&](LONG frame) {
        if (frame == 0)
            QMetaObject::invokeMethod(
                &other,
                [&] {
                    other.close();
                    visibleAfterClose = other.isVisible();
                    exitsWhileSaving = otherAvi.exitCount;
                },
                Qt::BlockingQueuedConnection);
    };
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(output));
    other.cmdWriteAVI_Click();
    EXPECT_TRUE(visibleAfterClose);  // still open while the file is being finished
    EXPECT_EQ(exitsWhileSaving, 0);
    EXPECT_FALSE(other.isVisible());
    EXPECT_EQ(otherAvi.exitCount, 1);
    EXPECT_EQ(testsupport::inspectAvi(output).frames.size(), 1u);
}

// A save that fails (a full disk, at the first frame or a later one) never costs the video it
// was to replace: that stays byte for byte with its rights, and nothing of the failed save is
// left beside it. With no file there before, the frames written before the failure stay as a
// finished, readable partial video; the message says which of the two is on disk.
TEST_F(SaveWhileRunningTest, AFailedSaveKeepsTheFileItWasToReplaceAndLeavesNothingElse)
{
    const std::string old = "an older video, worth keeping";
    const auto onlyOwner = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    const auto folder = [&] {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            found.push_back(entry.path().filename().string());
        std::ranges::sort(found);
        return found;
    };
    const std::vector<std::string> frameNames = folder();
    const auto contents = [&] {
        std::ifstream in(output, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    struct Case {
        bool oldFile;
        int failAt;        // the frame whose write fails; -1: none does
        const char* told;  // how the message ends; empty: no message
        int partial;       // frames of the video left at the name when there was no old file
    };
    const Case cases[] = {
        {true, 0, "\r\nIl file che c'era prima è rimasto com'era.", 0},
        {true, 5, "\r\nIl file che c'era prima è rimasto com'era.", 0},
        {false, 5, "\r\nIl file rimasto è parziale: contiene 5 fotogrammi su 12.", 5},
        {false, 0, "\r\nErrore di scrittura sul disco.", 0},
        {true, -1, "", kFrames},  // replaced by a whole video, which keeps the old one's rights
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.oldFile) + " " + std::to_string(c.failAt));
        std::filesystem::remove(output);
        if (c.oldFile) {
            testsupport::writeBytes(output, old);
            std::filesystem::permissions(output, onlyOwner);
        }
        const std::vector<std::string> names = avi.namesOnly();
        avi.failAt = c.failAt >= 0 ? "AVIStreamWrite" : "";
        avi.failOccurrence = static_cast<int>(std::ranges::count(names, "AVIStreamWrite")) + c.failAt;
        messages.shown.clear();
        saveDoing(-1, [] {});

        ASSERT_EQ(messages.shown.size(), *c.told ? 1u : 0u);
        if (*c.told) {
            EXPECT_TRUE(messages.shown[0].text.ends_with(c.told)) << messages.shown[0].text;
        }
        std::vector<std::string> expected = frameNames;
        if (c.oldFile || c.partial > 0)
            expected.push_back("video.avi");
        std::ranges::sort(expected);
        EXPECT_EQ(folder(), expected);
        if (c.oldFile && c.failAt >= 0)
            EXPECT_EQ(contents(), old);
        else if (c.partial > 0)
            expectFirstFrames(c.partial);
        if (c.oldFile) {
            EXPECT_EQ(std::filesystem::status(output).permissions(), onlyOwner);
        }
    }
}

// The application is told to quit (the session ends, say) just before the worker asks for a
// frame's message box: the window's thread must not wait for a worker that waits for it.
TEST_F(SaveWhileRunningTest, QuittingWhileTheWorkerWaitsForABoxEndsTheSaveWithoutADeadlock)
{
    std::filesystem::remove(dir.file(frameFile(5)));  // frame 5's load brings a box
    avi.beforeWrite = [this](LONG frame) {
        // The worker goes on only once the window's thread has been told to quit, as the end of a
        // session tells it: the window is closed and the application's loops are ended.
        if (frame == 4)
            QMetaObject::invokeMethod(
                qApp,
                [this] {
                    window.close();
                    QCoreApplication::exit(0);
                },
                Qt::BlockingQueuedConnection);
    };
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(output));
    {
        const testsupport::Watchdog watchdog("the save", std::chrono::seconds(60));
        window.cmdWriteAVI->click();
    }
    // The application's loop is let run once, which clears the request to quit.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();

    EXPECT_FALSE(window.savingOrChecking());
    // The quit and the worker's request for the box race: at most that one box was shown.
    EXPECT_LE(messages.shown.size(), 1u);
    const testsupport::AviInfo info = testsupport::inspectAvi(output);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_GE(info.frames.size(), 5u);  // stopped after the frame in hand: finished and readable
    EXPECT_LE(info.frames.size(), 6u);
    EXPECT_TRUE(window.lblStatus->text().startsWith("Annullato: ")) << window.lblStatus->text().toStdString();
}

// Escape says "Annullamento…" at the press, and a save whose frames come slowly (300 ms each
// here) ends after the frame in hand, well within a second, not after the frames still to come.
TEST_F(SaveWhileRunningTest, AStopIsSaidAtThePressAndAnsweredWithinASecondWhileFramesComeSlowly)
{
    QString saidAtPress;
    QElapsedTimer sincePress;
    avi.beforeWrite = [&](LONG frame) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (frame == 3)
            QMetaObject::invokeMethod(
                &window,
                [&] {
                    QTest::keyClick(window.lstDIBList, Qt::Key_Escape);
                    saidAtPress = window.lblStatus->text();
                    sincePress.start();
                },
                Qt::BlockingQueuedConnection);
    };
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(output));
    window.cmdWriteAVI->click();
    const qint64 answeredMs = sincePress.elapsed();
    EXPECT_EQ(saidAtPress, "Annullamento…");
    EXPECT_LT(answeredMs, 1000);
    EXPECT_EQ(window.lblStatus->text(), "Annullato: 4 fotogrammi su 12 salvati");
    expectFirstFrames(4);
}

// A frame whose file went missing before the save is in the video as the frame before it: the
// status and a box name it, never a bare success.
TEST_F(SaveWhileRunningTest, AFrameWhoseFileVanishedIsNamedInTheStatusAndABoxNotASuccess)
{
    std::filesystem::remove(dir.file(frameFile(5)));
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(output));
    window.cmdWriteAVI->click();
    const QString status = platform::fullStatusText(*window.lblStatus);
    EXPECT_EQ(status, "Il file AVI è stato creato, ma 1 fotogramma non si leggeva più e ripete il precedente: f5.bmp");
    ASSERT_EQ(messages.shown.size(), 2u);  // the bitmap object's, then the save's
    EXPECT_NE(messages.shown[1].text.find("ripete il fotogramma precedente"), std::string::npos);
    EXPECT_NE(messages.shown[1].text.find(dir.file(frameFile(5))), std::string::npos);
    const testsupport::AviInfo info = testsupport::inspectAvi(output);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_EQ(info.frames.size(), static_cast<std::size_t>(kFrames));
}

// The save takes the rate typed exactly (NTSC stays 30000/1001); the dialogs start where the
// last ones ended: the save's in its folder with its type, the open one in the folder of the
// file added last.
TEST_F(SaveWhileRunningTest, TheSaveTakesTheExactRateAndTheDialogsRememberWhereTheyWere)
{
    ASSERT_TRUE(window.setFrameRateText("ntsc"));
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(output, 2));
    window.cmdWriteAVI->click();
    const testsupport::AviInfo info = testsupport::inspectAvi(output);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_EQ(info.strh.dwRate, 30000u);
    EXPECT_EQ(info.strh.dwScale, 1001u);
    EXPECT_EQ(dialogs.last().record.nFilterIndex, 1u);  // the first save starts with the first type
    window.cmdWriteAVI->click();                        // cancelled
    EXPECT_EQ(dialogs.last().initialDir, dir.path().string());
    EXPECT_EQ(dialogs.last().record.nFilterIndex, 2u);

    window.Cartella->setChecked(false);
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file(frameFile(0))));
    window.cmdFileOpen_Click();
    EXPECT_EQ(window.lstDIBList->ListCount(), kFrames + 1);
    window.cmdFileOpen_Click();  // cancelled: nothing comes in
    EXPECT_EQ(dialogs.last().initialDir, dir.path().string() + "/");
    EXPECT_EQ(window.lstDIBList->ListCount(), kFrames + 1);
}

}  // namespace
}  // namespace kelvora::video

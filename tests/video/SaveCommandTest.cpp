#include "app/fMain.h"
#include "platform/toolkit/ListBox.h"
#include "platform/types/FourCC.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/msgbox/ModalMessageBox.h"
#include "video/FrameRate.h"
#include "video/SaveCommand.h"
#include "video/SaveProgress.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <memory>

namespace kelvora::video {
namespace {

using testsupport::BmpLayout;
using testsupport::DialogAnswer;
using Calls = std::vector<std::string>;

std::string asText(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

class SaveCommandTest : public ::testing::Test {
protected:
    SaveCommandTest() : window(std::make_unique<app::fMain>(app::Services{messages, dialogs, avi})) {}

    // Puts frame files in the list as the add would have, one per layout.
    void addFrames(const std::vector<BmpLayout>& layouts)
    {
        for (const BmpLayout& layout : layouts) {
            const std::string path = dir.file("frame" + std::to_string(++m_files) + ".bmp");
            testsupport::writeBmp(path, layout);
            window->lstDIBList->AddItem(QString::fromStdString(path));
        }
        window->cmdWriteAVI->setEnabled(true);
    }

    std::string entry(int i) const { return window->lstDIBList->List(i).toStdString(); }

    // Saves with the user confirming the output path; returns the library calls of the save.
    Calls save()
    {
        dialogs.answers.push_back(DialogAnswer::choose(output));
        avi.calls.clear();
        window->cmdWriteAVI->setEnabled(true);
        window->cmdWriteAVI->click();
        return avi.calls;
    }

    static Calls releases(bool stream, bool compressed)
    {
        Calls calls;
        if (stream)
            calls.push_back("AVIStreamRelease(stream)");
        if (compressed)
            calls.push_back("AVIStreamRelease(compressed)");
        calls.push_back("AVIFileRelease(file)");
        return calls;
    }

    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    testsupport::TempDir dir;
    std::string output = dir.file("out.avi");
    std::unique_ptr<app::fMain> window;

private:
    int m_files = 0;
};

TEST_F(SaveCommandTest, WritesEveryEntryAsOneKeyFrameInListOrder)
{
    const std::vector<BmpLayout> layouts = {{8, 6, 24, 1}, {8, 6, 24, 2}, {8, 6, 24, 3}};
    addFrames(layouts);
    window->HScroll->setValue(12);
    std::vector<int> shown;  // the entries the window selected while the save ran
    QObject::connect(window->lstDIBList, &platform::ListBox::Click,
                     [&] { shown.push_back(window->lstDIBList->ListIndex()); });
    Calls calls = save();

    // No file had the chosen name: the video is written there from the start, so a save cut
    // short by a kill leaves its frames where the user looks.
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0], "AVIFileOpen(" + output + ",4097,null)");
    EXPECT_TRUE(std::filesystem::exists(output));
    const std::string size = std::to_string(testsupport::bmpPixels(layouts[0]).size());
    Calls expected = {"AVIFileOpen(" + output + ",4097,null)",
                      "mmioStringToFOURCCA(vids,0)",
                      "SetRect(0,0,8,6)",
                      "AVIFileCreateStreamA(file)",
                      "AVIMakeCompressedStream(stream,zero,null)",
                      "AVIStreamSetFormat(compressed,0,40)"};
    for (int i = 0; i < 3; ++i)
        expected.push_back("AVIStreamWrite(compressed," + std::to_string(i) + ",1," + size + ",16,null,null)");
    for (const std::string& release : releases(true, true))
        expected.push_back(release);
    EXPECT_EQ(calls, expected);

    // Shown at display rate: some entries may be skipped, but always forward and ending on the last.
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()) &&
                std::adjacent_find(shown.begin(), shown.end()) == shown.end());
    EXPECT_EQ(shown.back(), 2);
    EXPECT_EQ(window->lblStatus->text(), "Il file AVI è stato creato con successo!");
    EXPECT_TRUE(messages.shown.empty());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(avi.writtenData.at(i), asText(testsupport::bmpPixels(layouts[i])));
    EXPECT_EQ(avi.format, asText(testsupport::makeBmp(layouts[0])).substr(14, 40));

    const AVISTREAMINFOA& info = avi.streamInfo;
    EXPECT_EQ(platform::FourCC::fromValue(info.fccType), platform::FourCC("vids"));
    EXPECT_EQ(info.fccHandler, 0u);
    EXPECT_EQ(info.dwScale, 1u);
    EXPECT_EQ(info.dwRate, 12u);
    EXPECT_EQ(info.dwSuggestedBufferSize, testsupport::bmpPixels(layouts[0]).size());
    EXPECT_EQ(info.rcFrame.right, 8);
    EXPECT_EQ(info.rcFrame.bottom, 6);
    EXPECT_EQ(info.dwFlags | info.dwCaps | info.wPriority | info.wLanguage | info.dwStart | info.dwLength |
                  info.dwInitialFrames | info.dwQuality | info.dwSampleSize | info.dwEditCount |
                  info.dwFormatChangeCount,
              0u);
    EXPECT_EQ(info.szName[0], '\0');

    ASSERT_EQ(dialogs.requests.size(), 1u);
    const testsupport::DialogRequest& request = dialogs.requests[0];
    EXPECT_EQ(request.kind, platform::FileDialogKind::Save);
    EXPECT_EQ(request.dialogTitle, "Salva il filmato AVI...");
    const char kTypes[] = "AVI Files\0*.avi\0AVI compresso senza perdita (FFV1)\0*.avi\0"
                          "AVI compresso senza perdita (PNG)\0*.avi\0"
                          "Matroska senza perdita per l'archivio (FFV1)\0*.mkv\0"
                          "Video MP4 da condividere (H.264)\0*.mp4\0";
    EXPECT_EQ(request.filterList, std::string(kTypes, sizeof kTypes));
    EXPECT_EQ(request.file(), "il_mio_filmato.avi");
    EXPECT_EQ(request.defaultExt, "avi");
    EXPECT_EQ(request.record.hwndOwner, window->hWnd());
    EXPECT_EQ(window->lstDIBList->ListIndex(), 2);
}

TEST_F(SaveCommandTest, OneFrameShowsFrameZeroSavedThenSuccess)
{
    addFrames({{4, 4, 24, 1}});
    save();
    EXPECT_EQ(window->lblStatus->text(), "Il file AVI è stato creato con successo!");
    EXPECT_EQ(window->lstDIBList->ListIndex(), 0);
    EXPECT_EQ(avi.writtenData.size(), 1u);
}

TEST_F(SaveCommandTest, CancellingTheDialogDoesNothing)
{
    addFrames({{4, 4, 24, 1}});
    window->lblStatus->setText("prima");
    window->cmdWriteAVI->click();  // no answer queued: the user cancels
    EXPECT_EQ(avi.namesOnly(), (std::vector<std::string>{"AVIFileInit"}));
    EXPECT_EQ(window->lblStatus->text(), "prima");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(SaveCommandTest, EachFailingCallEndsTheSaveWithTheMessageAfterEveryRelease)
{
    struct Case {
        const char* failing;
        int occurrence;
        Calls tail;  // the calls from the failing one on
    };
    const Case cases[] = {
        {"AVIFileOpen", 0, {"AVIFileOpen"}},
        {"AVIFileCreateStreamA", 0, {"AVIFileCreateStreamA", "AVIFileRelease"}},
        {"AVIMakeCompressedStream", 0, {"AVIMakeCompressedStream", "AVIStreamRelease", "AVIFileRelease"}},
        {"AVIStreamSetFormat", 0, {"AVIStreamSetFormat", "AVIStreamRelease", "AVIStreamRelease", "AVIFileRelease"}},
        {"AVIStreamWrite", 1, {"AVIStreamWrite", "AVIStreamRelease", "AVIStreamRelease", "AVIFileRelease"}},
    };
    addFrames({{4, 4, 24, 1}, {4, 4, 24, 2}, {4, 4, 24, 3}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        testsupport::RecordingAVIDecs library;
        library.failAt = c.failing;
        library.failOccurrence = c.occurrence;
        testsupport::ScriptedMessageBox shown;
        bool releasedBeforeMessage = false;
        shown.onShow = [&](const testsupport::ShownMessage&) {
            releasedBeforeMessage =
                c.failing == std::string("AVIFileOpen") || library.calls.back() == "AVIFileRelease(file)";
        };
        app::fMain other(app::Services{shown, dialogs, library});
        other.lstDIBList->AddItem(QString::fromStdString(entry(0)));
        other.lstDIBList->AddItem(QString::fromStdString(entry(1)));
        dialogs.answers.push_back(DialogAnswer::choose(output));
        other.cmdWriteAVI_Click();
        const std::vector<std::string> names = library.namesOnly();
        const auto from = std::find(names.begin(), names.end(), c.failing) + c.occurrence;
        EXPECT_EQ(std::vector<std::string>(from, names.end()), c.tail);
        ASSERT_EQ(shown.shown.size(), 1u);
        EXPECT_TRUE(shown.shown[0].text.starts_with("C'è stato un errore durante la scrittura del file!\r\n"))
            << shown.shown[0].text;
        EXPECT_EQ(shown.shown[0].style, 64);
        EXPECT_EQ(shown.shown[0].title, "KELVORA MAKER");
        EXPECT_TRUE(releasedBeforeMessage);
        EXPECT_NE(other.lblStatus->text(), "Il file AVI è stato creato con successo!");
    }
}

TEST_F(SaveCommandTest, AWriteFailingAfterSomeFramesSaysHowManyTheFileKeeps)
{
    struct Case {
        int failAt;
        const char* partial;  // empty: nothing is left, so nothing is said
    };
    const Case cases[] = {
        {1, "\r\nIl file rimasto è parziale: contiene 1 fotogramma su 3."},
        {2, "\r\nIl file rimasto è parziale: contiene 2 fotogrammi su 3."},
        {0, ""},
    };
    addFrames({{4, 4, 24, 1}, {4, 4, 24, 2}, {4, 4, 24, 3}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failAt);
        std::filesystem::remove(output);  // the previous case's partial video would be kept instead
        testsupport::RecordingAVIDecs library;
        library.failAt = "AVIStreamWrite";
        library.failOccurrence = c.failAt;
        testsupport::ScriptedMessageBox shown;
        app::fMain other(app::Services{shown, dialogs, library});
        for (int i = 0; i < 3; ++i)
            other.lstDIBList->AddItem(QString::fromStdString(entry(i)));
        dialogs.answers.push_back(DialogAnswer::choose(output));
        other.cmdWriteAVI_Click();
        EXPECT_EQ(static_cast<int>(library.writtenData.size()), c.failAt);
        ASSERT_EQ(shown.shown.size(), 1u);
        EXPECT_TRUE(shown.shown[0].text.ends_with("Errore di scrittura sul disco." + std::string(c.partial)))
            << shown.shown[0].text;
        EXPECT_EQ(other.lstDIBList->ListIndex(), c.failAt);
        // The entry in hand is selected, and the status names the last frame written.
        if (c.failAt > 0) {
            EXPECT_EQ(other.lblStatus->text(), QString("Fotogramma numero %1 salvato").arg(c.failAt - 1));
        }
    }
}

TEST_F(SaveCommandTest, AFirstFrameThatCannotBeLoadedEndsWithTheBitmapMessageOnly)
{
    window->lstDIBList->AddItem(QString::fromStdString(dir.file("missing.bmp")));
    addFrames({{4, 4, 24, 1}});
    const Calls calls = save();
    EXPECT_TRUE(calls.empty()) << "nothing is opened for a save that cannot write a frame";
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Il file non esiste:\r\n" + dir.file("missing.bmp"));
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: missing.bmp");
}

TEST_F(SaveCommandTest, ALaterFrameThatVanishedRepeatsThePreviousOne)
{
    const std::vector<BmpLayout> layouts = {{4, 4, 24, 1}, {4, 4, 24, 2}, {4, 4, 24, 3}};
    addFrames(layouts);
    std::filesystem::remove(entry(1));
    // The bitmap object's box comes from the window's thread, with the frame it speaks of in hand.
    bool onWindowThread = false;
    int selectedWhileShown = -1;
    messages.onShow = [&](const testsupport::ShownMessage&) {
        if (messages.shown.size() > 1)
            return;
        onWindowThread = QThread::currentThread() == window->thread();
        selectedWhileShown = window->lstDIBList->ListIndex();
    };
    save();
    EXPECT_TRUE(onWindowThread);
    EXPECT_EQ(selectedWhileShown, 1);
    ASSERT_EQ(avi.writtenData.size(), 3u);
    EXPECT_EQ(avi.writtenData[1], avi.writtenData[0]);
    EXPECT_EQ(avi.writtenData[2], asText(testsupport::bmpPixels(layouts[2])));
    // Then the save names it: the video is made, but not of every file the list holds.
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "Il file non esiste:\r\n" + entry(1));
    EXPECT_NE(messages.shown[1].text.find(entry(1)), std::string::npos);
    EXPECT_TRUE(window->lblStatus->text().startsWith("Il file AVI è stato creato, ma 1 fotogramma non si leggeva più"))
        << window->lblStatus->text().toStdString();
}

TEST_F(SaveCommandTest, AFrameWhoseFormatChangedOnDiskStopsTheSaveBeforeItIsWritten)
{
    // Replaced after it was added by a file of another width, then of another depth: its
    // bytes would contradict the stream's format, so the video ends with the frames before it.
    for (const BmpLayout& changed : {BmpLayout{16, 4, 24, 2}, BmpLayout{8, 4, 32, 2}}) {
        SCOPED_TRACE(changed.width);
        std::filesystem::remove(output);
        messages.shown.clear();
        window->lstDIBList->Clear();
        addFrames({{8, 4, 24, 1}, {8, 4, 24, 2}, {8, 4, 24, 3}});
        testsupport::writeBmp(entry(1), changed);
        avi.writtenData.clear();
        const Calls calls = save();
        EXPECT_EQ(avi.writtenData.size(), 1u);
        EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                                [](const std::string& c) { return c.starts_with("AVIStreamWrite"); }),
                  1);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "C'è stato un errore durante la scrittura del file!\r\nIl file " +
                                              std::filesystem::path(entry(1)).filename().string() +
                                              " è cambiato dopo essere stato aggiunto: non ha più il formato del "
                                              "primo fotogramma.\r\nIl file rimasto è parziale: contiene 1 "
                                              "fotogramma su 3.");
        EXPECT_EQ(window->lstDIBList->ListIndex(), 1);
    }
}

TEST_F(SaveCommandTest, TheByteCountIsTheHeadersImageSize)
{
    // A header that states more image bytes than width, height and depth need.
    std::vector<std::uint8_t> bytes = testsupport::makeBmp({4, 4, 24, 1});
    bytes[34] = 100;  // biSizeImage 100 instead of 48
    testsupport::writeBytes(dir.file("big.bmp"), std::string(bytes.begin(), bytes.end()));
    window->lstDIBList->AddItem(QString::fromStdString(dir.file("big.bmp")));
    save();
    EXPECT_EQ(avi.streamInfo.dwSuggestedBufferSize, 100u);
    EXPECT_EQ(avi.calls.at(6), "AVIStreamWrite(compressed,0,1,100,16,null,null)");
}

TEST_F(SaveCommandTest, TwoSavesInOneRunBothWorkAndTheLibraryStaysInitialised)
{
    addFrames({{4, 4, 24, 1}});
    save();
    save();
    EXPECT_EQ(avi.writtenData.size(), 2u);
    EXPECT_EQ(avi.initCount, 1);
    EXPECT_EQ(avi.exitCount, 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SaveCommandTest, AFailedSaveAfterASuccessfulOneLeavesNoSuccessText)
{
    addFrames({{4, 4, 24, 1}, {4, 4, 24, 2}});
    save();
    ASSERT_EQ(window->lblStatus->text(), "Il file AVI è stato creato con successo!");
    avi.failAt = "AVIFileOpen";
    std::string statusWhileTold;
    messages.onShow = [&](const testsupport::ShownMessage&) {
        statusWhileTold = window->lblStatus->text().toStdString();
    };
    save();
    ASSERT_EQ(messages.shown.size(), 1u);
    // The first frame was loaded before the output was opened: the status names it.
    EXPECT_EQ(statusWhileTold, "Fotogramma selezionato: frame1.bmp");
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: frame1.bmp");
}

// Written beside the target and renamed, a video would replace what opening the target itself
// refuses: those targets are refused before anything is written, and stay as they were.
TEST_F(SaveCommandTest, ATargetThatCouldNotBeOpenedForWritingIsRefusedAndLeftAlone)
{
    addFrames({{4, 4, 24, 1}});
    const std::filesystem::path out = dir.path() / "targets";
    std::filesystem::create_directory(out);
    ASSERT_EQ(::mkfifo((out / "pipe.avi").c_str(), 0600), 0);
    std::filesystem::create_directory(out / "folder.avi");
    testsupport::writeBytes(out / "readonly.avi", "an older video");
    std::filesystem::permissions(out / "readonly.avi", std::filesystem::perms::owner_read);
    const std::pair<const char*, const char*> cases[] = {
        {"pipe.avi", "Il nome scelto non è un file normale (è una cartella, una FIFO o un dispositivo)."},
        {"folder.avi", "Il nome scelto non è un file normale (è una cartella, una FIFO o un dispositivo)."},
        {"readonly.avi", "Il file scelto è di sola lettura: non si può sostituire."},
        {"no/such/folder.avi", "La cartella di destinazione non esiste."},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        messages.shown.clear();
        output = (out / name).string();
        EXPECT_TRUE(save().empty());
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text,
                  std::string("C'è stato un errore durante la scrittura del file!\r\n") + reason);
    }
    EXPECT_TRUE(std::filesystem::is_fifo(out / "pipe.avi"));
    EXPECT_TRUE(std::filesystem::is_directory(out / "folder.avi"));
    std::ifstream kept(out / "readonly.avi");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "an older video");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 3);  // nothing beside them
}

TEST_F(SaveCommandTest, SavingOverOneOfTheFramesIsRefusedAndTheFrameKept)
{
    addFrames({{4, 4, 24, 1}, {4, 4, 24, 2}});
    const std::vector<std::uint8_t> before = testsupport::makeBmp({4, 4, 24, 2});
    output = entry(1);  // the user confirmed the overwrite prompt on a frame of the list
    window->lblStatus->setText("prima");
    (void)save();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Il file scelto è uno dei fotogrammi della lista: il filmato non è stato salvato, per non distruggerlo."
              "\r\nIl file che c'era prima è rimasto com'era.");
    std::ifstream frame(entry(1), std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(frame), {}), before);
    EXPECT_EQ(window->lblStatus->text(), "prima");  // a refused save changes nothing, the status included
}

TEST_F(SaveCommandTest, AnEmptyListOpensNothingAndTellsTheUser)
{
    addFrames({});
    const Calls calls = save();
    EXPECT_TRUE(calls.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "La lista dei fotogrammi è vuota.");
}

// The counts the window shows, with the singular where the number is 1.
TEST_F(SaveCommandTest, CountsOfOneAreSingular)
{
    addFrames({{4, 4, 24, 1}});
    save();
    EXPECT_EQ(window->jobProgress->format(), "1 di 1 fotogramma");
    EXPECT_EQ(cancelledStatus(1, 12), "Annullato: 1 fotogramma su 12 salvato");
    EXPECT_EQ(cancelledStatus(6, 12), "Annullato: 6 fotogrammi su 12 salvati");
    addFrames({{4, 4, 24, 2}});
    save();
    EXPECT_EQ(window->jobProgress->format(), "2 di 2 fotogrammi");
}

// What the window shows at a display tick comes after the selection's own text: the worker
// has usually begun the next frame, and the number of the last one written is the news.
TEST(SaveProgressTest, TheStatusNamesTheLastFrameWrittenAfterTheSelection)
{
    struct Window final : SaveWindow {
        int entryCount() const override { return 3; }
        QString entryText(int) const override { return {}; }
        QString fpsText() const override { return "25"; }
        std::int32_t ownerHandle() override { return 0; }
        void beginSave(int) override {}
        void selectEntry(int index) override { shown.push_back("select " + std::to_string(index)); }
        void showStatus(const QString& text) override { shown.push_back(text.toStdString()); }
        QString statusText() const override { return {}; }
        void showProgress(int written, int frames, int) override
        {
            shown.push_back(std::to_string(written) + "/" + std::to_string(frames));
        }
        void endSave() override {}
        std::vector<std::string> shown;
    } window;
    SaveProgress progress(window, 3);
    progress.frameStarting(0);
    progress.show();
    progress.frameWritten(0);
    progress.frameStarting(1);
    progress.show();
    progress.show();  // nothing new
    progress.frameWritten(1);
    progress.show();
    EXPECT_EQ(window.shown, (std::vector<std::string>{"select 0", "0/3", "select 1", "Fotogramma numero 0 salvato",
                                                      "1/3", "Fotogramma numero 1 salvato", "2/3"}));
}

TEST_F(SaveCommandTest, AFileThatCouldNotBeFinishedIsNeverReportedAsMade)
{
    addFrames({{4, 4, 24, 1}});
    avi.finishResult = avifile::AVIERR_FILEWRITE;
    save();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.starts_with("C'è stato un errore durante la scrittura del file!\r\n"));
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma numero 0 salvato");
}

// A stop signal while a box of the save is open (a frame's, from the worker, or the failure's
// at the end) with nobody to answer it: the box is closed, the save ends and so does the
// application, as "Esci" ends it.
TEST_F(SaveCommandTest, AStopSignalWhileTheSavesBoxIsOpenClosesItAndEnds)
{
    addFrames({{4, 4, 24, 1}, {4, 4, 24, 2}, {4, 4, 24, 3}});
    for (const bool failure : {false, true}) {
        SCOPED_TRACE(failure ? "the failure's box" : "a frame's box");
        testsupport::ModalMessageBox boxes;
        testsupport::RecordingAVIDecs library;
        if (failure)
            library.failAt = "AVIStreamWrite";
        app::fMain other(app::Services{boxes, dialogs, library});
        bool ended = false;
        other.setEndApplication([&] { ended = true; });
        for (int i = 0; i < 3; ++i)
            other.lstDIBList->AddItem(QString::fromStdString(failure || i != 1 ? entry(i) : dir.file("gone.bmp")));
        boxes.onOpen = [&] { other.cmdExit_Click(); };  // what main() makes of SIGTERM
        dialogs.answers.push_back(DialogAnswer::choose(output));
        other.cmdWriteAVI_Click();
        EXPECT_EQ(boxes.outlived, 0);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].starts_with("Il file non esiste:"), !failure);
        EXPECT_FALSE(other.savingOrChecking());
        EXPECT_TRUE(ended);
    }
}

TEST(FrameRateTest, TakesTheLeadingNumberRoundedAndBounded)
{
    const std::pair<const char*, DWORD> cases[] = {
        {"12", 12},    {"25", 25}, {"0", 1},   {"-3", 1},
        {"abc", 1},    {"", 1},    {"45", 30}, {" 7", 7},
        {"12abc", 12}, {"2.5", 2}, {"3.5", 4}, {"29.6", 30},
        {"1e3", 30},   {"inf", 1}, {"nan", 1}, {"99999999999999999999999", 30},
        {"+5", 5},     {".6", 1},
    };
    for (const auto& [text, rate] : cases)
        EXPECT_EQ(frameRateFromText(QString::fromLatin1(text)), rate) << '"' << text << '"';
}

}  // namespace
}  // namespace kelvora::video

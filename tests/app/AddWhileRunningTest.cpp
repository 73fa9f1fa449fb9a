// "Aggiungi BMP" on a whole folder runs beside the window: the user's input while file k is
// examined (a hook on the adding's worker acts then, on the window's thread) is refused and
// never replayed; Escape, "Annulla (Esc)", "Esci" and closing stop the add after the file in
// hand; a folder of unreadable files can be silenced from its first box.
#include "app/fMain.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/Watchdog.h"
#include "tests/support/app/WindowInput.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/msgbox/ModalMessageBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <new>

namespace kelvora::app {
namespace {

// A user at the message boxes who ticks "Non mostrare altri messaggi per questa aggiunta" on
// the first box that offers it; `onShow` runs while a box is open.
class TickingMessageBox final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string& text, int, const std::string&) override { record(text); }
    bool MsgBoxWithCheck(const std::string& text, int, const std::string&, const std::string& checkText) override
    {
        record(text);
        return checkText == "Non mostrare altri messaggi per questa aggiunta";
    }
    std::vector<std::string> shown;
    std::function<void()> onShow;

private:
    void record(const std::string& text)
    {
        shown.push_back(text);
        if (onShow)
            onShow();
    }
};

class AddWhileRunningTest : public ::testing::Test {
protected:
    static constexpr int kFrames = 40;

    AddWhileRunningTest()
    {
        for (int i = 0; i < kFrames; ++i) {
            const std::string path = dir.file("frame_" + std::to_string(i) + ".bmp");
            testsupport::writeBmp(path, {8, 6, 24, static_cast<std::uint32_t>(i)});
            frames << QString::fromStdString(path);
        }
    }

    // "Aggiungi BMP" on the whole folder; `during` runs on the window's thread while file `at`
    // is being examined.
    void addFolderDoing(fMain& target, int at, const std::function<void()>& during)
    {
        target.setBeforeExamining([&target, at, during](int index) {
            if (index == at)
                QMetaObject::invokeMethod(&target, during, Qt::BlockingQueuedConnection);
        });
        target.Cartella->setChecked(true);
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(frames[0].toStdString()));
        target.cmdFileOpen_Click();
        QCoreApplication::processEvents();  // anything held back would show up now
    }

    [[nodiscard]] QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < window.lstDIBList->ListCount(); ++i)
            texts << window.lstDIBList->List(i);
        return texts;
    }

    testsupport::TempDir dir;
    QStringList frames;
    TickingMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    fMain window{Services{messages, dialogs, avi}};
};

TEST_F(AddWhileRunningTest, EscapeOrTheCancelButtonStopsAfterTheFileInHandAndNoInputIsReplayed)
{
    for (const bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "Escape" : "Annulla (Esc)");
        window.lstDIBList->Clear();
        dialogs.requests.clear();
        bool held = false;
        addFolderDoing(window, 10, [&] {
            held = window.addingFrames() && !window.Command1->isEnabled() && !window.cmdFileOpen->isEnabled() &&
                   window.jobProgress && window.jobProgress->isVisibleTo(&window) &&
                   window.cmdWriteAVI->text() == "Annulla (Esc)";
            testsupport::tryEveryListChange(window);
            if (byKey)
                QTest::keyClick(window.lstDIBList, Qt::Key_Escape);
            else
                QTest::mouseClick(window.cmdWriteAVI, Qt::LeftButton);
        });
        EXPECT_TRUE(held);
        EXPECT_EQ(entries(), frames.mid(0, 11));  // files 0 to 10, in order: nothing deleted or moved
        EXPECT_EQ(window.lblStatus->text(), "Aggiunta interrotta: 11 fotogrammi aggiunti");
        EXPECT_FALSE(window.addingFrames());
        EXPECT_EQ(window.txtFPS->text(), "25");
        EXPECT_TRUE(window.Cartella->isChecked());
        EXPECT_EQ(dialogs.requests.size(), 1u);  // the add's own: no second open dialog, no save
        EXPECT_EQ(window.lstDIBList->ListIndex(), -1);
        EXPECT_TRUE(!window.Command1->isHidden() && window.Command1->isEnabled() && window.jobProgress->isHidden());
        EXPECT_EQ(window.cmdWriteAVI->text(), "Salva file AVI");
        EXPECT_TRUE(window.cmdWriteAVI->isEnabled());
        EXPECT_TRUE(window.FormatSet());
        EXPECT_TRUE(messages.shown.empty());
    }
    addFolderDoing(window, -1, [] {});  // the next add is a whole one again
    EXPECT_EQ(window.lstDIBList->ListCount(), 11 + kFrames);
}

TEST_F(AddWhileRunningTest, EsciAndClosingStopTheAddThenEndAtOnce)
{
    bool ended = false;
    int entriesAtEnd = -1;
    window.setEndApplication([&] {
        ended = true;
        entriesAtEnd = window.lstDIBList->ListCount();
    });
    bool endedDuringAdd = true;
    addFolderDoing(window, 5, [&] {
        QTest::mouseClick(window.cmdExit, Qt::LeftButton);
        endedDuringAdd = ended;
    });
    EXPECT_FALSE(endedDuringAdd);
    EXPECT_TRUE(ended);
    EXPECT_EQ(entriesAtEnd, 6);
    EXPECT_EQ(avi.exitCount, 0);  // "Esci" ends at once, with no unload

    testsupport::RecordingAVIDecs otherAvi;
    fMain other(Services{messages, dialogs, otherAvi});
    other.show();
    bool visibleAfterClose = false;
    addFolderDoing(other, 3, [&] {
        other.close();
        visibleAfterClose = other.isVisible();
    });
    EXPECT_TRUE(visibleAfterClose);  // the add stops first
    EXPECT_FALSE(other.isVisible());
    EXPECT_EQ(other.lstDIBList->ListCount(), 4);
    EXPECT_EQ(otherAvi.exitCount, 1);
}

// However the application is told to end while the add waits for a refused file's box (still
// on its way to the window, or open with nobody to answer it), the add ends after the file in
// hand: the window's thread never waits for a worker that waits for it, and an open box is
// closed. The list keeps the frames admitted, in order, with their format.
TEST_F(AddWhileRunningTest, EndingTheApplicationWhileARefusedFilesBoxIsPendingEndsTheAddPromptly)
{
    testsupport::writeBytes(frames[3].toStdString(), "no bitmap");
    enum class Way { ApplicationQuits, StopSignal, WindowCloses };
    for (const bool boxOpen : {false, true}) {
        for (const Way way : {Way::ApplicationQuits, Way::StopSignal, Way::WindowCloses}) {
            SCOPED_TRACE(std::string(boxOpen ? "box open, " : "box on its way, ") +
                         (way == Way::ApplicationQuits ? "quit"
                          : way == Way::StopSignal     ? "signal"
                                                       : "close"));
            testsupport::ModalMessageBox boxes;
            testsupport::RecordingAVIDecs otherAvi;
            fMain target(Services{boxes, dialogs, otherAvi});
            bool ended = false;
            target.setEndApplication([&] { ended = true; });
            target.show();
            const std::function<void()> end = [&] {
                if (way == Way::ApplicationQuits)
                    QCoreApplication::exit(0);  // the session ends, say
                else if (way == Way::StopSignal)
                    target.cmdExit_Click();  // what main() makes of SIGINT, SIGTERM and SIGHUP
                else
                    target.close();
            };
            if (boxOpen)
                boxes.onOpen = end;
            else
                target.setBeforeExamining([&](int index) {
                    if (index == 3)  // before the worker asks for the file's box
                        QMetaObject::invokeMethod(&target, end, Qt::BlockingQueuedConnection);
                });
            target.Cartella->setChecked(true);
            dialogs.answers.push_back(testsupport::DialogAnswer::choose(frames[0].toStdString()));
            {
                const testsupport::Watchdog watchdog("the add", std::chrono::seconds(60));
                target.cmdFileOpen_Click();
            }
            if (way == Way::ApplicationQuits) {  // let the application's loop run once, clearing the quit
                QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
                QCoreApplication::exec();
            }
            EXPECT_FALSE(target.addingFrames());
            EXPECT_EQ(boxes.outlived, 0);
            EXPECT_LE(boxes.shown.size(), 1u);
            if (boxOpen || way == Way::ApplicationQuits)
                EXPECT_TRUE(boxes.shown.empty() || boxes.shown[0].find(frames[3].toStdString()) != std::string::npos);
            else
                EXPECT_TRUE(boxes.shown.empty());  // a box asked for after the end is never shown
            QStringList listed;
            for (int i = 0; i < target.lstDIBList->ListCount(); ++i)
                listed << target.lstDIBList->List(i);
            // Esci, closing and the signals stop the worker at once; a quit of the application
            // reaches it as the window's loop ends, by when it may have taken a few more files.
            QStringList readable = frames;
            readable.removeAt(3);
            ASSERT_GE(listed.size(), 3);
            EXPECT_EQ(listed, readable.mid(0, way == Way::ApplicationQuits ? listed.size() : 3));
            EXPECT_TRUE(target.FormatSet());
            EXPECT_EQ(ended, way == Way::StopSignal);
            EXPECT_EQ(target.isVisible(), way == Way::ApplicationQuits);
        }
    }
}

// Memory running out part-way (here while file 5 is taken up) stops the add: the frames that
// came in stay, and the window holds the format they set, so later frames must match them.
TEST_F(AddWhileRunningTest, RunningOutOfMemoryKeepsTheFramesThatCameInAndTheirFormat)
{
    window.setBeforeExamining([](int index) {
        if (index == 5)
            throw std::bad_alloc();
    });
    window.Cartella->setChecked(true);
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(frames[0].toStdString()));
    window.cmdFileOpen_Click();
    EXPECT_EQ(entries(), frames.mid(0, 5));
    EXPECT_TRUE(window.FormatSet());
    EXPECT_EQ(window.FormatWidth(), 8);
    EXPECT_EQ(window.FormatHeight(), 6);
    EXPECT_EQ(window.FormatBitCount(), 24);
    EXPECT_EQ(window.lblStatus->text(), "Aggiunta interrotta: 5 fotogrammi aggiunti");
    EXPECT_TRUE(window.cmdWriteAVI->isEnabled());
    EXPECT_FALSE(window.addingFrames());
}

TEST_F(AddWhileRunningTest, AFolderOfUnreadableFilesIsSilencedFromItsFirstBoxAndCounted)
{
    for (int i = 2; i < kFrames; ++i)
        testsupport::writeBytes(frames[i].toStdString(), "no bitmap");
    int entriesAtFirstBox = -1;
    bool addingAtFirstBox = false;
    messages.onShow = [&] {
        entriesAtFirstBox = window.lstDIBList->ListCount();
        addingAtFirstBox = window.addingFrames();
    };
    addFolderDoing(window, -1, [] {});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Il file non è un formato bitmap supportato:\r\n" + frames[2].toStdString());
    EXPECT_TRUE(addingAtFirstBox);
    EXPECT_EQ(entriesAtFirstBox, 2);  // the list shows what came in before the file named
    EXPECT_EQ(entries(), frames.mid(0, 2));
    EXPECT_EQ(window.lblStatus->text(), "38 file non leggibili");
}

}  // namespace
}  // namespace kelvora::app

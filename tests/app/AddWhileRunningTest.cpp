// "Aggiungi BMP" on a whole folder runs beside the window: the user's input while file k is
// examined (a hook on the adding's worker acts then, on the window's thread) is refused and
// never replayed; Escape, "Annulla (Esc)", "Esci" and closing stop the add after the file in
// hand; a folder of unreadable files can be silenced from its first box.
#include "app/fMain.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/app/WindowInput.h"
#include "tests/support/bmp/BmpFiles.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

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
                   window.saveProgress && window.saveProgress->isVisibleTo(&window) &&
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
        EXPECT_TRUE(!window.Command1->isHidden() && window.Command1->isEnabled() && window.saveProgress->isHidden());
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

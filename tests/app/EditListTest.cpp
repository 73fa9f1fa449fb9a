#include "app/fMain.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace kelvora::app {
namespace {

class EditListTest : public ::testing::Test {
protected:
    EditListTest() : window(std::make_unique<fMain>(Services{messages, dialogs, avi}))
    {
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        list = window->lstDIBList;
    }

    void fill(const QStringList& texts)
    {
        for (const QString& text : texts)
            list->AddItem(text);
    }

    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < list->ListCount(); ++i)
            texts << list->List(i);
        return texts;
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        list->setFocus();
        QTest::keyClick(list, key, modifiers);
    }

    // A right click on row (or the empty area), answered by choosing action in the popup;
    // returns whether a popup appeared.
    bool rightClickChoosing(QAction* action, QPoint at = {5, 5})
    {
        bool appeared = false;
        QTimer::singleShot(0, [&] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                appeared = true;
                if (action)
                    popup->setActiveAction(action);
                QTest::keyClick(popup, action ? Qt::Key_Return : Qt::Key_Escape);
            }
        });
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, at);
        QApplication::processEvents();
        return appeared;
    }

    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    std::unique_ptr<fMain> window;
    platform::ListBox* list = nullptr;
};

TEST_F(EditListTest, MovesExchangeNeighboursAndTheSelectionFollows)
{
    struct Case {
        Qt::Key key;
        int selected;
        QStringList after;
        int selectedAfter;
    };
    const Case cases[] = {
        {Qt::Key_F12, 1, {"/f/B", "/f/A", "/f/C"}, 0},   {Qt::Key_F11, 1, {"/f/A", "/f/C", "/f/B"}, 2},
        {Qt::Key_F12, 0, {"/f/A", "/f/B", "/f/C"}, 0},   {Qt::Key_F11, 2, {"/f/A", "/f/B", "/f/C"}, 2},
        {Qt::Key_F12, -1, {"/f/A", "/f/B", "/f/C"}, -1}, {Qt::Key_F11, -1, {"/f/A", "/f/B", "/f/C"}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "key " << c.key << " on " << c.selected);
        list->Clear();
        fill({"/f/A", "/f/B", "/f/C"});
        list->setListIndex(c.selected);
        press(c.key);
        EXPECT_EQ(entries(), c.after);
        EXPECT_EQ(list->ListIndex(), c.selectedAfter);
    }
    // The moved frame is shown.
    list->setListIndex(1);
    press(Qt::Key_F12);
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: B");
}

TEST_F(EditListTest, KeysActWithAnyModifier)
{
    fill({"A", "B", "C"});
    list->setListIndex(1);
    press(Qt::Key_F12, Qt::ShiftModifier);
    EXPECT_EQ(entries(), (QStringList{"B", "A", "C"}));
    press(Qt::Key_F11, Qt::ControlModifier);
    EXPECT_EQ(entries(), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(list->ListIndex(), 1);
    press(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(entries(), (QStringList{"A", "C"}));
}

TEST_F(EditListTest, DeleteRemovesTheSelectedFrameAndNothingWhenNoneIsSelected)
{
    testsupport::TempDir dir;
    testsupport::writeBmp(dir.file("b.bmp"), {8, 8, 24, 1});
    const QString b = QString::fromStdString(dir.file("b.bmp"));
    fill({"A", b, "C"});
    list->setListIndex(1);
    window->cmdWriteAVI->setEnabled(true);
    ASSERT_TRUE(window->imgPreview->hasPicture());
    press(Qt::Key_Delete);
    EXPECT_EQ(entries(), (QStringList{"A", "C"}));
    EXPECT_EQ(list->ListIndex(), -1);
    // Nothing shows the deleted frame any more.
    EXPECT_TRUE(window->lblStatus->text().isEmpty());
    EXPECT_FALSE(window->imgPreview->hasPicture());
    press(Qt::Key_Delete);  // a second press at once: nothing is selected, nothing goes
    EXPECT_EQ(entries(), (QStringList{"A", "C"}));
    list->setListIndex(0);
    press(Qt::Key_Delete);
    list->setListIndex(0);
    press(Qt::Key_Delete);
    EXPECT_EQ(list->ListCount(), 0);
    EXPECT_TRUE(window->cmdWriteAVI->isEnabled());
}

TEST_F(EditListTest, CommandsOnAnEmptyListDoNothing)
{
    for (Qt::Key key : {Qt::Key_F12, Qt::Key_F11, Qt::Key_Delete})
        press(key);
    window->SpostaSu_Click();
    window->SpostaGiu_Click();
    window->Cancella_Click();
    EXPECT_EQ(list->ListCount(), 0);
    EXPECT_FALSE(rightClickChoosing(nullptr));
}

// The menu acts on the row the user points at: a right click on a row outside the selection
// selects it first.
TEST_F(EditListTest, RightClickSelectsTheRowUnderThePointerThenOpensTheMenu)
{
    fill({"A", "B", "C"});
    list->setListIndex(2);
    const QPoint onFirstRow = list->rowRect(0).center();
    EXPECT_TRUE(rightClickChoosing(nullptr, onFirstRow));
    EXPECT_EQ(list->ListIndex(), 0);
    EXPECT_TRUE(rightClickChoosing(window->SpostaGiu, onFirstRow));  // A, the row pointed at, goes down
    EXPECT_EQ(entries(), (QStringList{"B", "A", "C"}));
    EXPECT_EQ(list->ListIndex(), 1);
    EXPECT_TRUE(rightClickChoosing(window->Cancella, list->rowRect(2).center()));
    EXPECT_EQ(entries(), (QStringList{"B", "A"}));
    EXPECT_TRUE(rightClickChoosing(nullptr, QPoint(5, list->viewport()->height() - 3)));  // below the rows
    EXPECT_EQ(list->ListIndex(), -1);  // nothing was selected, and nothing is
}

TEST_F(EditListTest, LeftButtonOpensNoMenu)
{
    fill({"A"});
    bool appeared = false;
    QTimer::singleShot(0, [&] { appeared = QApplication::activePopupWidget() != nullptr; });
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->rowRect(0).center());
    QApplication::processEvents();
    EXPECT_FALSE(appeared);
}

TEST_F(EditListTest, ClearEmptiesListPreviewAndStatusAndFreesTheFormatButKeepsTheSaveButton)
{
    testsupport::TempDir dir;
    testsupport::writeBmp(dir.file("a.bmp"), {320, 240, 24, 1});
    testsupport::writeBmp(dir.file("small.bmp"), {160, 120, 24, 2});
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file("a.bmp")));
    window->Cartella->setChecked(false);
    window->cmdFileOpen_Click();
    list->setListIndex(0);
    ASSERT_FALSE(window->lblStatus->text().isEmpty());
    QTest::mouseClick(window->Command1, Qt::LeftButton);
    EXPECT_EQ(list->ListCount(), 0);
    EXPECT_FALSE(window->imgPreview->hasPicture());
    EXPECT_TRUE(window->lblStatus->text().isEmpty()) << "it named a frame no longer listed";
    EXPECT_TRUE(window->cmdWriteAVI->isEnabled());
    EXPECT_FALSE(window->FormatSet());  // a new video may have frames of another size
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file("small.bmp")));
    window->cmdFileOpen_Click();
    EXPECT_EQ(list->ListCount(), 1);
    EXPECT_EQ(window->FormatWidth(), 160);
}

TEST_F(EditListTest, ListsBeyondSixteenBitIndexesWork)
{
    QStringList many;
    for (int i = 0; i < 100000; ++i)
        many << QStringLiteral("/frames/%1.bmp").arg(i);
    fill(many);
    ASSERT_EQ(list->ListCount(), 100000);
    list->setListIndex(70000);
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: 70000.bmp");
    window->SpostaGiu_Click();
    EXPECT_EQ(list->ListIndex(), 70001);
    EXPECT_EQ(list->List(70001), "/frames/70000.bmp");
    window->Cancella_Click();
    EXPECT_EQ(list->ListCount(), 99999);
    EXPECT_EQ(list->List(70001), "/frames/70002.bmp");
}

}  // namespace
}  // namespace kelvora::app

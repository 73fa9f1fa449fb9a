// Editing the list as people do today: many rows selected at once (Shift and Ctrl, the keys,
// the mouse), deleted, moved and dragged together; every change undone and redone to the
// exact order and paths; a list left empty frees its frame format for another video; a line
// under the list says how many frames and how long, at a rate typed as the batch mode takes it.
#include "app/VideoLine.h"
#include "app/fMain.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace kelvora::app {
namespace {

class ListEditingTest : public ::testing::Test {
protected:
    ListEditingTest() : window(std::make_unique<fMain>(Services{messages, dialogs, avi}))
    {
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        list = window->lstDIBList;
    }

    // Frames f0.bmp ... of one size, added by "Aggiungi BMP" with "Tutta la cartella".
    QStringList addFolder(int count, testsupport::BmpLayout layout = {8, 6, 24, 1}, const std::string& prefix = "f")
    {
        QStringList paths;
        const std::filesystem::path folder = dir / prefix;  // a folder of its own: "Tutta la cartella" takes it all
        std::filesystem::create_directories(folder);
        for (int i = 0; i < count; ++i) {
            const std::string path = (folder / (prefix + std::to_string(i) + ".bmp")).string();
            layout.seed = static_cast<std::uint32_t>(i + 1);
            testsupport::writeBmp(path, layout);
            paths << QString::fromStdString(path);
        }
        window->Cartella->setChecked(true);
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(paths[0].toStdString()));
        window->cmdFileOpen_Click();
        return paths;
    }

    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < list->ListCount(); ++i)
            texts << list->List(i);
        return texts;
    }

    void click(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->rowRect(row).center());
    }

    void press(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        target->setFocus();
        QTest::keyClick(target, key, modifiers);
    }

    static QStringList without(QStringList texts, std::initializer_list<int> rows)
    {
        for (auto it = std::rbegin(rows); it != std::rend(rows); ++it)
            texts.removeAt(*it);
        return texts;
    }

    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    std::unique_ptr<fMain> window;
    platform::ListBox* list = nullptr;
};

TEST_F(ListEditingTest, ManyRowsDeletedTogetherComeBackInTheirPlacesWithUndoAndGoAgainWithRedo)
{
    const QStringList all = addFolder(10);
    ASSERT_EQ(entries(), all);
    click(1);
    click(3, Qt::ControlModifier);
    click(6, Qt::ControlModifier);
    click(8, Qt::ShiftModifier);                   // 6 to 8
    press(list, Qt::Key_Down, Qt::ShiftModifier);  // and 9
    press(list, Qt::Key_Delete);
    const QStringList afterDelete = without(all, {1, 3, 6, 7, 8, 9});
    EXPECT_EQ(entries(), afterDelete);
    EXPECT_EQ(list->ListIndex(), -1);
    EXPECT_TRUE(window->Annulla->isEnabled());
    EXPECT_FALSE(window->Ripeti->isEnabled());

    press(list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(entries(), all);  // every path back, in its own place
    EXPECT_EQ(list->selectedRanges(), (std::vector<platform::RowRange>{{1, 1}, {3, 1}, {6, 4}}));
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: f1.bmp");
    EXPECT_TRUE(window->imgPreview->hasPicture());
    press(list, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(entries(), afterDelete);
    press(window->cmdFileOpen, Qt::Key_Z, Qt::ControlModifier);  // from anywhere in the window
    EXPECT_EQ(entries(), all);
    press(list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(entries(), afterDelete);

    // Undo goes back through every change, the add included, and redo forward again.
    window->Annulla_Click();
    window->Annulla_Click();
    EXPECT_EQ(list->ListCount(), 0);
    EXPECT_FALSE(window->Annulla->isEnabled());
    EXPECT_FALSE(window->FormatSet());
    window->Ripeti_Click();
    EXPECT_EQ(entries(), all);
    EXPECT_TRUE(window->FormatSet());
    window->Ripeti_Click();
    EXPECT_EQ(entries(), afterDelete);
    EXPECT_FALSE(window->Ripeti->isEnabled());
}

TEST_F(ListEditingTest, MovesAndDragsTakeTheSelectedRowsTogether)
{
    const QStringList all = addFolder(8);
    click(1);
    click(2, Qt::ShiftModifier);
    click(5, Qt::ControlModifier);
    press(list, Qt::Key_F12);  // each selected run one place up
    const QStringList up{all[1], all[2], all[0], all[3], all[5], all[4], all[6], all[7]};
    EXPECT_EQ(entries(), up);
    EXPECT_EQ(list->selectedRanges(), (std::vector<platform::RowRange>{{0, 2}, {4, 1}}));
    press(list, Qt::Key_F12);  // the first frame cannot go up: nothing moves
    EXPECT_EQ(entries(), up);
    press(list, Qt::Key_F11, Qt::ShiftModifier);
    EXPECT_EQ(entries(), all);
    window->Annulla_Click();
    EXPECT_EQ(entries(), up);
    window->Annulla_Click();
    EXPECT_EQ(entries(), all);

    // A drag of rows 1, 2 and 5 to just before row 7: the three in their order, there.
    list->selectRanges(std::vector<platform::RowRange>{{1, 2}, {5, 1}}, 1);
    const QPoint from = list->rowRect(1).center();
    const QPoint to = list->rowRect(7).topLeft() + QPoint(5, 1);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(list->viewport(), from + QPoint(0, 6));
    QTest::mouseMove(list->viewport(), to);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, to);
    const QStringList dragged{all[0], all[3], all[4], all[6], all[1], all[2], all[5], all[7]};
    EXPECT_EQ(entries(), dragged);
    EXPECT_EQ(list->selectedRanges(), (std::vector<platform::RowRange>{{4, 3}}));
    EXPECT_EQ(list->ListIndex(), 4);
    window->Annulla_Click();
    EXPECT_EQ(entries(), all);
    window->Ripeti_Click();
    EXPECT_EQ(entries(), dragged);

    // A press on a selected row released where it was selects that row alone.
    list->selectRanges(std::vector<platform::RowRange>{{0, 3}}, 0);
    click(2);
    EXPECT_EQ(list->selectedRanges(), (std::vector<platform::RowRange>{{2, 1}}));
    // Dragging across unselected rows selects them, and the status names the current one.
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, list->rowRect(4).center());
    QTest::mouseMove(list->viewport(), list->rowRect(6).center());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, list->rowRect(6).center());
    EXPECT_EQ(entries(), dragged);
    EXPECT_EQ(list->selectedRanges(), (std::vector<platform::RowRange>{{4, 3}}));
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: " + dragged[list->ListIndex()].section('/', -1));
    EXPECT_TRUE(window->imgPreview->hasPicture());
}

TEST_F(ListEditingTest, RightClickSelectsTheRowUnderThePointerUnlessItIsInTheSelection)
{
    const QStringList all = addFolder(5);
    list->selectRanges(std::vector<platform::RowRange>{{1, 2}}, 1);
    const auto rightClick = [&](int row) {
        QTimer::singleShot(0, [] {
            if (QWidget* popup = QApplication::activePopupWidget())
                QTest::keyClick(popup, Qt::Key_Escape);
        });
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, list->rowRect(row).center());
        QApplication::processEvents();
    };
    rightClick(2);
    EXPECT_EQ(list->selectedRanges(), (std::vector<platform::RowRange>{{1, 2}}));
    rightClick(4);
    EXPECT_EQ(list->selectedRanges(), (std::vector<platform::RowRange>{{4, 1}}));
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: f4.bmp");
}

TEST_F(ListEditingTest, AnEmptiedListTakesFramesOfAnotherSizeAndUndoBringsTheOldFormatBack)
{
    const QStringList big = addFolder(3, {32, 24, 24, 1}, "big");
    EXPECT_EQ(window->FormatWidth(), 32);
    QTest::mouseClick(window->Command1, Qt::LeftButton);
    EXPECT_FALSE(window->FormatSet());
    const QStringList small = addFolder(2, {16, 12, 8, 1}, "small");
    EXPECT_EQ(entries(), small);  // not "2 esclusi: diversi da 32×24, 24 bit"
    EXPECT_EQ(window->FormatWidth(), 16);
    EXPECT_EQ(window->FormatBitCount(), 8);

    // Deleting the last frames frees it too.
    list->selectRanges(std::vector<platform::RowRange>{{0, 2}}, 0);
    window->Cancella_Click();
    EXPECT_FALSE(window->FormatSet());
    // Undo takes the format back with the frames, so the list never mixes two formats.
    window->Annulla_Click();
    EXPECT_EQ(window->FormatWidth(), 16);
    window->Annulla_Click();
    window->Annulla_Click();
    EXPECT_EQ(entries(), big);
    EXPECT_EQ(window->FormatWidth(), 32);
    EXPECT_EQ(window->FormatBitCount(), 24);
    window->Cartella->setChecked(false);
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(small[0].toStdString()));
    window->cmdFileOpen_Click();
    EXPECT_EQ(entries(), big);
    EXPECT_EQ(window->lblStatus->text(), "1 escluso: diverso da 32×24, 24 bit");
}

TEST_F(ListEditingTest, TheLineUnderTheListSaysTheFramesAndTheirDurationAtTheRate)
{
    EXPECT_EQ(window->lblVideo->text(), "Nessun fotogramma");
    addFolder(40);
    EXPECT_EQ(window->lblVideo->text(), "40 fotogrammi · 1,6 s a 25 al secondo");
    window->HScroll->setValue(12);
    EXPECT_EQ(window->lblVideo->text(), "40 fotogrammi · 3,3 s a 12 al secondo");
    list->setListIndex(0);
    window->Cancella_Click();
    EXPECT_EQ(window->lblVideo->text(), "39 fotogrammi · 3,3 s a 12 al secondo");
    window->Annulla_Click();
    EXPECT_EQ(window->lblVideo->text(), "40 fotogrammi · 3,3 s a 12 al secondo");
    EXPECT_TRUE(window->lblVideo->geometry().bottom() < window->imgPreview->geometry().top());
    EXPECT_TRUE(window->lblVideo->geometry().top() > list->geometry().bottom());

    // A typed rate, as the batch mode's --fps takes it: the bar shows the nearest whole one.
    QTest::mouseDClick(window.get(), Qt::LeftButton, {}, window->txtFPS->geometry().center());
    ASSERT_TRUE(window->txtFPS->isEnabled());
    window->txtFPS->selectAll();
    QTest::keyClicks(window->txtFPS, "ntsc");
    QTest::keyClick(window->txtFPS, Qt::Key_Return);
    EXPECT_FALSE(window->txtFPS->isEnabled());
    EXPECT_EQ(window->frameRate(), (video::StreamRate{30000, 1001}));
    EXPECT_EQ(window->HScroll->value(), 30);
    EXPECT_EQ(window->txtFPS->text(), "29,97");
    EXPECT_EQ(window->lblVideo->text(), "40 fotogrammi · 1,3 s a 30000/1001 al secondo");
    // Text that is no rate is refused and the box keeps asking; Escape keeps the rate as it was.
    window->AltraFrequenza_Click();
    window->txtFPS->selectAll();
    QTest::keyClicks(window->txtFPS, "abc");
    QTest::keyClick(window->txtFPS, Qt::Key_Return);
    EXPECT_TRUE(window->txtFPS->isEnabled());
    EXPECT_TRUE(window->lblStatus->text().startsWith("Frequenza non valida"));
    QTest::keyClick(window->txtFPS, Qt::Key_Escape);
    EXPECT_FALSE(window->txtFPS->isEnabled());
    EXPECT_EQ(window->frameRate(), (video::StreamRate{30000, 1001}));
    ASSERT_TRUE(window->setFrameRateText("2,5"));
    EXPECT_EQ(window->HScroll->value(), 2);  // 2.5 rounds to even, as the box always did
    EXPECT_EQ(window->lblVideo->text(), "40 fotogrammi · 16,0 s a 2,5 al secondo");
    window->HScroll->setValue(7);
    EXPECT_EQ(window->frameRate(), (video::StreamRate{7, 1}));
}

TEST_F(ListEditingTest, TheStatusLineFitsItsPlaceAndKeepsTheWholeTextForItsTooltipAndScreenReaders)
{
    QLabel& status = *window->lblStatus;
    const qreal ownSize = status.font().pointSizeF();
    const QString path = "/home/utente/Immagini/vacanze al mare 2026/giorno tre/sera/" + QString(60, 'x') + ".bmp";
    const QString longText =
        "Il file AVI è stato creato con successo!\n(FFV1, 12,3 MB, 322 x 242 portati a 322 x 242) " + path +
        " e ancora un po' di testo per riempire la riga";
    platform::setStatusText(status, longText);
    const QString full = QString(longText).replace("322 x 242", "322 × 242");
    EXPECT_EQ(status.toolTip(), full);
    EXPECT_EQ(platform::fullStatusText(status), full);
    EXPECT_TRUE(platform::textFits(status, status.text())) << status.text().toStdString();
    EXPECT_EQ(status.font().pointSizeF(), ownSize);  // not a shrunken font
    EXPECT_TRUE(status.text().contains(QStringLiteral("…")));
    EXPECT_TRUE(status.text().contains(QStringLiteral("322\u00a0×\u00a0242")));  // never broken inside
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&status);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->text(QAccessible::Value), full);
    // A short text shows as it is.
    platform::setStatusText(status, "Fotogramma selezionato: a.bmp");
    EXPECT_EQ(status.text(), "Fotogramma selezionato: a.bmp");
}

// PNG files offered to a list of BMP frames differ by their type, whatever their size: the
// status says so rather than name a size they may well have.
TEST_F(ListEditingTest, FramesOfAnotherTypeAreSaidToBeOfAnotherType)
{
    addFolder(2);
    for (int i = 0; i < 3; ++i) {
        QImage picture(8, 6, QImage::Format_RGB888);
        picture.fill(Qt::darkCyan);
        ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("p" + std::to_string(i) + ".png"))));
    }
    window->Cartella->setChecked(true);
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file("p0.png")));
    window->cmdFileOpen_Click();
    EXPECT_EQ(list->ListCount(), 2);
    EXPECT_EQ(window->lblStatus->text(), "3 esclusi: file PNG in una lista di BMP");
}

// A million entries: deleting most of them, moving a block and clearing the list keep their
// undo in ranges and the texts out of the list once, never a copy of the list.
TEST_F(ListEditingTest, UndoOfAMillionEntryListHoldsRangesAndTheTextsOutOfTheListOnly)
{
    constexpr int kEntries = 1'000'000;
    platform::CompactTexts batch;
    for (int i = 0; i < kEntries; ++i)
        batch.append(QStringLiteral("/home/utente/filmato/frame_%1.bmp").arg(i, 7, 10, QChar(u'0')));
    list->AddItems(batch);
    const std::size_t listBytes = list->texts().bytesHeld();
    list->selectRanges(std::vector<platform::RowRange>{{0, kEntries - 1}}, 0);
    window->SpostaGiu_Click();  // all but the last, one place down
    EXPECT_EQ(list->List(0), batch.at(kEntries - 1));
    EXPECT_LT(window->history().bytesHeld(), 1024u);
    list->selectRanges(std::vector<platform::RowRange>{{1, 1}, {3, kEntries - 4}}, 1);
    window->Cancella_Click();
    EXPECT_EQ(list->ListCount(), 3);
    EXPECT_LT(window->history().bytesHeld(), listBytes * 11 / 10);  // the deleted texts, once
    QTest::mouseClick(window->Command1, Qt::LeftButton);
    EXPECT_LT(window->history().bytesHeld(), listBytes * 11 / 10 + 4096);  // the three cleared: a few bytes more
    window->Annulla_Click();
    window->Annulla_Click();
    window->Annulla_Click();
    ASSERT_EQ(list->ListCount(), kEntries);
    for (const int i : {0, 1, 500'000, kEntries - 1})
        EXPECT_EQ(list->List(i), batch.at(i));
    EXPECT_LT(window->history().bytesHeld(), 1024u);  // everything back in the list
}

// The line's numbers at the edges: singular, seconds turning to minutes and hours, grouped
// digits, rates that are fractions; the box's short form and the bar's nearest whole rate.
TEST(VideoLineTest, SaysFramesAndDurationAtEveryScale)
{
    EXPECT_EQ(videoLine(1, {25, 1}), "1 fotogramma · 0,0 s a 25 al secondo");
    EXPECT_EQ(videoLine(1499, {25, 1}), "1.499 fotogrammi · 1 min 0 s a 25 al secondo");
    EXPECT_EQ(videoLine(1'000'000, {25, 1}), "1.000.000 fotogrammi · 11 h 7 min a 25 al secondo");
    EXPECT_EQ(videoLine(3, {1, 3600}), "3 fotogrammi · 3 h 0 min a 1/3600 al secondo");
    EXPECT_EQ(videoLine(100, {2997, 100}), "100 fotogrammi · 3,3 s a 29,97 al secondo");
    EXPECT_EQ(durationText(59.94), "59,9 s");
    EXPECT_EQ(durationText(59.96), "1 min 0 s");
    EXPECT_EQ(durationText(3599.4), "59 min 59 s");
    EXPECT_EQ(shortRateText({30000, 1001}), "29,97");
    EXPECT_EQ(shortRateText({12, 1}), "12");
    EXPECT_EQ(shortRateText({1, 3600}), "1/3600");
    EXPECT_EQ(nearestScrollRate({30000, 1001}), 30);
    EXPECT_EQ(nearestScrollRate({1000, 1}), 30);
    EXPECT_EQ(nearestScrollRate({1, 2}), 1);
}

}  // namespace
}  // namespace kelvora::app

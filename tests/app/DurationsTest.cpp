// "Durata…" in the list's menu: the duration typed (a comma or a point) goes to the selected
// frames and is shown beside them; it moves with its frame, goes with a delete and comes back
// with undo; empty or 0 gives a frame back its one frame; a text that is no duration says so
// and changes nothing; the input is not offered with nothing selected, nor while an add runs.
#include "app/fMain.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/dialogs/ScriptedDurationDialog.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace kelvora::app {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

class DurationsTest : public ::testing::Test {
protected:
    DurationsTest() : window(std::make_unique<fMain>(Services{messages, dialogs, avi, nullptr, &durations}))
    {
        list = window->lstDIBList;
        for (const char* name : {"/f/a.bmp", "/f/b.bmp", "/f/c.bmp", "/f/d.bmp"})
            list->AddItem(QString::fromUtf8(name));
    }

    // "Durata…" on rows, answered with `typed`.
    void setDuration(std::vector<platform::RowRange> rows, const char* typed)
    {
        list->selectRanges(rows, rows.front().first);
        durations.answers.emplace_back(QString::fromUtf8(typed));
        window->Durata->trigger();
    }
    // Each entry's name and shown duration: "a", "b 2,5 s", ...
    std::vector<std::string> shown() const
    {
        std::vector<std::string> rows;
        for (int i = 0; i < list->ListCount(); ++i) {
            const QString tag = list->tagTextOf(i);
            rows.push_back(QFileInfo(list->List(i)).baseName().toStdString() +
                           (tag.isEmpty() ? "" : " " + tag.toStdString()));
        }
        return rows;
    }
    using Rows = std::vector<std::string>;

    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    testsupport::ScriptedDurationDialog durations;
    std::unique_ptr<fMain> window;
    platform::ListBox* list = nullptr;
};

TEST_F(DurationsTest, ADurationBelongsToItsFrameThroughMovesDeletesUndoAndRedo)
{
    EXPECT_EQ(window->Durata->text(), "Durata…");
    setDuration({{1, 1}}, "2,5");
    setDuration({{2, 2}}, " 0.5 ");
    EXPECT_EQ(shown(), (Rows{"a", "b 2,5 s", "c 0,5 s", "d 0,5 s"}));
    EXPECT_EQ(window->entryDuration(1), (slideshow::Duration{5 * kSecond / 2}));
    EXPECT_FALSE(window->entryDuration(0).has_value());
    ASSERT_EQ(durations.asked.size(), 2u);
    EXPECT_EQ(durations.asked[1].second, 2);  // asked for the two selected
    // The next input starts from the duration of the frame in view, as shown.
    setDuration({{1, 1}}, "1:30");
    EXPECT_EQ(durations.asked[2].first, "2,5 s");
    EXPECT_EQ(shown()[1], "b 1:30");
    window->Annulla_Click();
    EXPECT_EQ(shown()[1], "b 2,5 s");

    // Moved, the frame takes its duration along; a delete takes it away; undo brings it back.
    list->setListIndex(1);
    window->SpostaGiu_Click();
    EXPECT_EQ(shown(), (Rows{"a", "c 0,5 s", "b 2,5 s", "d 0,5 s"}));
    list->setListIndex(2);
    window->Cancella_Click();
    EXPECT_EQ(shown(), (Rows{"a", "c 0,5 s", "d 0,5 s"}));
    window->Annulla_Click();
    EXPECT_EQ(shown(), (Rows{"a", "c 0,5 s", "b 2,5 s", "d 0,5 s"}));
    window->Annulla_Click();
    EXPECT_EQ(shown(), (Rows{"a", "b 2,5 s", "c 0,5 s", "d 0,5 s"}));
    // Undoing a duration selects its frames and gives back what each had; redo sets it again.
    window->Annulla_Click();
    EXPECT_EQ(shown(), (Rows{"a", "b 2,5 s", "c", "d"}));
    EXPECT_EQ(list->selectedRanges(), (std::vector<platform::RowRange>{{2, 2}}));
    window->Ripeti_Click();
    EXPECT_EQ(shown(), (Rows{"a", "b 2,5 s", "c 0,5 s", "d 0,5 s"}));

    // Empty and 0 clear; the line under the list counts the held frames at the rate.
    setDuration({{3, 1}}, "");
    setDuration({{2, 1}}, "0,0");
    EXPECT_EQ(shown(), (Rows{"a", "b 2,5 s", "c", "d"}));
    EXPECT_TRUE(window->lblVideo->text().startsWith(QStringLiteral("4 fotogrammi · 2,6 s a 25")))
        << window->lblVideo->text().toStdString();
    EXPECT_TRUE(messages.shown.empty());
    window->Annulla_Click();  // c 0,5 s again: 77 frames, the line follows the undo
    EXPECT_TRUE(window->lblVideo->text().startsWith(QStringLiteral("4 fotogrammi · 3,1 s a 25")))
        << window->lblVideo->text().toStdString();
    window->Ripeti_Click();

    // Cleared with the list, back with its undo.
    window->Command1_Click();
    EXPECT_EQ(list->ListCount(), 0);
    window->Annulla_Click();
    EXPECT_EQ(shown(), (Rows{"a", "b 2,5 s", "c", "d"}));
}

TEST_F(DurationsTest, WhatIsNoDurationIsSaidAndChangesNothing)
{
    setDuration({{0, 2}}, "3");
    const std::size_t undoBytes = window->history().bytesHeld();
    for (const char* bad : {"tre", "-2", "2,5,1", "25 ore", "90000", "1e3"}) {
        SCOPED_TRACE(bad);
        messages.shown.clear();
        setDuration({{0, 4}}, bad);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].text.find("non è una durata: scrivi i secondi, per esempio 3 o 2,5"),
                  std::string::npos)
            << messages.shown[0].text;
        EXPECT_EQ(shown(), (Rows{"a 3 s", "b 3 s", "c", "d"}));
        EXPECT_EQ(window->history().bytesHeld(), undoBytes);
    }
    // Cancelled, or the same duration again: nothing to undo.
    list->selectRanges(std::vector<platform::RowRange>{{0, 1}}, 0);
    durations.answers.push_back(std::nullopt);
    window->Durata->trigger();
    setDuration({{0, 2}}, "3.0");
    window->Annulla_Click();
    EXPECT_EQ(shown(), (Rows{"a", "b", "c", "d"}));
    EXPECT_FALSE(window->history().canUndo());
}

TEST_F(DurationsTest, TheInputIsNotOfferedWithNothingSelectedNorWhileAnAddRuns)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    list->setListIndex(-1);
    window->Durata_Click();
    EXPECT_TRUE(durations.asked.empty());
    // The menu opened on a row offers it for that row.
    bool offered = false;
    QTimer::singleShot(0, [&] {
        offered = window->Durata->isEnabled();
        window->ListMenu->close();
    });
    list->setListIndex(2);
    window->lstDIBList_MouseDown(2, 0, list->rowRect(2).center());
    EXPECT_TRUE(offered);
    // While an add runs, the input is not asked for and no duration changes.
    testsupport::TempDir dir;
    QStringList paths;
    for (std::uint32_t i = 1; i <= 3; ++i) {
        paths << QString::fromStdString(dir.file("n" + std::to_string(i) + ".bmp"));
        testsupport::writeBmp(paths.back().toStdString(), testsupport::BmpLayout{8, 6, 24, i});
    }
    bool wasBusy = false;
    window->setBeforeExamining([&](int index) {
        if (index == 1)
            QMetaObject::invokeMethod(
                window.get(),
                [&] {
                    wasBusy = window->busy();
                    list->setListIndex(0);
                    durations.answers.emplace_back(QStringLiteral("4"));
                    window->Durata_Click();
                },
                Qt::BlockingQueuedConnection);
    });
    window->addFrames(paths);
    EXPECT_TRUE(wasBusy);
    EXPECT_EQ(durations.asked.size(), 0u);
    EXPECT_FALSE(list->texts().anyTag());
    durations.answers.clear();
    // A window without the input has the item, disabled.
    fMain bare(Services{messages, dialogs, avi});
    EXPECT_FALSE(bare.Durata->isEnabled());
    bare.lstDIBList->AddItem(QStringLiteral("/f/a.bmp"));
    bare.lstDIBList->setListIndex(0);
    bare.Durata_Click();
    EXPECT_FALSE(bare.entryDuration(0).has_value());
}

// A million frames given one duration, then moved and undone: the undo holds runs of rows,
// not a tag per frame, and the list stays whole.
TEST_F(DurationsTest, ADurationForAMillionFramesCostsTheUndoAFewBytes)
{
    constexpr int kEntries = 1'000'000;
    window->Command1_Click();
    platform::CompactTexts batch;
    for (int i = 0; i < kEntries; ++i)
        batch.append(QStringLiteral("/home/utente/filmato/frame_%1.bmp").arg(i, 7, 10, QChar(u'0')));
    list->AddItems(batch);
    const std::size_t before = window->history().bytesHeld();
    setDuration({{0, kEntries - 1}}, "2");
    EXPECT_LT(window->history().bytesHeld() - before, 1024u);
    EXPECT_EQ(list->Tag(kEntries - 2), 2 * kSecond);
    EXPECT_EQ(list->Tag(kEntries - 1), 0);
    window->SpostaGiu_Click();
    EXPECT_EQ(list->Tag(0), 0);
    EXPECT_EQ(list->Tag(kEntries - 1), 2 * kSecond);
    EXPECT_LT(window->history().bytesHeld() - before, 2048u);
    window->Annulla_Click();
    window->Annulla_Click();
    EXPECT_FALSE(list->texts().anyTag());
    EXPECT_EQ(list->List(kEntries - 1), batch.at(kEntries - 1));
}

}  // namespace
}  // namespace kelvora::app

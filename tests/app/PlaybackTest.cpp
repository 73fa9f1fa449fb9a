// The list played in the preview: Space (or the menu) starts it from the selected frame, each
// frame is selected as it shows, the end loops to the start, and any edit, add or Escape
// stops it with the list as the user left it.
#include "app/PreviewPlayer.h"
#include "app/fMain.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <set>

namespace kelvora::app {
namespace {

class PlaybackTest : public ::testing::Test {
protected:
    PlaybackTest()
    {
        for (int i = 0; i < kFrames; ++i) {
            const std::string path = dir.file("p" + std::to_string(i) + ".bmp");
            testsupport::writeBmp(path, {16, 12, 24, static_cast<std::uint32_t>(i + 1)});
            window.lstDIBList->AddItem(QString::fromStdString(path));
        }
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.HScroll->setValue(30);
    }

    // The rows selected while the playback runs for `ms` milliseconds, or until `enough` rows
    // have been seen.
    std::set<int> rowsShownFor(int ms, std::size_t enough = 0)
    {
        std::set<int> rows;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && (enough == 0 || rows.size() < enough)) {
            QTest::qWait(5);
            rows.insert(window.lstDIBList->ListIndex());
        }
        return rows;
    }

    static constexpr int kFrames = 6;
    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    fMain window{Services{messages, dialogs, avi}};
};

TEST_F(PlaybackTest, SpacePlaysFromTheSelectedFrameLoopingAndAnEditStopsIt)
{
    window.lstDIBList->setListIndex(3);
    window.lstDIBList->setFocus();
    QTest::keyClick(window.lstDIBList, Qt::Key_Space);
    ASSERT_TRUE(window.playing());
    // Six frames at 30 a second loop about every 200 ms: from row 3 on, every row shows.
    const std::set<int> rows = rowsShownFor(5000, kFrames);
    EXPECT_EQ(rows, (std::set<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(window.lblStatus->text().startsWith("In riproduzione: p")) << window.lblStatus->text().toStdString();
    EXPECT_TRUE(window.imgPreview->hasPicture());
    EXPECT_GE(window.player()->shown(), kFrames - 1);  // it looped past the last

    // Delete stops it and deletes the frame showing then, nothing else.
    const int showing = window.lstDIBList->ListIndex();
    const QString deleted = window.lstDIBList->List(showing);
    QTest::keyClick(window.lstDIBList, Qt::Key_Delete);
    EXPECT_FALSE(window.playing());
    EXPECT_EQ(window.lstDIBList->ListCount(), kFrames - 1);
    for (int i = 0; i < window.lstDIBList->ListCount(); ++i)
        EXPECT_NE(window.lstDIBList->List(i), deleted);
    EXPECT_EQ(rowsShownFor(150), std::set<int>{-1});  // nothing moves any more
}

TEST_F(PlaybackTest, TheMenuItemEscapeAndAnAddStopIt)
{
    window.lstDIBList->setListIndex(0);
    window.Riproduci->trigger();
    ASSERT_TRUE(window.playing());
    QTest::qWait(100);
    window.lstDIBList->setFocus();
    QTest::keyClick(window.lstDIBList, Qt::Key_Escape);
    EXPECT_FALSE(window.playing());
    const int stoppedAt = window.lstDIBList->ListIndex();
    EXPECT_EQ(rowsShownFor(150), std::set<int>{stoppedAt});
    EXPECT_TRUE(window.lblStatus->text().startsWith("Fotogramma selezionato: ") ||
                window.lblStatus->text().startsWith("Riproduzione fermata: "));

    window.Riproduci->trigger();
    ASSERT_TRUE(window.playing());
    window.Cartella->setChecked(false);
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(window.lstDIBList->List(0).toStdString()));
    window.cmdFileOpen_Click();
    EXPECT_FALSE(window.playing());
    EXPECT_EQ(window.lstDIBList->ListCount(), kFrames + 1);
    // Space again plays, and Space once more stops.
    window.lstDIBList->setFocus();
    QTest::keyClick(window.lstDIBList, Qt::Key_Space);
    EXPECT_TRUE(window.playing());
    QTest::keyClick(window.lstDIBList, Qt::Key_Space);
    EXPECT_FALSE(window.playing());
}

// Frames that cannot be read in time are skipped, not shown late: the playback keeps to the
// rate, and counts what it skipped.
TEST(PreviewPlayerTest, FramesThatCannotKeepUpAreSkippedAndCounted)
{
    testsupport::TempDir dir;
    platform::CompactTexts texts;
    for (int i = 0; i < 50; ++i) {
        const std::string path = dir.file("q" + std::to_string(i) + ".bmp");
        testsupport::writeBmp(path, {64, 48, 24, static_cast<std::uint32_t>(i + 1)});
        texts.append(QString::fromStdString(path));
    }
    PreviewPlayer player(QSize(64, 48));
    std::vector<int> shown;
    QObject::connect(&player, &PreviewPlayer::frameShown, [&](int index, const QImage&) { shown.push_back(index); });
    player.start(texts, 10, {1000, 1});  // faster than any display
    // However loaded the machine (sanitizers, other jobs), frames come and some are skipped.
    QTRY_VERIFY_WITH_TIMEOUT(shown.size() >= 3 && player.skipped() > 0, 15000);
    player.stop();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), 10);
    EXPECT_GT(player.skipped(), 0);
    // Shown in order (modulo the loop), each at most once a turn.
    for (std::size_t i = 1; i < shown.size(); ++i)
        EXPECT_NE(shown[i], shown[i - 1]);
    const std::size_t after = shown.size();
    QTest::qWait(50);
    EXPECT_EQ(shown.size(), after);  // nothing after stop
}

}  // namespace
}  // namespace kelvora::app

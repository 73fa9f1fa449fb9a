#include "adding/FrameAdder.h"
#include "app/fMain.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace kelvora::app {
namespace {

using testsupport::BmpLayout;

// Drops on the window as the windowing system delivers them: enter, move, drop, each sent to
// the widget under the pointer and passed on to the one that takes drops.
class DropTest : public ::testing::Test {
protected:
    DropTest() : window(std::make_unique<fMain>(Services{messages, dialogs, avi})) {}

    // Returns whether the drop was taken; a taken drop's add then runs from the event loop.
    bool drop(const QList<QUrl>& urls, QWidget* target = nullptr)
    {
        target = target ? target : window->lstDIBList->viewport();
        QMimeData data;
        data.setUrls(urls);
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        if (!move.isAccepted())
            return false;
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        if (!dropped.isAccepted())
            return false;
        // The application the files came from waits only for the drop itself.
        entriesWhenDropReturned = window->lstDIBList->ListCount();
        messagesWhenDropReturned = messages.shown.size();
        QCoreApplication::processEvents();
        return true;
    }

    QUrl url(const std::string& path) const { return QUrl::fromLocalFile(QString::fromStdString(path)); }

    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < window->lstDIBList->ListCount(); ++i)
            texts << window->lstDIBList->List(i);
        return texts;
    }

    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    testsupport::TempDir dir;
    std::unique_ptr<fMain> window;
    int entriesWhenDropReturned = -1;
    std::size_t messagesWhenDropReturned = 0;
};

TEST_F(DropTest, DroppedFilesAreAddedInNaturalOrder)
{
    for (const char* name : {"frame_10.bmp", "frame_2.bmp", "frame_1.bmp"})
        testsupport::writeBmp(dir.file(name), {8, 6, 24, 1});
    ASSERT_TRUE(drop({url(dir.file("frame_10.bmp")), url(dir.file("frame_2.bmp")), url(dir.file("frame_1.bmp"))}));
    EXPECT_EQ(entriesWhenDropReturned, 0);
    EXPECT_EQ(entries(), (QStringList{QString::fromStdString(dir.file("frame_1.bmp")),
                                      QString::fromStdString(dir.file("frame_2.bmp")),
                                      QString::fromStdString(dir.file("frame_10.bmp"))}));
    EXPECT_TRUE(window->imgPreview->hasPicture());
    EXPECT_TRUE(window->cmdWriteAVI->isEnabled());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DropTest, DroppedFolderAddsItsBitmapsAsTheWholeFolderAddDoes)
{
    const std::filesystem::path folder = dir.path() / "frames";
    std::filesystem::create_directory(folder);
    testsupport::writeBmp(folder / "b_10.BMP", {8, 6, 24, 1});
    testsupport::writeBmp(folder / "b_9.bmp", {8, 6, 24, 2});
    testsupport::writeBmp(folder / "c.bmp", {8, 6, 8, 3});  // another depth: left out, counted
    testsupport::writeBytes(folder / "notes.txt", "not a frame");
    ASSERT_TRUE(drop({QUrl::fromLocalFile(QString::fromStdString(folder.string()))}));
    const QString prefix = QString::fromStdString(folder.string()) + '/';
    EXPECT_EQ(entries(), (QStringList{prefix + "b_9.bmp", prefix + "b_10.BMP"}));
    EXPECT_EQ(window->lblStatus->text(), adding::skippedSummary(1, adding::FrameFormat{true, 8, 6, 24}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DropTest, DroppedFileThatIsNoBitmapGetsTheUsualMessage)
{
    testsupport::writeBytes(dir.file("fake.bmp"), "plain text, no bitmap");
    EXPECT_TRUE(drop({url(dir.file("fake.bmp"))}));
    EXPECT_EQ(messagesWhenDropReturned, 0u);  // the box came after the drop was taken
    EXPECT_EQ(window->lstDIBList->ListCount(), 0);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_FALSE(window->cmdWriteAVI->isEnabled());
}

TEST_F(DropTest, OnlyLocalFilesDroppedOnTheListAreTaken)
{
    testsupport::writeBmp(dir.file("a.bmp"), {8, 6, 24, 1});
    EXPECT_FALSE(drop({url(dir.file("a.bmp"))}, window->imgPreview));  // beside the list
    EXPECT_FALSE(drop({QUrl("https://example.org/a.bmp")}));
    EXPECT_EQ(window->lstDIBList->ListCount(), 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DropTest, NothingIsTakenWhileASaveRuns)
{
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        testsupport::writeBmp(dir.file(name), {8, 6, 24, 1});
    window->addFrames({QString::fromStdString(dir.file("a.bmp")), QString::fromStdString(dir.file("b.bmp"))});
    std::filesystem::remove(dir.file("b.bmp"));  // its message box shows while the save runs
    bool takenDuringSave = true;
    messages.onShow = [&](const testsupport::ShownMessage&) {
        if (messages.shown.size() > 1)
            return;  // the save's own box, once it has ended, naming the frame it lacked
        ASSERT_TRUE(window->savingOrChecking());
        takenDuringSave = drop({url(dir.file("c.bmp"))});
    };
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file("out.avi")));
    window->cmdWriteAVI->click();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_NE(messages.shown[1].text.find(dir.file("b.bmp")), std::string::npos);
    EXPECT_FALSE(takenDuringSave);
    EXPECT_EQ(window->lstDIBList->ListCount(), 2);
    EXPECT_TRUE(drop({url(dir.file("c.bmp"))}));  // and again once it has ended
    EXPECT_EQ(window->lstDIBList->ListCount(), 3);
}

}  // namespace
}  // namespace kelvora::app

// Paths that are not regular files, names that are not UTF-8 and names that look like markup,
// wherever the window opens a path: adding one file, adding a folder, the preview.
#include "app/fMain.h"
#include "platform/text/PathNames.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/fs/NonRegularFiles.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

namespace kelvora::app {
namespace {

using testsupport::SpecialKind;
using testsupport::Watchdog;

class SpecialPathTest : public ::testing::TestWithParam<SpecialKind> {
protected:
    SpecialPathTest() : window(std::make_unique<fMain>(Services{messages, dialogs, avi})) {}

    void add(const std::string& path, bool wholeFolder)
    {
        window->Cartella->setChecked(wholeFolder);
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(path));
        const Watchdog watchdog("adding " + path);
        window->cmdFileOpen_Click();
    }

    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    testsupport::TempDir dir;
    std::unique_ptr<fMain> window;
};

TEST_P(SpecialPathTest, ChosenAloneItGivesAMessageThatSaysWhatItIs)
{
    const std::string path = dir.file("frame.bmp");
    ASSERT_TRUE(testsupport::makeSpecial(GetParam(), path));
    add(path, false);
    EXPECT_EQ(window->lstDIBList->ListCount(), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    const std::string expected = GetParam() == SpecialKind::DanglingLink
                                     ? "Il file non esiste:\r\n"
                                     : "Il file esiste ma non è un file normale:\r\n";
    EXPECT_EQ(messages.shown[0].text, expected + path);
    EXPECT_EQ(messages.shown[0].style, 16);
    EXPECT_EQ(messages.shown[0].title, "KELVORA MAKER");
}

TEST_P(SpecialPathTest, InAFolderItIsSkippedWithoutAWord)
{
    testsupport::writeBmp(dir.file("a.bmp"), {8, 8, 24, 1});
    ASSERT_TRUE(testsupport::makeSpecial(GetParam(), dir.path() / "b.bmp"));
    testsupport::writeBmp(dir.file("c.bmp"), {8, 8, 24, 2});
    add(dir.file("a.bmp"), true);
    EXPECT_EQ(window->lstDIBList->ListCount(), 2);
    EXPECT_EQ(window->lstDIBList->List(1).toStdString(), dir.file("c.bmp"));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_P(SpecialPathTest, TakingAFramesPlaceItShowsNoPreviewAndNeverHangs)
{
    const std::string path = dir.file("frame.bmp");
    testsupport::writeBmp(path, {8, 8, 24, 1});
    add(path, false);
    ASSERT_EQ(window->lstDIBList->ListCount(), 1);
    std::filesystem::remove(path);
    ASSERT_TRUE(testsupport::makeSpecial(GetParam(), path));
    {
        const Watchdog watchdog("selecting an entry whose file is now special");
        window->lstDIBList->setListIndex(0);
    }
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: frame.bmp");
    EXPECT_FALSE(window->imgPreview->hasPicture());
}

INSTANTIATE_TEST_SUITE_P(Kinds, SpecialPathTest,
                         ::testing::Values(SpecialKind::Fifo, SpecialKind::Folder, SpecialKind::DeviceLink,
                                           SpecialKind::DanglingLink),
                         [](const auto& info) { return std::string(testsupport::nameOf(info.param)); });

class FileNamesTest : public SpecialPathTest {};

// A frame still being written (a copy still running) would show its missing rows as black:
// it is refused as incomplete, at once, and taken once it is whole.
TEST_F(FileNamesTest, AFileStillBeingWrittenIsRefusedAsIncompleteUntilWhole)
{
    const std::string path = dir.file("growing.bmp");
    std::vector<std::uint8_t> bytes = testsupport::makeBmp({64, 64, 24, 1});
    testsupport::writeBytes(path, std::string(bytes.begin(), bytes.begin() + 2000));
    add(path, false);
    EXPECT_EQ(window->lstDIBList->ListCount(), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Il file è incompleto:\r\n" + path);

    testsupport::writeBytes(path, std::string(bytes.begin(), bytes.end()));
    add(path, false);
    EXPECT_EQ(window->lstDIBList->ListCount(), 1);
    EXPECT_EQ(messages.shown.size(), 1u);
}

// Linux names are bytes: one that is not UTF-8 reaches the list and leads back to its file.
TEST_F(FileNamesTest, ANameThatIsNotUtf8SurvivesTheListAndOpensTheSameFile)
{
    const std::string name = "fotogramma-\xE8\xFF.bmp";  // Latin-1 "è", then a byte no encoding uses
    const std::string path = (dir.path() / name).string();
    testsupport::writeBmp(path, {8, 8, 24, 7});
    add(path, true);
    ASSERT_EQ(window->lstDIBList->ListCount(), 1);
    EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    const QString entry = window->lstDIBList->List(0);
    EXPECT_EQ(platform::nativePath(entry), path);
    std::ifstream reopened(platform::nativePath(entry), std::ios::binary);
    EXPECT_TRUE(reopened.good());
    window->lstDIBList->setListIndex(0);
    EXPECT_TRUE(window->imgPreview->hasPicture());

    window->lstDIBList->Clear();
    add(path, false);  // the same name chosen alone in the dialog
    ASSERT_EQ(window->lstDIBList->ListCount(), 1);
    EXPECT_EQ(platform::nativePath(window->lstDIBList->List(0)), path);
}

TEST_F(FileNamesTest, AFileNameIsShownAsPlainText)
{
    // Markup a rich-text label would act on (a name cannot hold "/", so no closing tags).
    const std::string path = dir.file("<b>x<br>&amp;.bmp");
    testsupport::writeBmp(path, {8, 8, 24, 1});
    add(path, false);
    window->lstDIBList->setListIndex(0);
    EXPECT_EQ(window->lblStatus->textFormat(), Qt::PlainText);
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: <b>x<br>&amp;.bmp");
}

}  // namespace
}  // namespace kelvora::app

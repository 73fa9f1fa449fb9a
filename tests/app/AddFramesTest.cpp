#include "app/fMain.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/pictures/MadePictures.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace kelvora::app {
namespace {

using testsupport::BmpLayout;
using testsupport::DialogAnswer;

// The open dialog's filters: every frame type, then each alone, then the DIB files.
constexpr char kOpenFilters[] = "Immagini\0*.bmp;*.png;*.jpg;*.jpeg\0Bitmap\0*.bmp\0Immagini PNG\0*.png\0"
                                "Immagini JPEG\0*.jpg;*.jpeg\0DIB Files\0*.dib\0\0";

class AddFramesTest : public ::testing::Test {
protected:
    AddFramesTest() : window(std::make_unique<fMain>(Services{messages, dialogs, avi})) {}

    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < window->lstDIBList->ListCount(); ++i)
            texts << window->lstDIBList->List(i);
        return texts;
    }

    // Adds through "Aggiungi BMP" with the user choosing path (or cancelling when empty).
    void add(const std::string& path, bool wholeFolder)
    {
        window->Cartella->setChecked(wholeFolder);
        dialogs.answers.push_back(path.empty() ? DialogAnswer::cancel() : DialogAnswer::choose(path));
        QTest::mouseClick(window->cmdFileOpen, Qt::LeftButton);
    }

    QString q(const std::string& path) const { return QString::fromStdString(path); }

    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::RecordingAVIDecs avi;
    testsupport::TempDir dir;
    std::unique_ptr<fMain> window;
};

TEST_F(AddFramesTest, CancelChangesNothing)
{
    add("", false);
    EXPECT_EQ(window->lstDIBList->ListCount(), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(window->imgPreview->hasPicture());
    EXPECT_FALSE(window->cmdWriteAVI->isEnabled());
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].dialogTitle, "Scegli una cartella contenente file BMP...");
    EXPECT_EQ(dialogs.requests[0].filterList, std::string(kOpenFilters, sizeof kOpenFilters - 1));
    EXPECT_EQ(dialogs.requests[0].file(), "");
    EXPECT_EQ(dialogs.requests[0].record.hwndOwner, 0);
}

TEST_F(AddFramesTest, SingleFileSetsTheFormatAndLaterFramesMustMatchIt)
{
    const std::string first = dir.file("first.bmp");
    testsupport::writeBmp(first, {320, 240, 24, 1});
    add(first, false);
    EXPECT_EQ(entries(), QStringList{q(first)});
    EXPECT_TRUE(window->imgPreview->hasPicture());
    EXPECT_TRUE(window->FormatSet());
    EXPECT_EQ(window->FormatWidth(), 320);
    EXPECT_EQ(window->FormatHeight(), 240);
    EXPECT_EQ(window->FormatBitCount(), 24);
    EXPECT_TRUE(window->cmdWriteAVI->isEnabled());
    EXPECT_EQ(window->lstDIBList->ListIndex(), -1);  // the add leaves the selection alone

    const QImage before = window->imgPreview->picture();
    const std::string otherDepth = dir.file("grey.bmp");
    const std::string topDown = dir.file("topdown.bmp");
    testsupport::writeBmp(otherDepth, {320, 240, 8, 2});
    testsupport::writeBmp(topDown, {320, -240, 24, 3});
    add(otherDepth, false);
    add(topDown, false);
    EXPECT_EQ(entries(), QStringList{q(first)});
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(window->imgPreview->picture(), before);

    const std::string same = dir.file("dib-named.dib");  // single-file mode tests no extension
    testsupport::writeBmp(same, {320, 240, 24, 4});
    add(same, false);
    EXPECT_EQ(entries(), (QStringList{q(first), q(same)}));
}

TEST_F(AddFramesTest, WholeFolderTakesTheBmpFilesInNaturalOrder)
{
    for (const char* name : {"c.Bmp", "B.BMP", "a.bmp", "frame_10.bmp", "frame_2.bmp", "d.dib"})
        testsupport::writeBmp(dir.file(name), {8, 8, 24, 5});
    testsupport::writeBytes(dir.file("notes.txt"), "not a frame");
    std::filesystem::create_directory(dir.path() / "x.bmp");
    add(dir.file("d.dib"), true);  // a chosen .dib is not itself added in this mode
    const QString prefix = q(dir.path().string()) + "/";
    const QStringList expected{prefix + "a.bmp", prefix + "B.BMP", prefix + "c.Bmp", prefix + "frame_2.bmp",
                               prefix + "frame_10.bmp"};
    EXPECT_EQ(entries(), expected);
    EXPECT_TRUE(messages.shown.empty());
    // Every file came in, and the numbers the sequence skips are named.
    EXPECT_EQ(window->lblStatus->text(), "mancano 7 numeri: frame_3.bmp, frame_4.bmp, frame_5.bmp e altri 4");

    add(dir.file("a.bmp"), true);  // the same folder again: every entry twice
    EXPECT_EQ(entries(), expected + expected);
}

// "Tutta la cartella" with a JPEG chosen takes the folder's .jpg and .jpeg files, in natural
// order, and leaves out those of another sampling; the preview shows them; the save stores
// each file as it is.
TEST_F(AddFramesTest, WholeFolderTakesTheChosenFilesPictureType)
{
    const auto copy = [&](const char* made, const char* name) {
        std::filesystem::copy_file(testsupport::madePictures() / made, dir / name);
        return q(dir.file(name));
    };
    const QString first = copy("rule-420.jpg", "shot_1.jpg");
    const QString second = copy("rule-420-b.jpg", "shot_2.JPEG");
    (void)copy("rule-444.jpg", "shot_10.jpg");
    (void)copy("rule-rgb8.png", "shot_3.png");
    (void)copy("rule.bmp", "shot_4.bmp");
    add(dir.file("shot_2.JPEG"), true);
    EXPECT_EQ(entries(), (QStringList{first, second}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(window->lblStatus->text(), "1 escluso: diverso da JPEG 32×24, 4:2:0");
    EXPECT_TRUE(window->imgPreview->hasPicture());
    window->lstDIBList->setListIndex(1);
    EXPECT_EQ(window->imgPreview->picture().size(), window->imgPreview->pictureArea().boundedTo(QSize(32, 24)));

    // Saved as they are: each chunk is its file's bytes.
    dialogs.answers.push_back(DialogAnswer::choose(dir.file("shots.avi")));
    QTest::mouseClick(window->cmdWriteAVI, Qt::LeftButton);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(window->lblStatus->text().section('\n', 0, 0), "Il file AVI è stato creato con successo!");
    const auto bytesOf = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    };
    EXPECT_EQ(avi.writtenData, (std::vector<std::string>{bytesOf(first), bytesOf(second)}));
}

TEST_F(AddFramesTest, FirstFileInSearchOrderSetsTheFormat)
{
    testsupport::writeBmp(dir.file("1.bmp"), {16, 8, 24, 1});
    testsupport::writeBmp(dir.file("2.bmp"), {32, 8, 24, 1});
    testsupport::writeBmp(dir.file("3.bmp"), {32, 8, 24, 1});
    add(dir.file("3.bmp"), true);
    EXPECT_EQ(entries(), QStringList{q(dir.file("1.bmp"))});
    EXPECT_EQ(window->FormatWidth(), 16);
    EXPECT_TRUE(messages.shown.empty());  // the message boxes stay as they were
    EXPECT_EQ(window->lblStatus->text(), "2 esclusi: diversi da 16×8, 24 bit");
}

TEST_F(AddFramesTest, TheStatusNamesTheFormatFramesWereLeftOutFor)
{
    testsupport::writeBmp(dir.file("a.bmp"), {16, -8, 32, 1});
    testsupport::writeBmp(dir.file("b.bmp"), {16, 8, 32, 1});
    add(dir.file("a.bmp"), true);
    // A top-down format is named as such, or bottom-up frames of its size would seem to match.
    EXPECT_EQ(window->lblStatus->text(), "1 escluso: diverso da 16×8, 32 bit, dall'alto in basso");

    window->lstDIBList->setListIndex(0);
    add(dir.file("a.bmp"), false);  // an adding that leaves nothing out leaves the status alone
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: a.bmp");
}

TEST_F(AddFramesTest, TheLongestSummaryFitsTheStatusLineInOnePiece)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QFont normal = window->lblStatus->font();
    // Thousands of frames of a folder, left out for a large top-down format.
    for (int i = 0; i < 3; ++i)
        testsupport::writeBmp(dir.file("f" + std::to_string(i) + ".bmp"), {i == 0 ? 9999 : 8, -1, 32, 1});
    add(dir.file("f0.bmp"), true);
    ASSERT_EQ(window->lblStatus->text(), "2 esclusi: diversi da 9999×1, 32 bit, dall'alto in basso");
    window->addFrames({});  // an adding of nothing leaves the status as it is
    EXPECT_EQ(window->lblStatus->text(), "2 esclusi: diversi da 9999×1, 32 bit, dall'alto in basso");
    const auto fits = [&] { return platform::textFits(*window->lblStatus, window->lblStatus->text()); };
    EXPECT_TRUE(fits());
    const QString longest = adding::skippedSummary(9999, adding::FrameFormat{true, 16384, -16384, 32});
    platform::setFittedText(*window->lblStatus, longest);
    EXPECT_TRUE(fits()) << longest.toStdString();
    EXPECT_GE(window->lblStatus->font().pointSizeF(), 6.0);
    if (const char* shot = std::getenv("KELVORA_STATUS_SHOT"))
        window->grab().save(shot);  // for a look by hand
    window->lstDIBList->setListIndex(0);
    EXPECT_EQ(window->lblStatus->font(), normal);
}

TEST_F(AddFramesTest, AFileThatIsNoBitmapIsReportedAndTheSearchGoesOn)
{
    testsupport::writeBmp(dir.file("a.bmp"), {8, 8, 24, 1});
    testsupport::writeBytes(dir.file("b.bmp"), "this is text, not a bitmap at all......................");
    testsupport::writeBmp(dir.file("c.bmp"), {8, 8, 24, 2});
    add(dir.file("a.bmp"), true);
    EXPECT_EQ(entries(), (QStringList{q(dir.file("a.bmp")), q(dir.file("c.bmp"))}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Il file non è un formato bitmap supportato:\r\n" + dir.file("b.bmp"));
    EXPECT_EQ(messages.shown[0].style, 64);
    EXPECT_EQ(messages.shown[0].title, "KELVORA MAKER");
}

TEST_F(AddFramesTest, NothingLoadedLeavesTheSaveButtonAlone)
{
    testsupport::writeBytes(dir.file("bad.bmp"), "XX");
    add(dir.file("bad.bmp"), false);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_FALSE(window->cmdWriteAVI->isEnabled());
    EXPECT_FALSE(window->FormatSet());
}

TEST_F(AddFramesTest, AFrameNoPlayerDecodesIsRefusedWithAMessageAndSetsNoFormat)
{
    // Loads as a bitmap (it begins with "BM" and sizes its blocks) but no player decodes it.
    std::vector<std::uint8_t> odd = testsupport::makeBmp({8, 8, 24, 2});
    odd[30] = 99;  // an unknown compression code
    const std::string strange = dir.file("strange.bmp");
    testsupport::writeBytes(strange, std::string(odd.begin(), odd.end()));
    const std::string good = dir.file("good.bmp");
    testsupport::writeBmp(good, {8, 8, 8, 1});
    add(strange, false);
    EXPECT_FALSE(window->FormatSet());
    EXPECT_FALSE(window->cmdWriteAVI->isEnabled());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Il file non è un formato bitmap supportato:\r\n" + strange +
                                          "\r\nMotivo: compressione di tipo 99 che i lettori video non leggono");
    EXPECT_EQ(messages.shown[0].style, 64);
    EXPECT_EQ(messages.shown[0].title, "KELVORA MAKER");
    add(good, false);
    EXPECT_EQ(entries(), QStringList{q(good)});
    EXPECT_EQ(window->FormatBitCount(), 8);
}

TEST_F(AddFramesTest, SelectingAnEntryShowsItsFrameAndName)
{
    testsupport::writeBmp(dir.file("uno.bmp"), {8, 8, 24, 1});
    testsupport::writeBmp(dir.file("due.bmp"), {8, 8, 24, 2});
    add(dir.file("uno.bmp"), true);
    window->imgPreview->setPicture({});
    window->lstDIBList->setListIndex(1);  // from code
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: uno.bmp");
    EXPECT_TRUE(window->imgPreview->hasPicture());

    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto* list = window->lstDIBList;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->rowRect(0).center());
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: due.bmp");
}

TEST_F(AddFramesTest, SelectionHandlerCopesWithNoSelectionAndMissingFiles)
{
    window->lstDIBList_Click();  // empty list: nothing changes
    EXPECT_TRUE(window->lblStatus->text().isEmpty());
    window->lstDIBList->AddItem("/no/such/folder/gone.bmp");
    window->lstDIBList->AddItem("no-separator.bmp");
    window->lstDIBList->AddItem("/ends/with/");
    window->lblStatus->setText("prima");
    window->lstDIBList_Click();  // entries but none selected: no name to show, and no picture
    EXPECT_TRUE(window->lblStatus->text().isEmpty());
    EXPECT_FALSE(window->imgPreview->hasPicture());
    window->lstDIBList->setListIndex(0);
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: gone.bmp");
    EXPECT_FALSE(window->imgPreview->hasPicture());
    window->lstDIBList->setListIndex(1);
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: no-separator.bmp");
    window->lstDIBList->setListIndex(2);
    EXPECT_EQ(window->lblStatus->text(), "Fotogramma selezionato: ");
}

}  // namespace
}  // namespace kelvora::app

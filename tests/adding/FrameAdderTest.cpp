// The adding core without a window: what a drop or a command line gets from it. This test
// links no widget library, so the core stays usable where there is no window.
#include "adding/FrameAdder.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"

#include <gtest/gtest.h>

namespace kelvora::app {
namespace {

TEST(FrameAdderTest, SetsTheFormatOnceThenCountsWhatDiffers)
{
    testsupport::TempDir dir;
    testsupport::writeBmp(dir.file("frame_10.bmp"), {8, 4, 24, 1});
    testsupport::writeBmp(dir.file("frame_2.bmp"), {8, 4, 24, 2});
    testsupport::writeBmp(dir.file("frame_1.bmp"), {8, -4, 24, 3});
    testsupport::writeBmp(dir.file("other.BMP"), {8, 4, 8, 4});
    testsupport::writeBytes(dir.file("notes.bmp"), "no bitmap here");
    testsupport::writeBytes(dir.file("skip.dib"), "not a frame's name");
    const QString folder = QString::fromStdString(dir.path().string());

    const QStringList files = bmpFilesOfFolder(folder);
    const QStringList expected{folder + "/frame_1.bmp", folder + "/frame_2.bmp", folder + "/frame_10.bmp",
                               folder + "/notes.bmp", folder + "/other.BMP"};
    ASSERT_EQ(files, expected);
    EXPECT_EQ(bmpFilesOfFolder(folder + "/"), expected);

    FrameFormat format;
    testsupport::ScriptedMessageBox messages;
    FrameAdder adder(format, messages);
    std::vector<Admission> admissions;
    for (const QString& file : files)
        admissions.push_back(adder.admit(file));
    EXPECT_EQ(admissions, (std::vector{Admission::Added, Admission::Mismatch, Admission::Mismatch,
                                       Admission::Refused, Admission::Mismatch}));
    EXPECT_TRUE(format.set);
    EXPECT_EQ(format.width, 8);
    EXPECT_EQ(format.height, -4);  // the first frame was top-down
    EXPECT_EQ(format.bitCount, 24);
    EXPECT_EQ(adder.mismatched(), 3);
    ASSERT_EQ(messages.shown.size(), 1u);  // only the file that is no bitmap is reported
    EXPECT_EQ(skippedSummary(adder.mismatched(), format), "3 esclusi: diversi da 8×4, 24 bit, dall'alto in basso");
    EXPECT_EQ(skippedSummary(0, format), "");

    FrameAdder next(format, messages);  // a later adding keeps the format, counts anew
    EXPECT_EQ(next.admit(files[1]), Admission::Mismatch);
    EXPECT_EQ(next.mismatched(), 1);
}

}  // namespace
}  // namespace kelvora::app

// The adding core without a window: what a drop or a command line gets from it. This test
// links no widget library, so the core stays usable where there is no window.
#include "adding/FrameAdder.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"

#include <gtest/gtest.h>

#include <functional>

namespace kelvora::adding {
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
    EXPECT_EQ(admissions, (std::vector{Admission::Added, Admission::Mismatch, Admission::Mismatch, Admission::Refused,
                                       Admission::Mismatch}));
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

// Frames that cannot share one stream are left out even when size and depth agree; frames
// whose colour tables differ share it (each is shown with its own colours). A file cut short
// is refused as incomplete rather than shown with black rows.
TEST(FrameAdderTest, FramesShareAStreamOnlyWhenTheirPixelsMeanTheSame)
{
    testsupport::TempDir dir;
    testsupport::writeBmp(dir.file("plain.bmp"), {4, 2, 8, 1});
    std::vector<std::uint8_t> colours = testsupport::makeBmp({4, 2, 8, 2});
    colours[54] = 200;  // another first colour
    testsupport::writeBytes(dir.file("colours.bmp"), std::string(colours.begin(), colours.end()));
    std::vector<std::uint8_t> rle = testsupport::makeBmp({4, 2, 8, 3});
    rle[30] = 1;  // BI_RLE8
    rle[34] = 2;  // biSizeImage: the end-of-picture code
    rle.resize(54 + 1024 + 2);
    rle[1078] = 0, rle[1079] = 1;
    testsupport::writeBytes(dir.file("rle.bmp"), std::string(rle.begin(), rle.end()));
    std::vector<std::uint8_t> cut = testsupport::makeBmp({4, 2, 8, 4});
    cut.resize(cut.size() - 3);
    testsupport::writeBytes(dir.file("cut.bmp"), std::string(cut.begin(), cut.end()));

    FrameFormat format;
    testsupport::ScriptedMessageBox messages;
    FrameAdder adder(format, messages);
    const auto admit = [&](const char* name) { return adder.admit(QString::fromStdString(dir.file(name))); };
    EXPECT_EQ(admit("plain.bmp"), Admission::Added);
    EXPECT_EQ(admit("colours.bmp"), Admission::Added);
    EXPECT_EQ(admit("rle.bmp"), Admission::Mismatch);
    EXPECT_EQ(admit("cut.bmp"), Admission::Refused);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Il file è incompleto:\r\n" + dir.file("cut.bmp"));
}

void putU32(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Whatever refuses a file, the bitmap object's sizes or the players' rules, the user reads
// why on the box's last line; a bitmap players cannot use counts apart from an unreadable file.
TEST(FrameAdderTest, EveryRefusalReachesTheUserWithItsReason)
{
    struct Case {
        const char* name;
        int bitCount;
        std::function<void(std::vector<std::uint8_t>&)> edit;
        Admission admission;
        std::string reason;
    };
    const std::vector<Case> cases{
        {"height 2^31-1", 24, [](auto& f) { putU32(f, 18, 1), putU32(f, 22, 0x7FFFFFFF), putU32(f, 34, 0); },
         Admission::Refused,
         "le righe di 1×2147483647 pixel a 24 bit andrebbero oltre i 2 GB che un file bitmap può descrivere"},
        {"bfOffBits 0", 24, [](auto& f) { putU32(f, 10, 0); }, Admission::Refused,
         "i pixel comincerebbero al byte 0, dentro l'intestazione del file"},
        {"JPEG inside", 24, [](auto& f) { f[28] = 0, f[29] = 0, putU32(f, 30, 4); }, Admission::Unusable,
         "immagine JPEG dentro il file bitmap: i lettori video non la leggono"},
        {"top-down RLE8", 8, [](auto& f) { putU32(f, 22, static_cast<std::uint32_t>(-2)), putU32(f, 30, 1); },
         Admission::Unusable,
         "compressione RLE8 con le righe dall'alto in basso: i lettori video la leggono solo dal basso in alto"},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = testsupport::makeBmp({4, 2, c.bitCount, 1});
        c.edit(bytes);
        const std::string path = dir.file("refused.bmp");
        testsupport::writeBytes(path, std::string(bytes.begin(), bytes.end()));
        FrameFormat format;
        testsupport::ScriptedMessageBox messages;
        EXPECT_EQ(FrameAdder(format, messages).admit(QString::fromStdString(path)), c.admission);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text,
                  "Il file non è un formato bitmap supportato:\r\n" + path + "\r\nMotivo: " + c.reason);
        EXPECT_FALSE(format.set);
    }
}

}  // namespace
}  // namespace kelvora::adding

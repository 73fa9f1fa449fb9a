// PNG and JPEG frames through the adding core: which are taken, which are refused and why,
// what frames of one list share, and which files of a folder come in.
#include "adding/FrameAdder.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"
#include "tests/support/pictures/MadePictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace kelvora::adding {
namespace {

QString made(const char* name) { return QString::fromStdString((testsupport::madePictures() / name).string()); }

struct AdmissionCase {
    const char* file;
    Admission admission;
    const char* message;  // the box's first line; the path and the reason follow
    const char* reason;
};

class PictureAdmissionTest : public ::testing::TestWithParam<AdmissionCase> {};

TEST_P(PictureAdmissionTest, TakesWhatPlayersShowAsStoredAndSaysWhyNot)
{
    const AdmissionCase& c = GetParam();
    if (!std::filesystem::exists(testsupport::madePictures() / c.file))
        GTEST_SKIP() << "no tool here writes " << c.file;
    FrameFormat format;
    testsupport::ScriptedMessageBox messages;
    EXPECT_EQ(FrameAdder(format, messages).admit(made(c.file)), c.admission);
    EXPECT_EQ(format.set, c.admission == Admission::Added);
    if (c.admission == Admission::Added) {
        EXPECT_TRUE(messages.shown.empty());
        return;
    }
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              std::string(c.message) + "\r\n" + made(c.file).toStdString() + "\r\nMotivo: " + c.reason);
}

constexpr const char* kUnsupported = "Il file non è un'immagine supportata:";

INSTANTIATE_TEST_SUITE_P(
    Files, PictureAdmissionTest,
    ::testing::Values(
        AdmissionCase{"rgba16-opencv.png", Admission::Added, "", ""},
        AdmissionCase{"palette1-pillow.png", Admission::Added, "", ""},
        // ffmpeg 5.1 and GStreamer 1.22 both decode an interlaced PNG in an AVI, exactly.
        AdmissionCase{"interlaced-magick.png", Admission::Added, "", ""},
        AdmissionCase{"exif-pillow.jpg", Admission::Added, "", ""},
        AdmissionCase{"grey-opencv.jpg", Admission::Added, "", ""},
        AdmissionCase{"animated-pillow.png", Admission::Unusable, kUnsupported,
                      "PNG animato (APNG): un fotogramma del video è una sola immagine"},
        // ffmpeg 5.1 and GStreamer 1.22 decode a progressive JPEG in an MJPG AVI as they decode the file.
        AdmissionCase{"progressive-pillow.jpg", Admission::Added, "", ""},
        // Taken for the compressed outputs; a save storing files as they are refuses it.
        AdmissionCase{"cmyk-pillow.jpg", Admission::Added, "", ""},
        // What no save takes says so, and advises none: the next run would refuse it too.
        AdmissionCase{"arithmetic-cjpeg.jpg", Admission::Unusable, kUnsupported,
                      "JPEG con codifica aritmetica, che libavcodec (ffmpeg) non decodifica: nessun tipo di video lo "
                      "può contenere"},
        AdmissionCase{"hierarchical.jpg", Admission::Unusable, kUnsupported,
                      "JPEG gerarchico, che libavcodec (ffmpeg) non decodifica: nessun tipo di video lo può contenere"},
        AdmissionCase{"lossless-ffmpeg.jpg", Admission::Unusable, kUnsupported,
                      "JPEG senza perdita (lossless), che GStreamer non decodifica e che i salvataggi compressi non "
                      "prendono"},
        AdmissionCase{"precision12.jpg", Admission::Unusable, kUnsupported,
                      "JPEG a 12 bit per campione, che GStreamer non decodifica e che i salvataggi compressi non "
                      "prendono"},
        // The headers cannot tell a file cut short in its data from a picture followed by other
        // data: the save, which reads the file, decides.
        AdmissionCase{"truncated.jpg", Admission::Added, "", ""},
        AdmissionCase{"motion-photo.jpg", Admission::Added, "", ""},
        AdmissionCase{"png-named.jpg", Admission::Refused, "Il file non è un'immagine valida:",
                      "il contenuto è un'immagine PNG, non JPEG come dice il nome"},
        AdmissionCase{"bmp-named.png", Admission::Refused,
                      "Il file non è un'immagine valida:", "il contenuto è un'immagine BMP, non PNG come dice il nome"},
        AdmissionCase{"array-os2.bmp", Admission::Refused, "Il file non è un formato bitmap supportato:",
                      "è un insieme di bitmap OS/2 (bitmap array, «BA»), con un'immagine per ogni tipo di schermo: i "
                      "lettori video leggono un bitmap solo, che cominci con «BM»"}),
    [](const auto& info) { return testsupport::pictureCaseName(info.param.file); });

struct RuleCase {
    const char* name;
    std::vector<const char*> files;  // the first sets the format
    std::vector<Admission> admissions;
    const char* summary;
};

class PictureFormatRuleTest : public ::testing::TestWithParam<RuleCase> {};

// Every frame has the first one's type and sides, and for PNG its colour type and depth, for
// JPEG its components and sampling; the others are left out, counted, and the status line names
// the format they had to match.
TEST_P(PictureFormatRuleTest, LeavesOutWhatDiffersFromTheFirstFrame)
{
    const RuleCase& c = GetParam();
    FrameFormat format;
    testsupport::ScriptedMessageBox messages;
    FrameAdder adder(format, messages);
    std::vector<Admission> admissions;
    for (const char* file : c.files)
        admissions.push_back(adder.admit(made(file)));
    EXPECT_EQ(admissions, c.admissions);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(skippedSummary(adder.mismatched(), format), c.summary);
}

constexpr Admission kIn = Admission::Added;
constexpr Admission kOut = Admission::Mismatch;

INSTANTIATE_TEST_SUITE_P(Lists, PictureFormatRuleTest,
                         ::testing::Values(RuleCase{"Png",
                                                    {"rule-rgb8.png", "rule-rgb8-b.png", "rule-rgba8.png",
                                                     "rule-rgb16.png", "rule-wide.png", "rule-420.jpg", "rule.bmp"},
                                                    {kIn, kIn, kOut, kOut, kOut, kOut, kOut},
                                                    "5 esclusi: diversi da PNG 32×24, RGB a 8 bit"},
                                           RuleCase{"Jpeg",
                                                    {"rule-420.jpg", "rule-420-b.jpg", "rule-444.jpg", "rule-rgb8.png"},
                                                    {kIn, kIn, kOut, kOut},
                                                    "2 esclusi: diversi da JPEG 32×24, 4:2:0"},
                                           RuleCase{"Bitmap",
                                                    {"rule.bmp", "rule-rgb8.png", "rule-420.jpg"},
                                                    {kIn, kOut, kOut},
                                                    "2 esclusi: diversi da 32×24, 24 bit"},
                                           RuleCase{"PaletteDepth",
                                                    {"palette8-pillow.png", "palette4-pillow.png"},
                                                    {kIn, kOut},
                                                    "1 escluso: diverso da PNG 19×4, tavolozza a 8 bit"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder holds frames of one type and perhaps a few files of others: "Tutta la cartella"
// takes the chosen file's type, a folder dropped or named alone the type most of its files have.
TEST(PictureFolderTest, TakesOneTypeOfPictureFiles)
{
    testsupport::TempDir dir;
    for (const char* name : {"f_1.png", "f_2.PNG", "f_10.png", "thumb.jpg", "cover.JPEG", "old.bmp", "notes.txt"})
        testsupport::writeBytes(dir.file(name), "x");
    const std::string folder = dir.path().string();
    const auto names = [&](std::optional<bitmap::PictureType> type) {
        std::vector<std::string> found;
        const platform::DirectorySearch search = frameNamesOfFolder(folder, type);
        for (std::size_t i = 0; i < search.size(); ++i)
            found.emplace_back(search.name(i));
        return found;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(names(bitmap::PictureType::Png), (Names{"f_1.png", "f_2.PNG", "f_10.png"}));
    EXPECT_EQ(names(bitmap::PictureType::Jpeg), (Names{"cover.JPEG", "thumb.jpg"}));
    EXPECT_EQ(names(bitmap::PictureType::Bmp), (Names{"old.bmp"}));
    EXPECT_EQ(names(std::nullopt), (Names{"f_1.png", "f_2.PNG", "f_10.png"}));
    EXPECT_EQ(folderTypeForChosen(QStringLiteral("/x/cover.JPEG")), bitmap::PictureType::Jpeg);
    EXPECT_EQ(folderTypeForChosen(QStringLiteral("/x/frame.dib")), bitmap::PictureType::Bmp);

    // As many BMP as PNG files: the bitmaps, as a folder always gave.
    testsupport::writeBytes(dir.file("older.bmp"), "x");
    testsupport::writeBytes(dir.file("oldest.bmp"), "x");
    EXPECT_EQ(names(std::nullopt), (Names{"old.bmp", "older.bmp", "oldest.bmp"}));
}

}  // namespace
}  // namespace kelvora::adding

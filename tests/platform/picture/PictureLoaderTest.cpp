// The picture loader against Qt's own decoder scaled the same way (nearest neighbour): the
// quick road for uncompressed bitmaps must show the same pixels, and no file may crash it.
#include "platform/filesystem/FileOpener.h"
#include "platform/picture/BmpSampler.h"
#include "platform/picture/PictureLoader.h"
#include "tests/support/bmp/BmpFiles.h"

#include <QFile>
#include <QImageReader>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <span>

namespace kelvora::platform {
namespace {

using testsupport::BmpLayout;

const QSize kShown(254, 199);  // the preview control's picture area

// The quick road alone, on a file opened as the loader opens it.
std::optional<QImage> sampleFile(const std::string& path, QSize target)
{
    OpenResult opened = systemFileOpener().open(path, OpenMode::Read);
    if (!opened.file.isOpen())
        return std::nullopt;
    return sampleUncompressedBmp(opened.file, target);
}

// Qt's decoder, scaled nearest-neighbour. Indexed pictures are made true-colour first:
// Qt scales those on another road that breaks ties between source pixels differently.
QImage qtReference(const QString& path, QSize shown)
{
    const QImage full = QImageReader(path).read().convertToFormat(QImage::Format_RGB32);
    if (full.isNull())
        return {};
    return full.scaled(full.size().boundedTo(shown), Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// Pixels that differ between two pictures of the same size (all of them when sizes differ).
int differingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return a.width() * a.height() + 1;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differing += (a.pixel(x, y) | 0xFF000000u) != (b.pixel(x, y) | 0xFF000000u);
    return differing;
}

struct Variant {
    const char* name;
    BmpLayout layout;
};

class UncompressedBitmapTest : public ::testing::TestWithParam<Variant> {};

TEST_P(UncompressedBitmapTest, ShowsWhatQtShowsScaledToTheControl)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("frame.bmp");
    testsupport::writeBmp(path, GetParam().layout);
    const QString qpath = QString::fromStdString(path);

    ASSERT_TRUE(sampleFile(path, kShown).has_value()) << "took the general decoder";
    const QImage shown = LoadPicture(qpath, kShown);
    const QImage expected = qtReference(qpath, kShown);
    ASSERT_FALSE(expected.isNull());
    ASSERT_EQ(shown.size(), expected.size());
    EXPECT_EQ(differingPixels(shown, expected), 0);
}

TEST_P(UncompressedBitmapTest, WithoutAShownSizeGivesTheWholeBitmap)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("frame.bmp");
    testsupport::writeBmp(path, GetParam().layout);
    const QString qpath = QString::fromStdString(path);
    const QImage full = QImageReader(qpath).read().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(differingPixels(LoadPicture(qpath), full), 0);
}

// Sizes on both sides of the control's, odd widths for row padding, and bitmaps large
// enough to be read row by sampled row rather than in one piece.
INSTANTIATE_TEST_SUITE_P(
    Layouts, UncompressedBitmapTest,
    ::testing::Values(Variant{"Rgb24Full", {1920, 1080, 24, 3}}, Variant{"Rgb24TopDown", {1920, -1080, 24, 4}},
                      Variant{"Rgb32Full", {1280, 720, 32, 5}}, Variant{"Rgb32TopDown", {1001, -607, 32, 6}},
                      Variant{"Pal8Full", {1921, 1081, 8, 7}}, Variant{"Pal8TopDown", {643, -480, 8, 8}},
                      Variant{"Rgb24OddSmall", {333, 211, 24, 9}}, Variant{"Rgb24Narrow", {97, 1500, 24, 10}},
                      Variant{"Pal8Flat", {3000, 57, 8, 11}}, Variant{"Rgb24Tiny", {3, 2, 24, 12}},
                      Variant{"Pal8SingleRow", {255, 1, 8, 13}}, Variant{"ExactlyShown", {254, 199, 24, 14}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every file of the BMP test suite either loads or gives a null picture; where the quick
// road takes a file, it shows what Qt shows.
TEST(PictureLoaderCorpusTest, EveryFileLoadsOrGivesNullAndTheQuickRoadAgreesWithQt)
{
    const std::filesystem::path corpus = std::filesystem::path(KELVORA_CORPUS_DIR) / "bmpsuite";
    if (!std::filesystem::exists(corpus))
        GTEST_SKIP() << "no corpus at " << corpus;
    int files = 0;
    int quick = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        if (entry.path().extension() != ".bmp")
            continue;
        ++files;
        const QString path = QString::fromStdString(entry.path().string());
        const QImage shown = LoadPicture(path, kShown);
        (void)LoadPicture(path);
        if (!sampleFile(entry.path().string(), kShown))
            continue;
        ++quick;
        const QImage expected = qtReference(path, kShown);
        if (!expected.isNull()) {
            EXPECT_EQ(differingPixels(shown, expected), 0) << entry.path();
        }
    }
    EXPECT_GT(files, 50);
    EXPECT_GT(quick, 3);
}

// The file's bytes with its headers changed by `change(fileHeader, infoHeader)`.
template <typename Change> std::vector<std::uint8_t> withHeaders(std::vector<std::uint8_t> bytes, Change change)
{
    const std::span<std::uint8_t> file(bytes);
    const auto fileBytes = file.first<binary::kFileHeaderSize>();
    const auto infoBytes = file.subspan<binary::kFileHeaderSize, binary::kInfoHeaderSize>();
    binary::BITMAPFILEHEADER fileHeader = binary::readFileHeader(fileBytes);
    binary::BITMAPINFOHEADER info = binary::readInfoHeader(infoBytes);
    change(fileHeader, info);
    binary::writeFileHeader(fileHeader, fileBytes);
    binary::writeInfoHeader(info, infoBytes);
    return bytes;
}

void writeRaw(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    testsupport::writeBytes(path, std::string(bytes.begin(), bytes.end()));
}

TEST(PictureLoaderTest, UnreadablePathsGiveANullPicture)
{
    testsupport::TempDir dir;
    testsupport::writeBytes(dir.file("empty.bmp"), "");
    testsupport::writeBytes(dir.file("text.bmp"), "not a picture at all");
    for (const std::string& path :
         {std::string(), dir.file("missing.bmp"), dir.file("empty.bmp"), dir.file("text.bmp"), dir.path().string()})
        EXPECT_TRUE(LoadPicture(QString::fromStdString(path), kShown).isNull()) << path;
}

// Headers that promise more than the file holds, or lie about where the pixels are, never
// reach the quick road's reads.
TEST(PictureLoaderTest, HeadersThatDisagreeWithTheFileGoToTheGeneralDecoder)
{
    testsupport::TempDir dir;
    const BmpLayout layout{400, 300, 24, 1};
    std::vector<std::uint8_t> bytes = testsupport::makeBmp(layout);

    std::vector<std::uint8_t> cut(bytes.begin(), bytes.end() - 1000);
    writeRaw(dir.file("cut.bmp"), cut);
    writeRaw(dir.file("offset.bmp"), withHeaders(bytes, [](auto& file, auto&) {
                 file.bfOffBits = 20;  // inside the information header
             }));
    writeRaw(dir.file("height.bmp"),
             withHeaders(bytes, [](auto&, auto& info) { info.biHeight = std::numeric_limits<std::int32_t>::min(); }));
    std::vector<std::uint8_t> headerOnly(bytes.begin(), bytes.begin() + 54);
    writeRaw(dir.file("header.bmp"), headerOnly);

    for (const char* name : {"cut.bmp", "offset.bmp", "height.bmp", "header.bmp"}) {
        EXPECT_FALSE(sampleFile(dir.file(name), kShown).has_value()) << name;
        (void)LoadPicture(QString::fromStdString(dir.file(name)), kShown);  // whatever Qt makes of it, no crash
    }
}

TEST(PictureLoaderTest, PaletteIndicesPastAShortTableShowBlack)
{
    testsupport::TempDir dir;
    // Two entries in use; the rest of the table stays in place, unused.
    std::vector<std::uint8_t> bytes =
        withHeaders(testsupport::makeBmp({4, 1, 8, 1}), [](auto&, auto& info) { info.biClrUsed = 2; });
    const std::size_t pixels = bytes.size() - 4;
    bytes[pixels] = 0, bytes[pixels + 1] = 1, bytes[pixels + 2] = 2, bytes[pixels + 3] = 255;
    writeRaw(dir.file("short.bmp"), bytes);
    const std::optional<QImage> shown = sampleFile(dir.file("short.bmp"), kShown);
    ASSERT_TRUE(shown.has_value());
    ASSERT_EQ(shown->size(), QSize(4, 1));
    EXPECT_EQ(shown->pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(shown->pixel(1, 0), qRgb(1, 1, 1));
    EXPECT_EQ(shown->pixel(2, 0), qRgb(0, 0, 0));
    EXPECT_EQ(shown->pixel(3, 0), qRgb(0, 0, 0));
}

}  // namespace
}  // namespace kelvora::platform

namespace kelvora::platform {
namespace {

TEST(PictureLoaderTest, ARewrittenFileIsReadAgainNotTakenFromTheLastLoad)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("frame.bmp");
    testsupport::writeBmp(path, {8, 8, 24, 1});
    const QImage first = LoadPicture(QString::fromStdString(path), kShown);
    EXPECT_EQ(LoadPicture(QString::fromStdString(path), kShown), first);  // the same file again
    testsupport::writeBmp(path, {8, 8, 24, 2});
    const QImage second = LoadPicture(QString::fromStdString(path), kShown);
    EXPECT_NE(second, first);
    EXPECT_EQ(second, qtReference(QString::fromStdString(path), kShown).convertToFormat(second.format()));
    std::filesystem::remove(path);
    EXPECT_TRUE(LoadPicture(QString::fromStdString(path), kShown).isNull());
}

}  // namespace
}  // namespace kelvora::platform

#include "bitmap/PictureHeader.h"

#include "tests/support/pictures/MadePictures.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace kelvora::bitmap {
namespace {

using Outcome = PictureHeader::Outcome;

PictureHeader readHeaderOf(const std::filesystem::path& path, bool byName = true)
{
    platform::File file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_TRUE(file.isOpen()) << path;
    return readPictureHeader(file, *file.length(), byName ? pictureTypeOfName(path) : std::nullopt);
}

struct PngCase {
    const char* file;
    std::int32_t width, height;
    PngColour colour;
    int depth;
    bool interlaced = false;
    bool animated = false;
};

class PngHeaderTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngHeaderTest, GivesTheFactsTheWriterStored)
{
    const PngCase& c = GetParam();
    const PictureHeader header = readHeaderOf(testsupport::madePictures() / c.file);
    ASSERT_EQ(header.outcome, Outcome::Read) << header.reason;
    EXPECT_EQ(header.type, PictureType::Png);
    EXPECT_EQ(header.width, c.width);
    EXPECT_EQ(header.height, c.height);
    EXPECT_EQ(header.png.colour, c.colour);
    EXPECT_EQ(header.png.bitDepth, c.depth);
    EXPECT_EQ(header.png.interlaced, c.interlaced);
    EXPECT_EQ(header.png.animated, c.animated);
}

using enum PngColour;
INSTANTIATE_TEST_SUITE_P(
    Writers, PngHeaderTest,
    ::testing::Values(
        PngCase{"grey1-pillow.png", 9, 7, Grey, 1}, PngCase{"grey2-magick.png", 23, 17, Grey, 2},
        PngCase{"grey4-magick.png", 23, 17, Grey, 4}, PngCase{"grey8-opencv.png", 31, 5, Grey, 8},
        PngCase{"grey16-opencv.png", 33, 5, Grey, 16}, PngCase{"greyalpha8-pillow.png", 10, 6, GreyAlpha, 8},
        PngCase{"greyalpha16-magick.png", 24, 17, GreyAlpha, 16}, PngCase{"palette1-pillow.png", 12, 4, Palette, 1},
        PngCase{"palette2-pillow.png", 13, 4, Palette, 2}, PngCase{"palette4-pillow.png", 15, 4, Palette, 4},
        PngCase{"palette8-pillow.png", 19, 4, Palette, 8}, PngCase{"rgb8-opencv.png", 40, 30, Rgb, 8},
        PngCase{"rgb16-opencv.png", 41, 30, Rgb, 16}, PngCase{"rgba8-pillow.png", 42, 30, Rgba, 8},
        PngCase{"rgba16-opencv.png", 43, 30, Rgba, 16}, PngCase{"interlaced-magick.png", 44, 30, Rgb, 8, true},
        PngCase{"animated-pillow.png", 45, 30, Rgb, 8, false, true}),
    [](const auto& info) {
        std::string name = info.param.file;
        std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
        return name;
    });

struct JpegCase {
    const char* file;
    std::int32_t width, height;
    JpegProcess process;
    const char* sampling;
    bool arithmetic = false;
    bool cmyk = false;
};

class JpegHeaderTest : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegHeaderTest, GivesTheFactsTheWriterStored)
{
    const JpegCase& c = GetParam();
    const auto path = testsupport::madePictures() / c.file;
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no tool here writes " << c.file;
    const PictureHeader header = readHeaderOf(path);
    ASSERT_EQ(header.outcome, Outcome::Read) << header.reason;
    EXPECT_EQ(header.type, PictureType::Jpeg);
    EXPECT_EQ(header.width, c.width);
    EXPECT_EQ(header.height, c.height);
    EXPECT_EQ(header.jpeg.process, c.process);
    EXPECT_EQ(header.jpeg.samplingText(), c.sampling);
    EXPECT_EQ(header.jpeg.arithmetic, c.arithmetic);
    EXPECT_EQ(header.jpeg.cmyk(), c.cmyk);
    EXPECT_EQ(header.jpeg.precision, 8);
    // Headers decide: a file is read a few KiB at most, however much camera data it carries.
    EXPECT_LE(header.bytesRead, 8192);
}

using enum JpegProcess;
INSTANTIATE_TEST_SUITE_P(Writers, JpegHeaderTest,
                         ::testing::Values(JpegCase{"s420-pillow.jpg", 64, 48, Baseline, "4:2:0"},
                                           JpegCase{"s422-pillow.jpg", 64, 48, Baseline, "4:2:2"},
                                           JpegCase{"s444-pillow.jpeg", 64, 48, Baseline, "4:4:4"},
                                           JpegCase{"grey-opencv.jpg", 65, 48, Baseline, "scala di grigi"},
                                           JpegCase{"s420-magick.jpg", 66, 48, Baseline, "4:2:0"},
                                           JpegCase{"exif-pillow.jpg", 64, 48, Baseline, "4:2:0"},
                                           JpegCase{"progressive-pillow.jpg", 64, 48, Progressive, "4:2:0"},
                                           JpegCase{"cmyk-pillow.jpg", 64, 48, Baseline,
                                                    "campionamento 1×1, 1×1, 1×1, 1×1", false, true},
                                           JpegCase{"arithmetic-cjpeg.jpg", 40, 30, Extended, "4:2:0", true}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
                             return name;
                         });

struct DamagedCase {
    const char* file;
    Outcome outcome;
    const char* reason;
};

class DamagedPictureTest : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedPictureTest, IsRefusedWithItsReason)
{
    const DamagedCase& c = GetParam();
    const PictureHeader header = readHeaderOf(testsupport::madePictures() / c.file);
    EXPECT_EQ(header.outcome, c.outcome);
    EXPECT_EQ(header.reason, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedPictureTest,
    ::testing::Values(
        DamagedCase{"truncated.png", Outcome::Incomplete, "il file finisce dentro un blocco PNG"},
        DamagedCase{"no-end.png", Outcome::Incomplete, "il file finisce prima del blocco finale IEND"},
        DamagedCase{"truncated.jpg", Outcome::Incomplete, "il file finisce prima della fine dell'immagine JPEG (EOI)"},
        DamagedCase{"jpeg-named.png", Outcome::Refused, "il contenuto è un'immagine JPEG, non PNG come dice il nome"},
        DamagedCase{"png-named.jpg", Outcome::Refused, "il contenuto è un'immagine PNG, non JPEG come dice il nome"},
        DamagedCase{"lying-size.png", Outcome::Refused,
                    "dimensioni di 30000×30000 pixel, troppo grandi per un file di 1273 byte"},
        DamagedCase{"lying-crc.png", Outcome::Refused,
                    "l'intestazione PNG (IHDR) è danneggiata: il suo CRC non torna"}),
    [](const auto& info) {
        std::string name = info.param.file;
        std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
        return name;
    });

// Handcrafted headers for what no writer makes: each a few bytes, the rest of the file absent.
using Bytes = std::vector<std::uint8_t>;

PictureHeader readHeaderOfBytes(const Bytes& bytes, const char* name)
{
    const testsupport::TempDir dir;
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return readHeaderOf(path);
}

Bytes jpegWith(std::uint8_t sof, std::uint16_t width, std::uint16_t height, std::uint16_t segmentLength = 17)
{
    Bytes b = {0xFF,
               0xD8,
               0xFF,
               sof,
               static_cast<std::uint8_t>(segmentLength >> 8),
               static_cast<std::uint8_t>(segmentLength),
               8,
               static_cast<std::uint8_t>(height >> 8),
               static_cast<std::uint8_t>(height),
               static_cast<std::uint8_t>(width >> 8),
               static_cast<std::uint8_t>(width),
               3,
               1,
               0x22,
               0,
               2,
               0x11,
               1,
               3,
               0x11,
               1};
    for (const std::uint8_t byte : {0xFF, 0xDA, 0x00, 0x0C, 3, 1, 0, 2, 0x11, 3, 0x11, 0, 63, 0, 0x12, 0xFF, 0xD9})
        b.push_back(byte);
    return b;
}

struct CraftedCase {
    const char* name;
    Bytes bytes;
    Outcome outcome;
    const char* reason;
};

class CraftedHeaderTest : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(CraftedHeaderTest, IsJudgedByItsHeader)
{
    const CraftedCase& c = GetParam();
    const PictureHeader header = readHeaderOfBytes(c.bytes, "frame.jpg");
    EXPECT_EQ(header.outcome, c.outcome);
    EXPECT_EQ(header.reason, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Jpeg, CraftedHeaderTest,
    ::testing::Values(CraftedCase{"Sound", jpegWith(0xC0, 320, 240), Outcome::Read, ""},
                      CraftedCase{"WidestVideo", jpegWith(0xC0, 32767, 8), Outcome::Read, ""},
                      CraftedCase{"WiderThanVideo", jpegWith(0xC0, 32768, 8), Outcome::Refused,
                                  "dimensioni di 32768×8 pixel: un video AVI ha al massimo 32767 pixel per lato"},
                      CraftedCase{"HeightAfterData", jpegWith(0xC0, 320, 0), Outcome::Refused,
                                  "altezza JPEG dichiarata solo dopo i dati (DNL), che i lettori non leggono"},
                      CraftedCase{"HugeForItsLength", jpegWith(0xC0, 30000, 30000), Outcome::Refused,
                                  "dimensioni di 30000×30000 pixel, troppo grandi per un file di 38 byte"},
                      CraftedCase{"SegmentPastTheEnd", jpegWith(0xC0, 320, 240, 4000), Outcome::Incomplete,
                                  "il file finisce dentro un segmento JPEG"},
                      CraftedCase{"FrameHeaderLyingAboutItsLength", jpegWith(0xC0, 320, 240, 14), Outcome::Refused,
                                  "intestazione JPEG (SOF) di lunghezza o numero di componenti non valido"},
                      CraftedCase{"NoFrameHeader", Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xD9}, Outcome::Refused,
                                  "dati JPEG prima dell'intestazione del fotogramma (SOF)"},
                      CraftedCase{"Empty", Bytes{}, Outcome::Refused, "il file è vuoto"},
                      CraftedCase{"NotAPicture", Bytes{'G', 'I', 'F', '8', '9', 'a'}, Outcome::Refused,
                                  "il contenuto del file non è un'immagine JPEG"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JpegProcessTest, FrameMarkersGiveProcessAndCoding)
{
    struct Expected {
        std::uint8_t marker;
        JpegProcess process;
        bool arithmetic;
    };
    for (const Expected e :
         {Expected{0xC0, Baseline, false}, Expected{0xC1, Extended, false}, Expected{0xC2, Progressive, false},
          Expected{0xC9, Extended, true}, Expected{0xCA, Progressive, true}}) {
        const PictureHeader header = readHeaderOfBytes(jpegWith(e.marker, 16, 16), "frame.jpg");
        ASSERT_EQ(header.outcome, Outcome::Read) << header.reason;
        EXPECT_EQ(header.jpeg.process, e.process) << int{e.marker};
        EXPECT_EQ(header.jpeg.arithmetic, e.arithmetic) << int{e.marker};
    }
}

}  // namespace
}  // namespace kelvora::bitmap

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
    [](const auto& info) { return testsupport::pictureCaseName(info.param.file); });

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
                         [](const auto& info) { return testsupport::pictureCaseName(info.param.file); });

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
        DamagedCase{"jpeg-named.png", Outcome::Refused, "il contenuto è un'immagine JPEG, non PNG come dice il nome"},
        DamagedCase{"png-named.jpg", Outcome::Refused, "il contenuto è un'immagine PNG, non JPEG come dice il nome"},
        DamagedCase{"lying-size.png", Outcome::Refused,
                    "dimensioni di 30000×30000 pixel, troppo grandi per un file di 1273 byte"},
        DamagedCase{"lying-crc.png", Outcome::Refused, "l'intestazione PNG (IHDR) è danneggiata: il suo CRC non torna"},
        DamagedCase{"bmp-named.png", Outcome::Refused, "il contenuto è un'immagine BMP, non PNG come dice il nome"}),
    [](const auto& info) { return testsupport::pictureCaseName(info.param.file); });

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

Bytes jpegWith(std::uint8_t sof, std::uint16_t width, std::uint16_t height, std::uint16_t segmentLength = 17,
               int comments = 0)
{
    Bytes b = {0xFF, 0xD8};
    // Comment segments of 65,535 bytes: a file long enough for a large picture to be plausible.
    for (int i = 0; i < comments; ++i) {
        b.insert(b.end(), {0xFF, 0xFE, 0xFF, 0xFF});
        b.resize(b.size() + 65533, ' ');
    }
    b.insert(b.end(), {0xFF, sof, static_cast<std::uint8_t>(segmentLength >> 8),
                       static_cast<std::uint8_t>(segmentLength), 8, static_cast<std::uint8_t>(height >> 8),
                       static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(width >> 8),
                       static_cast<std::uint8_t>(width), 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
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

// A segment inserted after a JPEG's start marker.
Bytes withSegment(Bytes jpeg, std::uint8_t marker, const Bytes& body)
{
    const std::size_t length = body.size() + 2;
    Bytes segment{0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    segment.insert(segment.end(), body.begin(), body.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

std::uint32_t crc32(const std::uint8_t* p, std::size_t n)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

// A 1 x 1 PNG with these chunks (one byte each) before its data.
Bytes pngWith(const std::vector<const char*>& chunks)
{
    Bytes b{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&](const char* type, const Bytes& body) {
        for (int s = 24; s >= 0; s -= 8)
            b.push_back(static_cast<std::uint8_t>(body.size() >> s));
        const std::size_t start = b.size();
        b.insert(b.end(), type, type + 4);
        b.insert(b.end(), body.begin(), body.end());
        const std::uint32_t crc = crc32(&b[start], b.size() - start);
        for (int s = 24; s >= 0; s -= 8)
            b.push_back(static_cast<std::uint8_t>(crc >> s));
    };
    chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0});
    for (const char* type : chunks)
        chunk(type, {0});
    chunk("IDAT", {0x78, 0x01});
    chunk("IEND", {});
    return b;
}

// What decides how a picture is shown: how the camera was held, and colours declared other than sRGB.
TEST(PictureLookTest, HeadersTellOrientationAndDeclaredColours)
{
    const Bytes exif{'E',  'x',  'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                     0x01, 0x12, 0,   3,   0, 0, 0,   1,   0, 6,  0, 0, 0, 0, 0, 0};
    Bytes icc{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
    icc.resize(200, 0);
    const PictureHeader plain = readHeaderOfBytes(jpegWith(0xC0, 320, 240), "plain.jpg");
    EXPECT_EQ(plain.jpeg.orientation, 1);
    EXPECT_FALSE(plain.profiled);
    const PictureHeader turned =
        readHeaderOfBytes(withSegment(withSegment(jpegWith(0xC0, 320, 240), 0xE2, icc), 0xE1, exif), "turned.jpg");
    ASSERT_TRUE(turned.read()) << turned.reason;
    EXPECT_EQ(turned.jpeg.orientation, 6);
    EXPECT_TRUE(turned.profiled);
    const PictureHeader png = readHeaderOfBytes(pngWith({"iCCP"}), "icc.png");
    ASSERT_TRUE(png.read()) << png.reason;
    EXPECT_FALSE(readHeaderOfBytes(pngWith({}), "plain.png").profiled);
    EXPECT_TRUE(readHeaderOfBytes(pngWith({"iCCP"}), "icc.png").profiled);
    EXPECT_TRUE(readHeaderOfBytes(pngWith({"gAMA"}), "gamma.png").profiled);
    EXPECT_FALSE(readHeaderOfBytes(pngWith({"sRGB", "gAMA"}), "srgb.png").profiled);
    EXPECT_TRUE(readHeaderOfBytes(pngWith({"tRNS"}), "key.png").png.transparentKey);
}

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
                      // libavcodec decodes a picture only where 8 x (width rounded up to 64 + 128) x
                      // (height + 128) stays below INT_MAX: 16256 x 16255 decodes, 16255 x 16256 does not.
                      CraftedCase{"LargestDecodable", jpegWith(0xC0, 16256, 16255, 17, 1), Outcome::Read, ""},
                      CraftedCase{"WidestDecodable", jpegWith(0xC0, 32767, 8032, 17, 1), Outcome::Read, ""},
                      CraftedCase{"TooLargeToDecode", jpegWith(0xC0, 16255, 16256, 17, 1), Outcome::Refused,
                                  "dimensioni di 16255×16256 pixel, troppo grandi perché ffmpeg e i lettori video le "
                                  "decodifichino (al massimo circa 268 milioni di pixel compreso un margine: "
                                  "16256×16255, 32767×8032)"},
                      CraftedCase{"TooLongToDecode", jpegWith(0xC0, 32767, 8033, 17, 1), Outcome::Refused,
                                  "dimensioni di 32767×8033 pixel, troppo grandi perché ffmpeg e i lettori video le "
                                  "decodifichino (al massimo circa 268 milioni di pixel compreso un margine: "
                                  "16256×16255, 32767×8032)"},
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

// A file that does not begin as its name says is named for what it is, where that can be told:
// a PNG whose signature a transfer in text mode (or through 7 bits) has changed, OS/2's files.
TEST(PictureContentTest, SaysWhatAFileIsWhereItIsNoPictureOfItsType)
{
    const Bytes ihdr = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    const auto png = [&](Bytes signature) {
        signature.insert(signature.end(), ihdr.begin(), ihdr.end());
        return signature;
    };
    const std::string textMode = "la firma PNG è stata alterata da un trasferimento in modalità testo (";
    const std::string damaged = ", che ha danneggiato anche i dati dell'immagine";
    struct Case {
        Bytes bytes;
        std::string reason;
    };
    for (const Case& c : {
             Case{png({0x89, 'P', 'N', 'G', 0x0D, 0x0D, 0x0A, 0x1A, 0x0D, 0x0A}),
                  textMode + "ogni LF diventato CR LF)" + damaged},
             Case{png({0x89, 'P', 'N', 'G', 0x0A, 0x1A, 0x0A}), textMode + "ogni CR LF diventato LF)" + damaged},
             Case{png({0x89, 'P', 'N', 'G', 0x0D, 0x0D, 0x1A, 0x0D}), textMode + "ogni LF diventato CR)" + damaged},
             Case{png({0x89, 'P', 'N', 'G', 0x0A, 0x0A, 0x1A, 0x0A}), textMode + "ogni CR diventato LF)" + damaged},
             Case{
                 png({0x09, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}),
                 "la firma PNG ha perso il bit più alto del suo primo byte: il file è passato per un trasferimento a 7 "
                 "bit" +
                     damaged},
             Case{png({0x89, 'Q', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}),
                  "la firma PNG (i primi 8 byte del file) è danneggiata"},
             Case{png({'G', 'I', 'F', '8', '9', 'a', 0, 0}), "il contenuto del file non è un'immagine PNG"},
         }) {
        const testsupport::TempDir dir;
        const auto path = dir / "frame.png";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.bytes.data()), static_cast<std::streamsize>(c.bytes.size()));
        const PictureHeader header = readHeaderOf(path);
        EXPECT_EQ(header.outcome, Outcome::Refused);
        EXPECT_EQ(header.reason, c.reason);
    }
    const Bytes array = {'B', 'A', 40, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 3, 'B', 'M'};
    EXPECT_NE(recognisedContent(array).find("bitmap OS/2 (bitmap array, «BA»)"), std::string::npos);
    EXPECT_EQ(recognisedContent(Bytes{'B', 'M', 0, 0}), "");
}

// A JPEG's picture ends at its end marker: data after it (a phone's motion photo, the picture
// then a video) is no part of the frame, and a file cut short in its data has no end at all.
// The headers cannot tell these apart; the walk through the picture's scans can.
TEST(JpegEndTest, ThePictureEndsAtItsEndMarkerWhateverFollows)
{
    struct Case {
        const char* file;
        bool endInTail;
        PictureEnd::Outcome outcome;
        const char* picture;  // the file whose bytes the picture is; null: the file itself
    };
    for (const Case& c : {
             Case{"s420-pillow.jpg", true, PictureEnd::Outcome::Found, nullptr},
             Case{"padded.jpg", true, PictureEnd::Outcome::Found, nullptr},
             Case{"motion-photo.jpg", false, PictureEnd::Outcome::Found, "s420-pillow.jpg"},
             // Several scans, with tables between them.
             Case{"motion-progressive.jpg", false, PictureEnd::Outcome::Found, "progressive-pillow.jpg"},
             Case{"truncated.jpg", false, PictureEnd::Outcome::Incomplete, nullptr},
         }) {
        SCOPED_TRACE(c.file);
        const auto path = testsupport::madePictures() / c.file;
        platform::File file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        const std::int64_t length = *file.length();
        const PictureHeader header = readPictureHeader(file, length, PictureType::Jpeg);
        ASSERT_EQ(header.outcome, Outcome::Read) << header.reason;
        EXPECT_EQ(header.jpeg.endInTail, c.endInTail);
        const PictureEnd end = findPictureEnd(file, length, header);
        EXPECT_EQ(end.outcome, c.outcome) << end.reason;
        if (c.outcome == PictureEnd::Outcome::Incomplete) {
            EXPECT_EQ(end.reason, "il file finisce prima della fine dell'immagine JPEG (EOI)");
            continue;
        }
        const auto picture = c.picture ? testsupport::madePictures() / c.picture : path;
        EXPECT_EQ(end.end, static_cast<std::int64_t>(std::filesystem::file_size(picture)));
    }
}

}  // namespace
}  // namespace kelvora::bitmap

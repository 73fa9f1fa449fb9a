#include "bitmap/FramePlan.h"

#include "bitmap/FrameValidity.h"
#include "tests/bitmap/BitmapTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace kelvora::bitmap {
namespace {

using testsupport::BmpLayout;
using testsupport::Bytes;
using Form = FramePlan::Form;

void putU32(Bytes& file, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putMasks(Bytes& file, std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    putU32(file, 54, red);
    putU32(file, 58, green);
    putU32(file, 62, blue);
}

// An OS/2 bitmap: 12-byte header with 16-bit sides, 3-byte colour entries.
Bytes os2File(std::uint16_t width, std::uint16_t height, std::uint16_t bitCount, std::size_t colours,
              std::size_t pixels)
{
    const std::size_t offBits = 14 + 12 + 3 * colours;
    Bytes file(offBits + pixels, 0);
    file[0] = 'B', file[1] = 'M';
    putU32(file, 2, static_cast<std::uint32_t>(file.size()));
    putU32(file, 10, static_cast<std::uint32_t>(offBits));
    putU32(file, 14, 12);
    file[18] = static_cast<std::uint8_t>(width), file[19] = static_cast<std::uint8_t>(width >> 8);
    file[20] = static_cast<std::uint8_t>(height), file[21] = static_cast<std::uint8_t>(height >> 8);
    file[22] = 1;
    file[24] = static_cast<std::uint8_t>(bitCount);
    for (std::size_t i = 0; i < 3 * colours; ++i)
        file[26 + i] = static_cast<std::uint8_t>(i + 1);
    return file;
}

struct Candidate {
    const char* name;
    std::function<Bytes()> file;
    Form form;
    std::string reason = {};  // what a refusal must say, where the row pins it
};

Bytes laid(BmpLayout layout, const std::function<void(Bytes&)>& edit = {})
{
    Bytes file = testsupport::bmpFile(layout);
    if (edit)
        edit(file);
    return file;
}

std::function<Bytes()> plain(BmpLayout layout, std::function<void(Bytes&)> edit = {})
{
    return [layout, edit] { return laid(layout, edit); };
}

const auto masks = [](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return [=](Bytes& f) { putMasks(f, r, g, b); };
};

class FramePlanOf : public ::testing::TestWithParam<Candidate> {};

struct Loaded {
    testsupport::TempDir folder;
    testsupport::ScriptedMessageBox box;
    cDIB dib{box};
};

void load(Loaded& loaded, const Bytes& file)
{
    testsupport::writeFile(loaded.folder / "frame.bmp", file);
    ASSERT_TRUE(loaded.dib.CreateFromFile((loaded.folder / "frame.bmp").string()));
}

// Every accepted frame's format block is one players read: a 40-byte-or-larger header whose
// depth, sides and compression are the stream's, and up to 8 bits a full colour table at its end.
TEST_P(FramePlanOf, DecidesHowEachKindOfBitmapIsWritten)
{
    Loaded loaded;
    load(loaded, GetParam().file());
    const FramePlan plan = planFrame(loaded.dib);
    EXPECT_EQ(plan.form, GetParam().form) << plan.reason;
    cDIB headers(loaded.box);  // admission's load decides alike
    ASSERT_TRUE(headers.CreateHeadersFromFile((loaded.folder / "frame.bmp").string()));
    const FramePlan fromHeaders = planFrame(headers);
    EXPECT_EQ(fromHeaders.form, plan.form);
    EXPECT_EQ(fromHeaders.format, plan.format);
    if (!plan.accepted()) {
        EXPECT_FALSE(plan.reason.empty());
        if (!GetParam().reason.empty()) {
            EXPECT_EQ(plan.reason, GetParam().reason);
        }
        return;
    }
    const auto header = binary::readInfoHeader(std::span<const std::uint8_t>(plan.format).first<40>());
    EXPECT_GE(header.biSize, 40);
    EXPECT_EQ(header.biWidth, plan.shape.width);
    EXPECT_EQ(header.biHeight, plan.shape.height);
    EXPECT_EQ(header.biBitCount, plan.shape.bitCount);
    EXPECT_EQ(header.biCompression, plan.shape.compression);
    if (plan.shape.bitCount <= 8) {
        ASSERT_EQ(plan.palette.size(), std::size_t{4} << plan.shape.bitCount);
        ASSERT_EQ(plan.format.size(), 40 + plan.palette.size());
        EXPECT_TRUE(std::equal(plan.palette.begin(), plan.palette.end(), plan.format.begin() + 40));
    }
    if (plan.form == Form::AsStored) {
        EXPECT_TRUE(std::equal(plan.format.begin(), plan.format.end(), loaded.dib.PointerToBitmapInfo()));
    }
    EXPECT_LE(plan.format.size(), kLargestFormatBlock);
    if (plan.shape.compression == BI_BITFIELDS) {  // the masks follow the header
        ASSERT_GE(plan.format.size(), 52u);
        EXPECT_TRUE(
            std::equal(plan.format.begin() + 40, plan.format.begin() + 52, loaded.dib.PointerToBitmapInfo() + 40));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, FramePlanOf,
    ::testing::Values(
        Candidate{"Rgb24BottomUp", plain({.bitCount = 24, .sizeImage = 24}), Form::AsStored},
        Candidate{"Rgb24TopDown", plain({.height = -2, .bitCount = 24, .sizeImage = 24}), Form::AsStored},
        Candidate{"Rgb24ImageSizeZero",
                  plain({.bitCount = 24, .sizeImage = 0, .fileSize = 54 + 24, .storedPixels = 24}), Form::AsStored},
        Candidate{"Rgb24PaddedImageSize", plain({.bitCount = 24, .sizeImage = 100, .storedPixels = 24}),
                  Form::AsStored},
        Candidate{"Rgb32", plain({.bitCount = 32, .sizeImage = 32}), Form::AsStored},
        Candidate{"V5Header24", plain({.bitCount = 24, .sizeImage = 24, .offBits = 138, .infoSize = 124}),
                  Form::AsStored},
        Candidate{"Pal8FullTable", plain({.bitCount = 8, .sizeImage = 8, .offBits = 54 + 1024}), Form::AsStored},
        Candidate{"Pal8ShortTable", plain({.bitCount = 8, .sizeImage = 8, .offBits = 54 + 16}), Form::StandardHeader},
        Candidate{"Pal8V5HeaderFullTable",
                  plain({.bitCount = 8, .sizeImage = 8, .offBits = 14 + 124 + 1024, .infoSize = 124}),
                  Form::StandardHeader},
        Candidate{"Pal8TableAfterAGap",
                  plain({.bitCount = 8, .sizeImage = 8, .offBits = 54 + 1024 + 16, .clrUsed = 256}),
                  Form::StandardHeader},
        Candidate{"Pal1", plain({.bitCount = 1, .sizeImage = 8, .offBits = 62}), Form::AsStored},
        Candidate{"Os2Pal8", [] { return os2File(4, 2, 8, 256, 8); }, Form::StandardHeader},
        Candidate{"Os2Rgb24", [] { return os2File(4, 2, 24, 0, 24); }, Form::StandardHeader},
        Candidate{"Rgb16Plain555", plain({.bitCount = 16, .sizeImage = 16}), Form::AsStored},
        Candidate{"Rgb16Masks565",
                  plain({.bitCount = 16, .compression = BI_BITFIELDS, .sizeImage = 16, .offBits = 66},
                        masks(0xF800, 0x07E0, 0x001F)),
                  Form::AsStored},
        Candidate{"Rgb16Masks555",
                  plain({.bitCount = 16, .compression = BI_BITFIELDS, .sizeImage = 16, .offBits = 66},
                        masks(0x7C00, 0x03E0, 0x001F)),
                  Form::StandardHeader},
        Candidate{"Rgb32Masks888",
                  plain({.bitCount = 32, .compression = BI_BITFIELDS, .sizeImage = 32, .offBits = 66},
                        masks(0xFF0000, 0xFF00, 0xFF)),
                  Form::StandardHeader},
        Candidate{"Rgb32V5AlphaMasks",
                  plain({.bitCount = 32, .compression = BI_BITFIELDS, .sizeImage = 32, .offBits = 138, .infoSize = 124},
                        masks(0xFF0000, 0xFF00, 0xFF)),
                  Form::StandardHeader},
        Candidate{"Rgb32UnusualMasks",
                  plain({.bitCount = 32, .compression = BI_BITFIELDS, .sizeImage = 32, .offBits = 66},
                        masks(0xFF000000, 0xFF0000, 0xFF00)),
                  Form::Refused},
        Candidate{"Rgb24MasksClaimed",
                  plain({.bitCount = 24, .compression = BI_BITFIELDS, .sizeImage = 24, .offBits = 66},
                        masks(0xFF0000, 0xFF00, 0xFF)),
                  Form::Refused},
        Candidate{"BitCount2", plain({.bitCount = 2, .sizeImage = 8, .offBits = 70}), Form::Refused},
        Candidate{"BitCount64", plain({.bitCount = 64, .sizeImage = 64}), Form::Refused},
        Candidate{"TwoPlanes", plain({.bitCount = 24, .sizeImage = 24, .planes = 2}), Form::Refused},
        Candidate{"ZeroWidth", plain({.width = 0, .bitCount = 24, .sizeImage = 24}), Form::Refused},
        Candidate{"AreaBeyondDecoders",
                  plain({.width = 100000, .height = 100000, .bitCount = 1, .sizeImage = 1024, .offBits = 62}),
                  Form::Refused},
        // The AVI stream header holds sides of up to 32767 pixels, whatever the codec.
        Candidate{"WidthOf32767", plain({.width = 32767, .height = 1, .bitCount = 24, .sizeImage = 98304}),
                  Form::AsStored},
        Candidate{"WidthOf32768", plain({.width = 32768, .height = 1, .bitCount = 24, .sizeImage = 98304}),
                  Form::Refused, "dimensioni di 32768×1 pixel: un video AVI ha al massimo 32767 pixel per lato"},
        Candidate{"TopDownRowsOf32768",
                  plain({.width = 1, .height = -32768, .bitCount = 1, .sizeImage = 131072, .offBits = 62}),
                  Form::Refused, "dimensioni di 1×32768 pixel: un video AVI ha al massimo 32767 pixel per lato"},
        // A gap before the pixels larger than a stream's format block: the header alone is written.
        Candidate{"Rgb24AfterAGapBeyondAFormatBlock",
                  plain({.bitCount = 24, .sizeImage = 24, .offBits = 54 + (1 << 20)}), Form::StandardHeader},
        Candidate{"Rgb16Masks565AfterAGapBeyondAFormatBlock",
                  plain({.bitCount = 16, .compression = BI_BITFIELDS, .sizeImage = 16, .offBits = 66 + (1 << 20)},
                        masks(0xF800, 0x07E0, 0x001F)),
                  Form::StandardHeader},
        Candidate{"BlockShortOfTheRows", plain({.bitCount = 24, .sizeImage = 20}), Form::Refused},
        Candidate{"FileEndsBeforeTheRows", plain({.bitCount = 24, .sizeImage = 24, .storedPixels = 20}),
                  Form::Incomplete},
        Candidate{
            "Rle8TopDown",
            plain({.height = -2, .bitCount = 8, .compression = BI_RLE8, .sizeImage = 2, .offBits = 70},
                  [](Bytes& f) { f[70] = 0, f[71] = 1; }),
            Form::Refused,
            "compressione RLE8 con le righe dall'alto in basso: i lettori video la leggono solo dal basso in alto"},
        Candidate{"Rle4OfEightBits",
                  plain({.bitCount = 8, .compression = BI_RLE4, .sizeImage = 2, .offBits = 70},
                        [](Bytes& f) { f[70] = 0, f[71] = 1; }),
                  Form::Refused, "compressione RLE4 con 8 bit per pixel: i lettori video la leggono solo con 4 bit"},
        Candidate{"Rle8Sound",
                  plain({.bitCount = 8, .compression = BI_RLE8, .sizeImage = 2, .offBits = 54 + 1024},
                        [](Bytes& f) { f[1078] = 0, f[1079] = 1; }),
                  Form::AsStored},
        Candidate{"JpegInside", plain({.bitCount = 24, .compression = 4, .sizeImage = 24}), Form::Refused,
                  "immagine JPEG dentro il file bitmap: i lettori video non la leggono"},
        // As writers store them: depth 0, the picture's own file as the pixel block.
        Candidate{"JpegInsideOfDepth0", plain({.bitCount = 0, .compression = 4, .sizeImage = 24}), Form::Refused,
                  "immagine JPEG dentro il file bitmap: i lettori video non la leggono"},
        Candidate{"PngInsideOfDepth0", plain({.bitCount = 0, .compression = 5, .sizeImage = 24}), Form::Refused,
                  "immagine PNG dentro il file bitmap: i lettori video non la leggono"},
        Candidate{"HeaderOf20Bytes", plain({.bitCount = 24, .sizeImage = 24, .infoSize = 20}), Form::Refused},
        Candidate{"HeaderSizeFFFFFF00", plain({.bitCount = 24, .sizeImage = 24, .infoSize = -256}), Form::Refused,
                  "intestazione di 4294967040 byte di un tipo sconosciuto"},
        Candidate{"BitCountFFFF", plain({.bitCount = -1, .sizeImage = 24}), Form::Refused,
                  "profondità di colore di 65535 bit: i lettori video usano 1, 4, 8, 16, 24 o 32 bit"}),
    [](const auto& info) { return std::string(info.param.name); });

// A short or OS/2 colour table keeps its colours, each at its own index, padded with black.
TEST(FramePlan, StandardHeaderKeepsEveryColourAtItsIndex)
{
    Loaded loaded;
    load(loaded, os2File(4, 2, 8, 3, 8));
    const FramePlan plan = planFrame(loaded.dib);
    ASSERT_EQ(plan.form, Form::StandardHeader);
    const Bytes expected{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), plan.palette.begin()));
    const auto header = binary::readInfoHeader(std::span<const std::uint8_t>(plan.format).first<40>());
    EXPECT_EQ(header.biClrUsed, 256);
    EXPECT_EQ(header.biSizeImage, 8);
}

TEST(FramePlan, FormatWithPaletteReplacesOnlyTheTable)
{
    const Bytes format = [] {
        Bytes f(40 + 8, 7);
        f[0] = 40;
        return f;
    }();
    const Bytes palette{1, 2, 3, 0, 4, 5, 6, 0};
    const Bytes changed = formatWithPalette(format, palette);
    EXPECT_TRUE(std::equal(format.begin(), format.begin() + 40, changed.begin()));
    EXPECT_TRUE(std::equal(palette.begin(), palette.end(), changed.begin() + 40));
}

}  // namespace
}  // namespace kelvora::bitmap

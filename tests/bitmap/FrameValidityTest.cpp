#include "bitmap/FrameValidity.h"

#include "tests/bitmap/BitmapTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace kelvora::bitmap {
namespace {

using testsupport::BmpLayout;
using testsupport::Bytes;

void putMasks(Bytes& file, std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    std::size_t at = 54;
    for (const std::uint32_t mask : {red, green, blue})
        for (int i = 0; i < 4; ++i)
            file[at++] = static_cast<std::uint8_t>(mask >> (8 * i));
}

struct Candidate {
    const char* name;
    BmpLayout layout;
    bool decodable;
    std::function<void(Bytes&)> edit = {};
};

class FrameValidity : public ::testing::TestWithParam<Candidate> {};

TEST_P(FrameValidity, TellsFramesPlayersDecodeFromOthers)
{
    testsupport::TempDir folder;
    Bytes file = testsupport::bmpFile(GetParam().layout);
    if (GetParam().edit)
        GetParam().edit(file);
    testsupport::writeFile(folder / "frame.bmp", file);
    testsupport::ScriptedMessageBox box;
    cDIB dib(box);
    ASSERT_TRUE(dib.CreateFromFile((folder / "frame.bmp").string()));
    EXPECT_EQ(isDecodableFrame(dib), GetParam().decodable);
}

const auto masks565 = [](Bytes& f) { putMasks(f, 0xF800, 0x07E0, 0x001F); };

INSTANTIATE_TEST_SUITE_P(
    Headers, FrameValidity,
    ::testing::Values(
        Candidate{"Rgb24BottomUp", {.width = 4, .height = 2, .bitCount = 24, .sizeImage = 24}, true},
        Candidate{"Rgb24TopDown", {.width = 4, .height = -2, .bitCount = 24, .sizeImage = 24}, true},
        Candidate{"Rgb32", {.width = 4, .height = 2, .bitCount = 32, .sizeImage = 32}, true},
        Candidate{"Pal8FullTable", {.width = 4, .height = 2, .bitCount = 8, .sizeImage = 8, .offBits = 54 + 1024}, true},
        Candidate{"Pal8ShortTable", {.width = 4, .height = 2, .bitCount = 8, .sizeImage = 8, .offBits = 54 + 16}, true},
        Candidate{"Pal1", {.width = 4, .height = 2, .bitCount = 1, .sizeImage = 8, .offBits = 62}, true},
        Candidate{"V5Header24", {.width = 4, .height = 2, .bitCount = 24, .sizeImage = 24, .offBits = 138, .infoSize = 124}, true},
        Candidate{"Rgb16Masks565", {.width = 4, .height = 2, .bitCount = 16, .compression = BI_BITFIELDS, .sizeImage = 16, .offBits = 66}, true, masks565},
        Candidate{"BitCount30000", {.width = 4, .height = 2, .bitCount = 30000, .sizeImage = 24}, false},
        Candidate{"BitCount2", {.width = 4, .height = 2, .bitCount = 2, .sizeImage = 8, .offBits = 70}, false},
        Candidate{"BitCount64", {.width = 4, .height = 2, .bitCount = 64, .sizeImage = 64}, false},
        Candidate{"TwoPlanes", {.width = 4, .height = 2, .bitCount = 24, .sizeImage = 24, .planes = 2}, false},
        Candidate{"ZeroWidth", {.width = 0, .height = 2, .bitCount = 24, .sizeImage = 24}, false},
        Candidate{"NegativeWidth", {.width = -4, .height = 2, .bitCount = 24, .sizeImage = 24}, false},
        Candidate{"ZeroHeight", {.width = 4, .height = 0, .bitCount = 24, .sizeImage = 24}, false},
        Candidate{"AreaBeyondDecoders", {.width = 100000, .height = 100000, .bitCount = 1, .sizeImage = 1024, .offBits = 62}, false},
        Candidate{"BlockShortOfTheRows", {.width = 4, .height = 2, .bitCount = 24, .sizeImage = 20}, false},
        Candidate{"Rle8With24Bits", {.width = 4, .height = 2, .bitCount = 24, .compression = BI_RLE8, .sizeImage = 24}, false},
        Candidate{"Rle4With8Bits", {.width = 4, .height = 2, .bitCount = 8, .compression = BI_RLE4, .sizeImage = 8, .offBits = 70}, false},
        Candidate{"Rle8TopDown", {.width = 4, .height = -2, .bitCount = 8, .compression = BI_RLE8, .sizeImage = 2, .offBits = 70}, false,
                  [](Bytes& f) { f[70] = 0, f[71] = 1; }},
        Candidate{"BitFieldsWith32Bits", {.width = 4, .height = 2, .bitCount = 32, .compression = BI_BITFIELDS, .sizeImage = 32, .offBits = 66}, false,
                  [](Bytes& f) { putMasks(f, 0xFF0000, 0xFF00, 0xFF); }},
        Candidate{"BitFields16Of555", {.width = 4, .height = 2, .bitCount = 16, .compression = BI_BITFIELDS, .sizeImage = 16, .offBits = 66}, false,
                  [](Bytes& f) { putMasks(f, 0x7C00, 0x03E0, 0x001F); }},
        Candidate{"JpegInside", {.width = 4, .height = 2, .bitCount = 24, .compression = 4, .sizeImage = 24}, false},
        Candidate{"Os2Header", {.width = 4, .height = 2, .bitCount = 24, .sizeImage = 24, .offBits = 26, .infoSize = 12}, false},
        Candidate{"Pal8TableAfterAGap", {.width = 4, .height = 2, .bitCount = 8, .sizeImage = 8, .offBits = 54 + 1024 + 16}, false},
        Candidate{"Pal8V4HeaderShortTable", {.width = 4, .height = 2, .bitCount = 8, .sizeImage = 8, .offBits = 14 + 108 + 16, .infoSize = 108}, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct RleCase {
    const char* name;
    Bytes bits;
    bool sound;
};

class Rle8Stream : public ::testing::TestWithParam<RleCase> {};
class Rle4Stream : public ::testing::TestWithParam<RleCase> {};

// A 4 x 2 picture.
TEST_P(Rle8Stream, IsSoundOnlyInsideThePicture) { EXPECT_EQ(isSoundRle8(GetParam().bits, 4, 2), GetParam().sound); }
TEST_P(Rle4Stream, IsSoundOnlyInsideThePicture) { EXPECT_EQ(isSoundRle4(GetParam().bits, 4, 2), GetParam().sound); }

INSTANTIATE_TEST_SUITE_P(
    Blocks, Rle8Stream,
    ::testing::Values(RleCase{"RunsLinesAndEnd", {4, 1, 0, 0, 4, 2, 0, 1}, true},
                      RleCase{"EndsWithoutEndCode", {4, 1, 0, 0, 4, 2}, true},
                      RleCase{"PaddedLiteral", {0, 3, 9, 8, 7, 0, 0, 0, 4, 1, 0, 1}, true},
                      RleCase{"RunPastTheRow", {5, 1, 0, 1}, false},
                      RleCase{"LiteralPastTheRow", {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, false},
                      RleCase{"DeltaPastTheRow", {0, 2, 5, 0}, false},
                      RleCase{"DeltaBelowTheLastRow", {0, 2, 0, 2}, false},
                      RleCase{"LiteralCutShort", {0, 4, 1, 2}, false},
                      RleCase{"LineAfterTheLastOne", {4, 1, 0, 0, 4, 1, 0, 0, 4, 1}, false}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Blocks, Rle4Stream,
    ::testing::Values(RleCase{"RunsLinesAndEnd", {4, 0x12, 0, 0, 4, 0x34, 0, 1}, true},
                      RleCase{"PaddedLiteral", {0, 3, 0x12, 0x30, 0, 0, 4, 0x11, 0, 1}, true},
                      RleCase{"RunPastTheRow", {6, 0x12, 0, 1}, false},
                      RleCase{"BytesLeftAfterTheLastRow", {4, 0x12, 0, 0, 4, 0x12, 0, 0, 0, 0}, false},
                      RleCase{"CutBeforeTheEnd", {4, 0x12}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvora::bitmap

#include "photo/Framing.h"

#include <gtest/gtest.h>

namespace kelvora::photo {
namespace {

TEST(FramingTest, ReadsSizesByNameAndBySides)
{
    EXPECT_EQ(parseOutputSize("1080p"), (OutputSize{1920, 1080}));
    EXPECT_EQ(parseOutputSize("720P"), (OutputSize{1280, 720}));
    EXPECT_EQ(parseOutputSize("4k"), (OutputSize{3840, 2160}));
    EXPECT_EQ(parseOutputSize("original"), OutputSize{});
    EXPECT_EQ(parseOutputSize("1080x1920"), (OutputSize{1080, 1920}));
    EXPECT_EQ(parseOutputSize("16X16"), (OutputSize{16, 16}));
    EXPECT_EQ(parseOutputSize("8192\xC3\x97"
                              "8192"),
              (OutputSize{8192, 8192}));
    // Odd, too small, too large, signs, spaces and other words are refused.
    for (const char* bad : {"1081x720", "14x14", "8194x100", "-1920x1080", "1920 x 1080", "1920x", "x1080", "hd", ""})
        EXPECT_FALSE(parseOutputSize(bad)) << bad;
}

TEST(FramingTest, ReadsColoursAndFits)
{
    EXPECT_EQ(parseColour("#102030"), (Rgb{0x10, 0x20, 0x30}));
    EXPECT_EQ(parseColour("#fA0"), (Rgb{0xFF, 0xAA, 0x00}));
    EXPECT_EQ(parseColour("White"), (Rgb{255, 255, 255}));
    EXPECT_EQ(parseColour("nero"), (Rgb{0, 0, 0}));
    for (const char* bad : {"#12345", "#1234567", "102030", "#GG0000", "bluish"})
        EXPECT_FALSE(parseColour(bad)) << bad;
    EXPECT_EQ(colourText({1, 171, 255}), "#01ABFF");
    EXPECT_EQ(parseFit("crop"), Fit::Crop);
    EXPECT_FALSE(parseFit("stretch"));
}

TEST(FramingTest, LetterboxKeepsThePictureWholeAndCentred)
{
    // A 4:3 photo in a 16:9 frame: bars left and right, the height whole.
    const Placement wide = place(4000, 3000, {1920, 1080}, Fit::Letterbox);
    EXPECT_EQ(wide.height, 1080);
    EXPECT_EQ(wide.width, 1440);
    EXPECT_EQ(wide.x, 240);
    EXPECT_EQ(wide.y, 0);
    EXPECT_EQ(wide.sourceWidth, 4000);
    // A portrait photo in a landscape frame, and a landscape one in a portrait frame.
    const Placement tall = place(3000, 4000, {1280, 720}, Fit::Letterbox);
    EXPECT_EQ(tall.width, 540);
    EXPECT_EQ(tall.x, 370);
    const Placement flat = place(1920, 1080, {1080, 1920}, Fit::Letterbox);
    EXPECT_EQ(flat.width, 1080);
    EXPECT_EQ(flat.height, 608);  // 607.5 rounded
    EXPECT_EQ(flat.y, 656);
    // The same proportions: the frame filled exactly, no bar of a pixel from a rounding.
    const Placement same = place(3840, 2160, {1280, 720}, Fit::Letterbox);
    EXPECT_EQ(same.width, 1280);
    EXPECT_EQ(same.height, 720);
    EXPECT_TRUE(place(640, 480, {640, 480}, Fit::Letterbox).identity(640, 480));
    // A picture of one pixel's height still shows.
    EXPECT_EQ(place(5000, 1, {16, 16}, Fit::Letterbox).height, 1);
}

TEST(FramingTest, CropFillsTheFrameFromThePictureCentre)
{
    const Placement wide = place(4000, 3000, {1920, 1080}, Fit::Crop);
    EXPECT_EQ(wide.x, 0);
    EXPECT_EQ(wide.width, 1920);
    EXPECT_DOUBLE_EQ(wide.sourceWidth, 4000);
    EXPECT_DOUBLE_EQ(wide.sourceHeight, 2250);
    EXPECT_DOUBLE_EQ(wide.sourceY, 375);
    const Placement tall = place(1000, 3000, {1080, 1080}, Fit::Crop);
    EXPECT_DOUBLE_EQ(tall.sourceWidth, 1000);
    EXPECT_DOUBLE_EQ(tall.sourceHeight, 1000);
    EXPECT_DOUBLE_EQ(tall.sourceY, 1000);
}

TEST(FramingTest, FitsLargePicturesWithinABoundAndLeavesSmallOnes)
{
    EXPECT_EQ(fitWithin(6000, 4000, {3840, 2160}), (OutputSize{3240, 2160}));
    EXPECT_EQ(fitWithin(4056, 3040, {3840, 2160}), (OutputSize{2880, 2160}));
    EXPECT_EQ(fitWithin(3000, 4000, {2160, 3840}), (OutputSize{2160, 2880}));
    EXPECT_EQ(fitWithin(1921, 1081, {3840, 2160}), (OutputSize{1921, 1081}));
    EXPECT_EQ(fitWithin(100000, 3, {3840, 2160}), (OutputSize{3840, 2}));
}

}  // namespace
}  // namespace kelvora::photo

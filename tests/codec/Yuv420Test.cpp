// The conversion to H.264's pictures: BT.709 limited range, chroma from the 2 x 2 block,
// odd sizes padded by repeating the last column and row.

#include "codec/Yuv420.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace kelvora::codec {
namespace {

struct Planes {
    std::vector<std::uint8_t> bytes;
    EvenSize size;
    [[nodiscard]] int y(int x, int row) const { return bytes[static_cast<std::size_t>(row * size.width + x)]; }
    [[nodiscard]] int cb(int x, int row) const
    {
        return bytes[static_cast<std::size_t>(size.width * size.height + row * size.width / 2 + x)];
    }
    [[nodiscard]] int cr(int x, int row) const
    {
        return bytes[static_cast<std::size_t>(size.width * size.height * 5 / 4 + row * size.width / 2 + x)];
    }
};

Planes convert(const std::vector<std::array<std::uint8_t, 3>>& pixels, int width, int height)
{
    std::vector<std::uint8_t> rgb;
    for (const auto& p : pixels)
        rgb.insert(rgb.end(), p.begin(), p.end());
    Planes out;
    out.size = evenSize({width, height, 24, 0});
    out.bytes.resize(out.size.planeBytes());
    rgbToYuv420(rgb.data(), width * 3, width, height, out.size, out.bytes);
    return out;
}

// Flat patches of the colour bars: Y', Cb, Cr as BT.709 defines them in limited range (BT.601
// would give green Y' 145, Cb 54, Cr 34: a player that mixes the two shows other colours).
TEST(Yuv420Test, ColourBarsTakeBt709LimitedRangeValues)
{
    struct Case {
        std::array<std::uint8_t, 3> rgb;
        int y, cb, cr;
    };
    const Case cases[] = {
        {{255, 255, 255}, 235, 128, 128}, {{0, 0, 0}, 16, 128, 128},     {{128, 128, 128}, 126, 128, 128},
        {{255, 0, 0}, 63, 102, 240},      {{0, 255, 0}, 173, 42, 26},    {{0, 0, 255}, 32, 240, 118},
        {{255, 255, 0}, 219, 16, 138},    {{0, 255, 255}, 188, 154, 16}, {{255, 0, 255}, 78, 214, 230},
    };
    for (const Case& c : cases) {
        const Planes p = convert(std::vector(4, c.rgb), 2, 2);
        SCOPED_TRACE(testing::Message() << int{c.rgb[0]} << "," << int{c.rgb[1]} << "," << int{c.rgb[2]});
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(p.y(i % 2, i / 2), c.y);
        EXPECT_EQ(p.cb(0, 0), c.cb);
        EXPECT_EQ(p.cr(0, 0), c.cr);
    }
}

// Chroma stands for its whole block: a block half red, half blue has the mean's chroma, not
// that of its top-left pixel.
TEST(Yuv420Test, ChromaIsTheMeanOfItsBlock)
{
    const Planes p = convert({{255, 0, 0}, {0, 0, 255}, {0, 0, 255}, {255, 0, 0}}, 2, 2);
    const Planes mean = convert(std::vector(4, std::array<std::uint8_t, 3>{128, 0, 128}), 2, 2);
    EXPECT_NEAR(p.cb(0, 0), mean.cb(0, 0), 1);
    EXPECT_NEAR(p.cr(0, 0), mean.cr(0, 0), 1);
    EXPECT_EQ(p.y(0, 0), 63);
    EXPECT_EQ(p.y(1, 0), 32);
}

// 3 x 3 becomes 4 x 4: the last column and row repeat, nothing is scaled; the padded block's
// chroma is its pixels' own.
TEST(Yuv420Test, OddSizesArePaddedByRepeatingTheLastColumnAndRow)
{
    const std::array<std::uint8_t, 3> k{0, 0, 0}, w{255, 255, 255}, r{255, 0, 0};
    const Planes p = convert({k, w, r, w, k, r, r, r, w}, 3, 3);
    ASSERT_EQ(p.size.width, 4);
    ASSERT_EQ(p.size.height, 4);
    const int expected[4][4] = {{16, 235, 63, 63}, {235, 16, 63, 63}, {63, 63, 235, 235}, {63, 63, 235, 235}};
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(p.y(x, row), expected[row][x]) << x << "," << row;
    EXPECT_EQ(p.cr(1, 0), 240);  // red and its copies
    EXPECT_EQ(p.cr(0, 1), 240);
    EXPECT_EQ(p.cb(1, 1), 128);  // white and its copies
    EXPECT_EQ(p.cr(0, 0), 128);  // black and white: grey
}

}  // namespace
}  // namespace kelvora::codec

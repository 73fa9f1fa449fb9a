#include "codec/CodecPixels.h"
#include "platform/binary/BitmapRecords.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <string>
#include <vector>

namespace kelvora::codec {
namespace {

// 24-bit rows become red, green, blue (PNG) or blue, green, red, 0 (FFV1) at every width,
// whatever the row order: the fast path takes pixels four at a time and reads (and for RGB
// writes) past each step's 12 bytes, so widths around its steps and the row's end are where
// it could go wrong. A guard after the row must come out untouched.
TEST(CodecPixelsTest, TwentyFourBitRowsReachBothLayoutsAtEveryWidth)
{
    std::mt19937 random(7);
    constexpr std::size_t kRows = 3;
    constexpr std::uint8_t kGuard = 0xA5;
    for (std::int32_t width = 1; width <= 40; ++width) {
        for (const auto& [layout, bottomUp] :
             {std::pair{PixelLayout::Rgb24, true}, std::pair{PixelLayout::Rgb24, false},
              std::pair{PixelLayout::Bgr0, true}}) {
            const bool rgb = layout == PixelLayout::Rgb24;
            SCOPED_TRACE("width " + std::to_string(width) + (bottomUp ? " bottom-up" : " top-down") +
                         (rgb ? " RGB" : " BGR0"));
            const auto stride = static_cast<std::size_t>(binary::rowStride(width, 24));
            std::vector<std::uint8_t> bits(stride * kRows);
            for (std::uint8_t& byte : bits)
                byte = static_cast<std::uint8_t>(random());
            const bitmap::StreamShape shape{width, bottomUp ? std::int32_t{kRows} : -std::int32_t{kRows}, 24, 0, 0};
            const CodecRows rows(shape, bits, {}, layout);
            const std::size_t step = rgb ? 3 : 4;
            const std::size_t rowBytes = step * static_cast<std::size_t>(width);
            std::vector<std::uint8_t> out(rowBytes + 16, kGuard);
            for (std::size_t y = 0; y < kRows; ++y) {
                rows.row(y, out.data());
                const std::uint8_t* stored = bits.data() + (bottomUp ? kRows - 1 - y : y) * stride;
                for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
                    const std::uint8_t* pixel = out.data() + step * x;
                    ASSERT_EQ(pixel[0], stored[3 * x + (rgb ? 2 : 0)]) << "pixel " << x;
                    ASSERT_EQ(pixel[1], stored[3 * x + 1]) << "pixel " << x;
                    ASSERT_EQ(pixel[2], stored[3 * x + (rgb ? 0 : 2)]) << "pixel " << x;
                    if (!rgb) {
                        ASSERT_EQ(pixel[3], 0) << "pixel " << x;
                    }
                }
                for (std::size_t i = rowBytes; i < out.size(); ++i)
                    ASSERT_EQ(out[i], kGuard) << "byte " << i << " past the row";
            }
        }
    }
}

}  // namespace
}  // namespace kelvora::codec

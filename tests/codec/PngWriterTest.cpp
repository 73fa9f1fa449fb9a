#include "codec/LosslessDecoder.h"
#include "codec/PngWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace kelvora::codec {
namespace {

enum class Content { Noise, Gradient, Flat };

std::vector<std::uint8_t> picture(std::size_t width, std::size_t rows, std::size_t bpp, Content content,
                                  std::uint32_t seed)
{
    std::vector<std::uint8_t> pixels(width * rows * bpp);
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::size_t x = i % (width * bpp), y = i / (width * bpp);
        switch (content) {
        case Content::Noise:
            pixels[i] = static_cast<std::uint8_t>(random());
            break;
        case Content::Gradient:  // smooth both ways: every filter has rows it wins
            pixels[i] = static_cast<std::uint8_t>(x * 3 + y * 5 + (random() % 3));
            break;
        case Content::Flat:
            pixels[i] = static_cast<std::uint8_t>(seed);
            break;
        }
    }
    return pixels;
}

// Every size from 1 x 1 to 9 x 9 and a few extremes, RGB and palette, decoded by libavcodec
// back to the very pixels (and colours) written.
TEST(PngWriterTest, EveryPictureDecodesToItsPixelsWithLibavcodec)
{
    struct Size {
        std::size_t width, rows;
    };
    std::vector<Size> sizes;
    for (std::size_t w = 1; w <= 9; ++w)
        for (std::size_t h = 1; h <= 9; ++h)
            sizes.push_back({w, h});
    for (const Size extreme : {Size{1, 1000}, Size{1000, 1}, Size{1920, 2}, Size{333, 257}})
        sizes.push_back(extreme);
    PngWriter writer;
    CodecPalette colours{};
    for (std::size_t i = 0; i < colours.size(); ++i)
        colours[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 0x010203u & 0xFFFFFF);
    std::vector<std::uint8_t> png;
    std::uint32_t seed = 1;
    for (const Size size : sizes) {
        for (const PixelLayout layout : {PixelLayout::Rgb24, PixelLayout::Pal8}) {
            for (const Content content : {Content::Noise, Content::Gradient, Content::Flat}) {
                SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.rows) + " " +
                             (layout == PixelLayout::Pal8 ? "pal8" : "rgb24") + " content " +
                             std::to_string(static_cast<int>(content)));
                const std::size_t bpp = bytesPerPixel(layout);
                const std::vector<std::uint8_t> pixels = picture(size.width, size.rows, bpp, content, ++seed);
                ASSERT_TRUE(writer.write({layout, size.width, size.rows, pixels, size.width * bpp, &colours}, png));
                std::string error;
                auto decoder = LosslessDecoder::open(Codec::Png, {}, static_cast<int>(size.width),
                                                     static_cast<int>(size.rows), 1, error);
                ASSERT_TRUE(decoder) << error;
                ASSERT_TRUE(decoder->decode(png, error)) << error;
                const DecodedPicture decoded = decoder->picture();
                ASSERT_EQ(decoded.width, static_cast<int>(size.width));
                ASSERT_EQ(decoded.height, static_cast<int>(size.rows));
                ASSERT_EQ(decoded.layout, layout);
                for (std::size_t r = 0; r < size.rows; ++r)
                    ASSERT_EQ(std::memcmp(decoded.data + static_cast<std::ptrdiff_t>(r) * decoded.stride,
                                          pixels.data() + r * size.width * bpp, size.width * bpp),
                              0)
                        << "row " << r;
                if (layout == PixelLayout::Pal8) {
                    EXPECT_EQ(decoded.palette, colours);
                }
            }
        }
    }
}

TEST(PngWriterTest, RefusesWhatNoPngHolds)
{
    PngWriter writer;
    std::vector<std::uint8_t> png, pixels(16);
    EXPECT_FALSE(writer.write({PixelLayout::Bgr0, 2, 2, pixels, 8, nullptr}, png));
    EXPECT_FALSE(writer.write({PixelLayout::Rgb24, 0, 2, pixels, 0, nullptr}, png));
    EXPECT_FALSE(writer.write({PixelLayout::Pal8, 2, 2, pixels, 2, nullptr}, png));  // no colours
}

}  // namespace
}  // namespace kelvora::codec

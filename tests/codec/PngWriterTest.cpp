#include "codec/LosslessDecoder.h"
#include "codec/PngWriter.h"

#include <gtest/gtest.h>
#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <random>
#include <set>
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

PngPicture pictureOf(PixelLayout layout, std::size_t width, std::size_t rows, std::span<const std::uint8_t> pixels,
                     const CodecPalette* colours)
{
    return {layout, width, rows, pixels, width * bytesPerPixel(layout), colours, {}};
}

std::uint32_t bigEndian(const std::uint8_t* at)
{
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}

// The filter type of each row of `png`, read from its inflated IDAT data.
std::vector<std::uint8_t> rowFilters(const std::vector<std::uint8_t>& png, std::size_t rowBytes, std::size_t rows)
{
    std::vector<std::uint8_t> idat;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = bigEndian(png.data() + at);
        if (std::memcmp(png.data() + at + 4, "IDAT", 4) == 0)
            idat.insert(idat.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                        png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        at += 12 + length;
    }
    std::vector<std::uint8_t> filtered(rows * (rowBytes + 1));
    const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    EXPECT_EQ(
        libdeflate_zlib_decompress(inflater.get(), idat.data(), idat.size(), filtered.data(), filtered.size(), nullptr),
        LIBDEFLATE_SUCCESS);
    std::vector<std::uint8_t> filters;
    for (std::size_t r = 0; r < rows; ++r)
        filters.push_back(filtered[r * (rowBytes + 1)]);
    return filters;
}

// Every size from 1 x 1 to 9 x 9 and a few extremes, RGB and palette, decoded by libavcodec
// back to the very pixels (and colours) written, and read back by the writer's own check as
// the same picture. RGB pictures use each of the writer's row filters somewhere.
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
    std::set<std::uint8_t> filtersUsed;
    for (const Size size : sizes) {
        for (const PixelLayout layout : {PixelLayout::Rgb24, PixelLayout::Pal8}) {
            for (const Content content : {Content::Noise, Content::Gradient, Content::Flat}) {
                SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.rows) + " " +
                             (layout == PixelLayout::Pal8 ? "pal8" : "rgb24") + " content " +
                             std::to_string(static_cast<int>(content)));
                const std::size_t bpp = bytesPerPixel(layout);
                const std::vector<std::uint8_t> pixels = picture(size.width, size.rows, bpp, content, ++seed);
                const PngPicture written = pictureOf(layout, size.width, size.rows, pixels, &colours);
                ASSERT_TRUE(writer.write(written, png));
                EXPECT_EQ(writer.compare(png, written).kind, PngMismatch::Kind::None);
                for (const std::uint8_t filter : rowFilters(png, size.width * bpp, size.rows)) {
                    if (layout == PixelLayout::Pal8) {
                        EXPECT_EQ(filter, 0);
                    }
                    filtersUsed.insert(filter);
                }
                auto opened =
                    LosslessDecoder::open(Codec::Png, {}, static_cast<int>(size.width), static_cast<int>(size.rows), 1);
                ASSERT_TRUE(opened) << opened.error();
                const auto decoder = std::move(opened).value();
                const auto decodedPng = decoder->decode(png);
                ASSERT_TRUE(decodedPng) << decodedPng.error();
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
    EXPECT_EQ(filtersUsed, (std::set<std::uint8_t>{0, 1, 2}));
}

// The writer's own check catches a damaged or wrong image: a chunk failing its CRC, deflate
// data damaged under a good CRC, a cut image, another size, other colours or pixels.
TEST(PngWriterTest, TheCheckCatchesEveryDamagedOrWrongImage)
{
    PngWriter writer;
    CodecPalette colours{};
    colours.fill(0xFF102030u);
    const std::vector<std::uint8_t> rgb = picture(40, 30, 3, Content::Gradient, 7);
    const std::vector<std::uint8_t> indices = picture(40, 30, 1, Content::Noise, 8);
    const PngPicture rgbPicture = pictureOf(PixelLayout::Rgb24, 40, 30, rgb, &colours);
    const PngPicture palettePicture = pictureOf(PixelLayout::Pal8, 40, 30, indices, &colours);
    std::vector<std::uint8_t> rgbPng, palettePng;
    ASSERT_TRUE(writer.write(rgbPicture, rgbPng));
    ASSERT_TRUE(writer.write(palettePicture, palettePng));
    const std::size_t idatData = 8 + 25 + 8;  // signature, IHDR chunk, IDAT's length and type

    auto damagedData = rgbPng;  // a byte of deflate data, the chunk's CRC made good again
    damagedData[idatData + 5] ^= 0x10;
    const std::size_t idatLength = bigEndian(rgbPng.data() + idatData - 8);
    const std::uint32_t crc = libdeflate_crc32(0, damagedData.data() + idatData - 4, 4 + idatLength);
    for (int i = 0; i < 4; ++i)
        damagedData[idatData + idatLength + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    auto badCrc = rgbPng;
    badCrc[idatData + 5] ^= 0x10;
    const std::vector<std::uint8_t> cut(rgbPng.begin(), rgbPng.end() - 20);
    std::vector<std::uint8_t> otherPixels = rgb;
    otherPixels[3 * (40 * 12 + 17) + 1] ^= 1;  // row 12, column 17
    CodecPalette otherColours = colours;
    otherColours[200] = 0xFF000000u;

    struct Case {
        const char* name;
        const std::vector<std::uint8_t>& png;
        PngPicture against;
        PngMismatch::Kind kind;
    };
    const Case cases[] = {
        {"CRC", badCrc, rgbPicture, PngMismatch::Kind::Unreadable},
        {"deflate data", damagedData, rgbPicture, PngMismatch::Kind::Unreadable},
        {"cut", cut, rgbPicture, PngMismatch::Kind::Unreadable},
        {"size", rgbPng, pictureOf(PixelLayout::Rgb24, 30, 40, rgb, &colours), PngMismatch::Kind::Shape},
        {"layout", palettePng, rgbPicture, PngMismatch::Kind::Shape},
        {"colours", palettePng, pictureOf(PixelLayout::Pal8, 40, 30, indices, &otherColours),
         PngMismatch::Kind::Palette},
        {"pixels", rgbPng, pictureOf(PixelLayout::Rgb24, 40, 30, otherPixels, &colours), PngMismatch::Kind::Pixels},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PngMismatch mismatch = writer.compare(c.png, c.against);
        EXPECT_EQ(mismatch.kind, c.kind) << mismatch.reason;
    }
    const PngMismatch pixels = writer.compare(rgbPng, cases[6].against);
    EXPECT_EQ(pixels.column, 17u);
    EXPECT_EQ(pixels.row, 12u);
    EXPECT_EQ(writer.compare(badCrc, rgbPicture).reason, "CRC errato nel blocco IDAT");
}

TEST(PngWriterTest, RefusesWhatNoPngHolds)
{
    PngWriter writer;
    std::vector<std::uint8_t> png, pixels(16);
    EXPECT_FALSE(writer.write(pictureOf(PixelLayout::Bgr0, 2, 2, pixels, nullptr), png));
    EXPECT_FALSE(writer.write(pictureOf(PixelLayout::Rgb24, 0, 2, pixels, nullptr), png));
    EXPECT_FALSE(writer.write(pictureOf(PixelLayout::Pal8, 2, 2, pixels, nullptr), png));  // no colours
}

}  // namespace
}  // namespace kelvora::codec

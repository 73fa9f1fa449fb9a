// The pictures made from a stream's header and a frame's bytes: never read past the frame,
// never as large as a header claims unless the file makes it plausible.
#include "verify/PictureLimits.h"
#include "verify/PngChunks.h"
#include "verify/RawPicture.h"

#include <gtest/gtest.h>

namespace kelvora::verify {
namespace {

binary::BITMAPINFOHEADER headerOf(std::int32_t width, std::int32_t height, std::int16_t bitCount,
                                  std::int32_t compression = binary::BI_RGB)
{
    binary::BITMAPINFOHEADER header{};
    header.biSize = 40;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = compression;
    return header;
}

// Depths no decoder reads are no picture, however many bytes the frame has: 3 bits a pixel
// once read whole bytes a pixel, past the frame's end.
TEST(RawPictureTest, MakesPicturesOnlyOfDepthsDecodersRead)
{
    const codec::CodecPalette palette{};
    std::vector<std::uint8_t> out;
    for (const std::int16_t bits : {0, 3, 5, 6, 7, 9, 12, 31, 33, 48}) {
        const std::vector<std::uint8_t> chunk(static_cast<std::size_t>(binary::rowStride(64, 1)) * 64, 0xAB);
        EXPECT_FALSE(rawPicture(headerOf(64, 64, bits), chunk, palette, out)) << bits;
    }
    for (const std::int16_t bits : {1, 2, 4, 8, 16, 24, 32}) {
        const std::vector<std::uint8_t> chunk(static_cast<std::size_t>(binary::rowStride(5, bits)) * 3, 0x5A);
        EXPECT_TRUE(rawPicture(headerOf(5, -3, bits), chunk, palette, out)) << bits;
        const std::size_t pixelBytes = bits <= 8 ? 15 + 1024 : 15 * static_cast<std::size_t>(bits / 8);
        EXPECT_EQ(out.size(), pixelBytes) << bits;
        // One byte short of the last row: ffmpeg drops such a frame.
        EXPECT_FALSE(rawPicture(headerOf(5, -3, bits), std::span(chunk).first(chunk.size() - 1), palette, out)) << bits;
    }
    // Run-length rows go bottom-up whatever the height's sign says (a fuzzed header once
    // reached the expansion with a negative height).
    const std::vector<std::uint8_t> twoPixels{2, 5, 0, 1};
    for (const std::int32_t height : {4, -4}) {
        ASSERT_TRUE(rawPicture(headerOf(8, height, 8, binary::BI_RLE8), twoPixels, palette, out)) << height;
        EXPECT_EQ(out[3 * 8], 5) << height;
        EXPECT_EQ(out[3 * 8 + 1], 5) << height;
        EXPECT_EQ(out[0], 0) << height;
    }
    // A run-length stream of the other depth, and one claiming a picture of 4 GiB.
    const std::vector<std::uint8_t> endOfBitmap{0, 1};
    EXPECT_FALSE(rawPicture(headerOf(8, 8, 4, binary::BI_RLE8), endOfBitmap, palette, out));
    EXPECT_FALSE(rawPicture(headerOf(65535, 65535, 8, binary::BI_RLE8), endOfBitmap, palette, out));
}

TEST(PictureLimitsTest, WeighsTheClaimedSizeAgainstTheFile)
{
    const struct {
        std::int64_t width, height, fileLength;
        const char* refusal;
    } cases[] = {
        {1920, 1080, 3000, ""},
        {7680, -4320, 5000, ""},  // 132 MB of picture from a few kilobytes of one colour
        {16384, 16384, 1 << 20, ""},
        {20000, 20000, 1 << 30, "dichiara fotogrammi di 20000×20000 pixel, troppo grandi per essere decodificati"},
        {8000, 8000, 424, "dichiara fotogrammi di 8000×8000 pixel, troppo grandi per un file di 424 byte"},
        {8000, 8000, 3905, "dichiara fotogrammi di 8000×8000 pixel, troppo grandi per un file di 3905 byte"},
        {8000, 8000, 3906, ""},
        {16385, 16384, 1 << 30, "dichiara fotogrammi di 16385×16384 pixel, troppo grandi per essere decodificati"},
        {70000, 1, 1 << 30, "dichiara fotogrammi di 70000×1 pixel, troppo grandi per essere decodificati"},
        {0, 10, 1000, "dichiara fotogrammi di 0×10 pixel, che non sono un'immagine"},
        {-2147483648LL, -2147483648LL, 1000,
         "dichiara fotogrammi di -2147483648×2147483648 pixel, che non sono un'immagine"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pictureRefusal(c.width, c.height, c.fileLength), c.refusal) << c.width << "x" << c.height;
}

std::vector<std::uint8_t> pngChunk(const std::string& type, std::vector<std::uint8_t> data, std::uint32_t crc)
{
    std::vector<std::uint8_t> out;
    const auto size = static_cast<std::uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(size >> shift));
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(crc >> shift));
    return out;
}

// A 4 x 2 image's chunks, CRCs as a PNG writer computes them, damaged one at a time.
TEST(PngChunksTest, FindsDamagedChunksAndPicturesLargerThanTheStream)
{
    const std::vector<std::uint8_t> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto image = [&](std::uint8_t width, std::uint32_t headerCrc, std::uint32_t endCrc) {
        std::vector<std::uint8_t> out = signature;
        const std::vector<std::uint8_t> ihdr{0, 0, 0, width, 0, 0, 0, 2, 8, 2, 0, 0, 0};
        for (const auto& part : {pngChunk("IHDR", ihdr, headerCrc), pngChunk("IEND", {}, endCrc)})
            out.insert(out.end(), part.begin(), part.end());
        return out;
    };
    const std::uint32_t iend = 0xAE426082;
    const std::vector<std::uint8_t> whole = image(4, 0xF0CAEA34, iend);
    EXPECT_EQ(checkPng(whole, 4, 2).damage, "");
    EXPECT_EQ(checkPng(whole, 4, -2).damage, "");
    EXPECT_EQ(checkPng(image(4, 0xF0CAEA35, iend), 4, 2).damage, "il blocco PNG IHDR è danneggiato (CRC errato)");
    EXPECT_EQ(checkPng(image(4, 0xF0CAEA34, iend + 1), 4, 2).damage, "il blocco PNG IEND è danneggiato (CRC errato)");
    const PngCheck wider = checkPng(image(5, 0x1F08810A, iend), 4, 2);
    EXPECT_TRUE(wider.tooLarge);
    EXPECT_EQ(wider.damage, "l'immagine PNG è di 5×2, più grande del video");
    EXPECT_EQ(checkPng(std::span(whole).first(whole.size() - 1), 4, 2).damage,
              "l'immagine PNG finisce prima del blocco IEND");
    EXPECT_EQ(checkPng(signature, 4, 2).damage, "l'immagine PNG finisce prima del blocco IEND");
    EXPECT_EQ(checkPng(std::vector<std::uint8_t>{1, 2, 3}, 4, 2).damage, "non è un'immagine PNG");
}

}  // namespace
}  // namespace kelvora::verify

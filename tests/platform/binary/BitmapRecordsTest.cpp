#include "platform/binary/BitmapRecords.h"

#include <gtest/gtest.h>

#include <array>

namespace kelvora::binary {
namespace {

TEST(BitmapRecords, FileHeaderFieldsAreLittleEndianAndSigned)
{
    const std::array<std::uint8_t, 14> bytes{'B',  'M',  0x36, 0x00, 0x01, 0x80, 0xFF,
                                             0xFF, 0x02, 0x00, 0x78, 0x56, 0x34, 0x12};
    const BITMAPFILEHEADER header = readFileHeader(bytes);
    EXPECT_EQ(header.bfType, 19778);
    EXPECT_EQ(header.bfSize, static_cast<std::int32_t>(0x80010036u));
    EXPECT_EQ(header.bfReserved1, -1);
    EXPECT_EQ(header.bfReserved2, 2);
    EXPECT_EQ(header.bfOffBits, 0x12345678);

    std::array<std::uint8_t, 14> written{};
    writeFileHeader(header, written);
    EXPECT_EQ(written, bytes);
}

TEST(BitmapRecords, InfoHeaderFieldsSitAtTheirOffsets)
{
    std::array<std::uint8_t, 40> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(0xF0 + i);
    const BITMAPINFOHEADER header = readInfoHeader(bytes);
    EXPECT_EQ(header.biSize, static_cast<std::int32_t>(0xF3F2F1F0u));
    EXPECT_EQ(header.biPlanes, static_cast<std::int16_t>(0xFDFCu));
    EXPECT_EQ(header.biBitCount, static_cast<std::int16_t>(0xFFFEu));
    EXPECT_EQ(header.biSizeImage, 0x07060504);
    EXPECT_EQ(header.biClrImportant, 0x17161514);

    std::array<std::uint8_t, 40> written{};
    writeInfoHeader(header, written);
    EXPECT_EQ(written, bytes);
}

}  // namespace
}  // namespace kelvora::binary

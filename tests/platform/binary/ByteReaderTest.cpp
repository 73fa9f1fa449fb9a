#include "platform/binary/ByteReader.h"
#include "platform/binary/ByteWriter.h"

#include <gtest/gtest.h>

#include <array>

namespace kelvora::binary {
namespace {

TEST(ByteReader, ReadsBackWhatTheWriterWroteWhateverTheWidthAndSign)
{
    std::array<std::uint8_t, 1 + 2 + 4 + 8 + 2 + 4> bytes{};
    ByteWriter out(bytes);
    out.u8(0xAB);
    out.u16(0xBEEF);
    out.u32(0xDEADBEEF);
    out.u64(0x0123456789ABCDEF);
    out.i16(-2);
    out.i32(-70000);
    ASSERT_EQ(out.size(), bytes.size());
    EXPECT_EQ(bytes[1], 0xEF);  // least significant byte first
    EXPECT_EQ(bytes[2], 0xBE);

    ByteReader in(bytes);
    EXPECT_EQ(in.u8(), 0xAB);
    EXPECT_EQ(in.u16(), 0xBEEF);
    EXPECT_EQ(in.u32(), 0xDEADBEEFu);
    EXPECT_EQ(in.u64(), 0x0123456789ABCDEFu);
    EXPECT_EQ(in.i16(), -2);
    EXPECT_EQ(in.i32(), -70000);
    EXPECT_EQ(in.remaining(), 0u);
    EXPECT_FALSE(in.overran());
}

TEST(ByteReader, FieldCutShortReadsItsMissingBytesAsZeroAndSaysSo)
{
    const std::array<std::uint8_t, 6> bytes{1, 2, 3, 4, 0x34, 0x12};
    ByteReader in(bytes);
    in.skip(4);
    EXPECT_EQ(in.position(), 4u);
    EXPECT_FALSE(in.overran());
    EXPECT_EQ(in.u32(), 0x1234u);  // two bytes there, two missing
    EXPECT_TRUE(in.overran());
    EXPECT_EQ(in.remaining(), 0u);
    EXPECT_EQ(in.u16(), 0u);
}

TEST(ByteReader, SkipPastTheEndIsAnOverrun)
{
    const std::array<std::uint8_t, 3> bytes{};
    ByteReader in(bytes);
    in.skip(3);
    EXPECT_FALSE(in.overran());
    in.skip(1);
    EXPECT_TRUE(in.overran());
    EXPECT_EQ(in.remaining(), 0u);
}

}  // namespace
}  // namespace kelvora::binary

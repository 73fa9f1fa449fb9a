// The decoder's bounds, and libavcodec kept off the terminal with its reasons carried into
// ours.
#include "codec/LosslessDecoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::codec {
namespace {

using testing::HasSubstr;

// A packet past what libavcodec counts is refused before a byte of it is read: the span
// lies over memory that cannot be read at all.
TEST(LosslessDecoderBounds, APacketOf2GiBIsRefusedWithoutReadingIt)
{
    const std::size_t size = std::size_t{1} << 31;
    void* reserved = ::mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(reserved, MAP_FAILED);
    auto opened = LosslessDecoder::open(Codec::Png, {}, 4, 4, 1);
    ASSERT_TRUE(opened) << opened.error();
    const auto decoder = std::move(opened).value();
    const std::span<const std::uint8_t> packet(static_cast<const std::uint8_t*>(reserved), size);
    const auto decoded = decoder->decode(packet);
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error(),
              "fotogramma compresso di 2147483648 byte, oltre i 2147483583 che la libreria libavcodec accetta");
    EXPECT_FALSE(decoder->decode(packet.first(LosslessDecoder::kLargestPacket + 1)));
    ::munmap(reserved, size);
}

// Damage is told in our words with libavcodec's reason after its code, and nothing of
// libavcodec's reaches the terminal.
TEST(LosslessDecoderLog, LibavcodecSaysNothingOnTheTerminalAndItsReasonIsCarried)
{
    struct Case {
        Codec codec;
        std::vector<std::uint8_t> packet;
        const char* reason;
    };
    const Case cases[] = {
        {Codec::Ffv1, std::vector<std::uint8_t>(64, 0xA5), "Invalid data found when processing input: "},
        {Codec::Png,
         {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 0},
         "Invalid data found when processing input: "},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        auto opened = LosslessDecoder::open(c.codec, {}, 16, 16, 1);
        ASSERT_TRUE(opened) << opened.error();
        const auto decoded = opened.value()->decode(c.packet);
        const std::string printed = testing::internal::GetCapturedStderr();
        ASSERT_FALSE(decoded) << codecName(c.codec);
        EXPECT_THAT(decoded.error(), HasSubstr(c.reason)) << codecName(c.codec);
        EXPECT_EQ(printed, "") << codecName(c.codec);
    }
}

}  // namespace
}  // namespace kelvora::codec

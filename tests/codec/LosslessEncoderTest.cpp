// The encoder's check of its own frames: a packet that does not decode to the frame's
// picture is caught, and said with the place where it differs.
#include "codec/LosslessEncoder.h"
#include "platform/binary/BitmapRecords.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::codec {
namespace {

using testing::HasSubstr;

std::vector<std::uint8_t> gradient(int width, int height, int shift)
{
    const auto stride = static_cast<std::size_t>(binary::rowStride(width, 24));
    std::vector<std::uint8_t> bits(stride * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bits.data() + static_cast<std::size_t>(y) * stride + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 9 + shift);
            p[1] = static_cast<std::uint8_t>(y * 5);
            p[2] = static_cast<std::uint8_t>(x ^ y);
        }
    return bits;
}

// A packet that decodes to another picture than the frame is caught, and said with the
// first pixel that differs (counted from the top left, from 1).
TEST(LosslessEncoderCheck, APacketThatDecodesToOtherPixelsIsRefusedWithThePlace)
{
    const bitmap::StreamShape shape{16, 8, 24, binary::BI_RGB};
    for (const Codec codec : {Codec::Ffv1, Codec::Png}) {
        auto opened = LosslessEncoder::open(codec, shape, 1, FrameCheck::ByDecoding);
        ASSERT_TRUE(opened) << opened.error();
        LosslessEncoder& encoder = *opened.value();
        // The reason a step gives, "" when it succeeds.
        const auto reasonOf = [](const platform::Status& status) { return status ? std::string() : status.error(); };
        std::vector<std::uint8_t> first;
        std::vector<std::uint8_t> second;
        ASSERT_EQ(reasonOf(encoder.encode(gradient(16, 8, 0), {}, first)), "");
        std::vector<std::uint8_t> bits = gradient(16, 8, 0);
        bits[binary::rowStride(16, 24) * 7 + 3 * 5] ^= 1;  // stored last = top row, column 6
        ASSERT_EQ(reasonOf(encoder.encode(bits, {}, second)), "");
        EXPECT_EQ(reasonOf(encoder.decodesToLastFrame(second)), "");
        EXPECT_EQ(reasonOf(encoder.decodesToLastFrame(first)),
                  "decompresso, non ridà i suoi pixel: il primo diverso è alla colonna 6, riga 1")
            << codecName(codec);
        const std::vector<std::uint8_t> cut(first.begin(),
                                            first.begin() + static_cast<std::ptrdiff_t>(first.size() / 2));
        EXPECT_THAT(reasonOf(encoder.decodesToLastFrame(cut)), HasSubstr("decompresso")) << codecName(codec);
    }
}

// A frame's pixels may be let go once the encoder says it has read them, and each frame of a
// run is encoded from its own pixels though libavcodec keeps a reference to the picture it
// was given last: the packets are those of a fresh encoder for each frame.
TEST(LosslessEncoderPixels, NotReadAfterTheySayReadAndEachFrameIsItsOwn)
{
    const bitmap::StreamShape shape{64, 32, 24, binary::BI_RGB};
    for (const Codec codec : {Codec::Ffv1, Codec::Png}) {
        SCOPED_TRACE(codecName(codec));
        auto encoder = LosslessEncoder::open(codec, shape, 2, FrameCheck::None);
        ASSERT_TRUE(encoder) << encoder.error();
        for (int shift = 0; shift < 3; ++shift) {
            std::vector<std::uint8_t> bits = gradient(64, 32, 40 * shift);
            std::vector<std::uint8_t> wanted;
            auto fresh = LosslessEncoder::open(codec, shape, 2, FrameCheck::None);
            ASSERT_TRUE(fresh) << fresh.error();
            const auto freshEncoded = fresh.value()->encode(bits, {}, wanted);
            ASSERT_TRUE(freshEncoded) << freshEncoded.error();
            int calls = 0;
            std::vector<std::uint8_t> packet;
            const auto encoded = encoder.value()->encode(bits, {}, packet, [&] {
                ++calls;
                std::fill(bits.begin(), bits.end(), std::uint8_t{0xA5});
            });
            ASSERT_TRUE(encoded) << encoded.error();
            EXPECT_EQ(calls, 1);
            EXPECT_EQ(packet, wanted) << "frame " << shift;
        }
    }
}

// An encoder libavcodec will not open says why in its own words after ours, and nothing of
// libavcodec's reaches the terminal.
TEST(LosslessEncoderOpen, ARefusalCarriesLibavcodecsReasonAndPrintsNothing)
{
    const std::pair<Codec, const char*> cases[] = {
        {Codec::Ffv1, "il codificatore FFV1 non accetta questi fotogrammi (Invalid argument: dimensions not set)"},
        {Codec::Png, "il codificatore PNG non accetta questi fotogrammi (dimensioni nulle)"},  // our own writer's
    };
    for (const auto& [codec, reason] : cases) {
        testing::internal::CaptureStderr();
        const auto encoder = LosslessEncoder::open(codec, {0, 0, 24, binary::BI_RGB}, 1);
        const std::string printed = testing::internal::GetCapturedStderr();
        ASSERT_FALSE(encoder);
        EXPECT_EQ(encoder.error(), reason);
        EXPECT_EQ(printed, "");
    }
}

// PNG's check costs a small part of its encode; FFV1's would cost about the encode again.
TEST(LosslessEncoderCheck, SavesCheckEveryPngFrame)
{
    EXPECT_EQ(frameCheckFor(Codec::Png), FrameCheck::ByDecoding);
    EXPECT_EQ(frameCheckFor(Codec::Ffv1), FrameCheck::None);
}

}  // namespace
}  // namespace kelvora::codec

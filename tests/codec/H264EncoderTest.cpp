// libx264's limits reach the user as our own words with its reason, and nothing of its log
// reaches the terminal.

#include "codec/H264Encoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kelvora::codec {
namespace {

using testing::HasSubstr;

TEST(H264EncoderTest, AFrameBeyondLibx264sSizeIsRefusedWithItsReasonAndNothingPrinted)
{
    testing::internal::CaptureStderr();
    const auto encoder = H264Encoder::open({20000, 2}, 25, 1, 18);
    const std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_FALSE(encoder);
    EXPECT_THAT(encoder.error(), HasSubstr("il codificatore H.264 non accetta fotogrammi di 20000 x 2 ("));
    EXPECT_THAT(encoder.error(), HasSubstr("invalid width x height"));  // libx264's own reason
    EXPECT_EQ(printed, "");
    const auto largest = H264Encoder::open({16384, 2}, 25, 1, 18);
    EXPECT_TRUE(largest) << largest.error();
}

}  // namespace
}  // namespace kelvora::codec

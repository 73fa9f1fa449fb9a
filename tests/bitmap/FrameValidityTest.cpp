#include "bitmap/FrameValidity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::bitmap {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct RleCase {
    const char* name;
    Bytes bits;
    bool sound;
};

class Rle8Stream : public ::testing::TestWithParam<RleCase> {};
class Rle4Stream : public ::testing::TestWithParam<RleCase> {};

// A 4 x 2 picture.
TEST_P(Rle8Stream, IsSoundOnlyInsideThePicture) { EXPECT_EQ(isSoundRle8(GetParam().bits, 4, 2), GetParam().sound); }
TEST_P(Rle4Stream, IsSoundOnlyInsideThePicture) { EXPECT_EQ(isSoundRle4(GetParam().bits, 4, 2), GetParam().sound); }

INSTANTIATE_TEST_SUITE_P(Blocks, Rle8Stream,
                         ::testing::Values(RleCase{"RunsLinesAndEnd", {4, 1, 0, 0, 4, 2, 0, 1}, true},
                                           RleCase{"EndsWithoutEndCode", {4, 1, 0, 0, 4, 2}, true},
                                           RleCase{"PaddedLiteral", {0, 3, 9, 8, 7, 0, 0, 0, 4, 1, 0, 1}, true},
                                           RleCase{"RunPastTheRow", {5, 1, 0, 1}, false},
                                           RleCase{"LiteralPastTheRow", {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, false},
                                           RleCase{"DeltaPastTheRow", {0, 2, 5, 0}, false},
                                           RleCase{"DeltaBelowTheLastRow", {0, 2, 0, 2}, false},
                                           RleCase{"LiteralCutShort", {0, 4, 1, 2}, false},
                                           RleCase{"LineAfterTheLastOne", {4, 1, 0, 0, 4, 1, 0, 0, 4, 1}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Blocks, Rle4Stream,
                         ::testing::Values(RleCase{"RunsLinesAndEnd", {4, 0x12, 0, 0, 4, 0x34, 0, 1}, true},
                                           RleCase{"PaddedLiteral", {0, 3, 0x12, 0x30, 0, 0, 4, 0x11, 0, 1}, true},
                                           RleCase{"RunPastTheRow", {6, 0x12, 0, 1}, false},
                                           RleCase{
                                               "BytesLeftAfterTheLastRow", {4, 0x12, 0, 0, 4, 0x12, 0, 0, 0, 0}, false},
                                           RleCase{"CutBeforeTheEnd", {4, 0x12}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Rows encoded with their pad bytes (as some writers do) stay within the stored row.
TEST(Rle8Stream, RunsMayCoverTheRowsPadBytesButNoMore)
{
    EXPECT_TRUE(isSoundRle8(Bytes{4, 7, 0, 0, 4, 7, 0, 0, 0, 1}, 3, 2));
    EXPECT_FALSE(isSoundRle8(Bytes{5, 7, 0, 1}, 3, 2));
}

}  // namespace
}  // namespace kelvora::bitmap

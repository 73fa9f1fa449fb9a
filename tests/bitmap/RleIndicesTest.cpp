// The picture an RLE block draws, as an encoder is given it: what a decoder's empty frame
// shows where the block draws nothing.
#include "bitmap/RleIndices.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kelvora::bitmap {
namespace {

std::vector<std::uint8_t> drawn(std::vector<std::uint8_t> bits, int width, int height, int bitCount)
{
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width * height), 0xEE);
    expandRle(bits, width, height, bitCount, indices);
    return indices;
}

TEST(RleIndices, RunsLiteralsDeltasAndEarlyEndsDrawWhatADecoderShows)
{
    // 4 x 3, bottom-up. Bottom row: a run of 2, a literal of 3 (one pixel past the width,
    // dropped), end of line. Middle row: a delta to x 1 of the row above, so the middle row
    // stays 0; top row from x 1: a run of 2, then the end of the picture.
    EXPECT_EQ(drawn({2, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 2, 9, 0, 1}, 4, 3, 8),
              (std::vector<std::uint8_t>{0, 9, 9, 0,  //
                                         0, 0, 0, 0,  //
                                         7, 7, 1, 2}));
    // RLE4: a run alternates the two nibbles, high first; a literal of 3 takes two bytes.
    EXPECT_EQ(drawn({5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1}, 4, 2, 4), (std::vector<std::uint8_t>{3, 4, 5, 0,  //
                                                                                                  1, 2, 1, 2}));
    // A block cut short leaves the rest of the picture empty, never reads past its end.
    EXPECT_EQ(drawn({3, 6, 0}, 2, 2, 8), (std::vector<std::uint8_t>{0, 0, 6, 6}));
}

}  // namespace
}  // namespace kelvora::bitmap

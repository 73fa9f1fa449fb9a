#include "platform/system/LargeBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kelvora::platform {
namespace {

bool allAre(std::span<const std::uint8_t> bytes, std::uint8_t value)
{
    return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

// Blocks on either side of the huge-page size, and a full-HD frame's, all held at once: each
// reads as zero, takes its own bytes to its last one, and the others' stay untouched (a
// mapping trimmed at the wrong place would fault or overlap its neighbour). Mapped blocks
// start on a huge page, so that the kernel can give it.
TEST(LargeBlockTest, BlocksOfEverySizeAreZeroWritableAndApart)
{
    const std::vector<std::size_t> sizes = {
        1, 4095, kHugePageBytes - 1, kHugePageBytes, kHugePageBytes + 1, 1920 * 1080 * 3 + 54, 3 * kHugePageBytes};
    std::vector<LargeBlock> blocks;
    for (const std::size_t size : sizes) {
        blocks.push_back(LargeBlock::allocate(size));
        LargeBlock& block = blocks.back();
        ASSERT_EQ(block.size(), size);
        EXPECT_TRUE(allAre(block.bytes(), 0)) << size;
        if (block.mapped()) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.data()) % kHugePageBytes, 0u) << size;
        }
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_EQ(block.mapped(), size >= kHugePageBytes) << size;
#endif
    }
    for (std::size_t i = 0; i < blocks.size(); ++i)
        std::fill(blocks[i].bytes().begin(), blocks[i].bytes().end(), static_cast<std::uint8_t>(i + 1));
    for (std::size_t i = 0; i < blocks.size(); ++i)
        EXPECT_TRUE(allAre(blocks[i].bytes(), static_cast<std::uint8_t>(i + 1))) << sizes[i];
}

// Memory that cannot be had is an empty block, never a crash or a short one.
TEST(LargeBlockTest, WhatCannotBeHadIsAnEmptyBlock)
{
    for (const std::size_t size : {std::size_t{0}, SIZE_MAX, SIZE_MAX - kHugePageBytes, std::size_t{1} << 62}) {
        const LargeBlock block = LargeBlock::allocate(size);
        EXPECT_TRUE(block.empty()) << size;
        EXPECT_EQ(block.size(), 0u);
        EXPECT_EQ(block.data(), nullptr);
    }
}

// Ownership moves with the bytes: the moved-from block is empty, and a block assigned over
// lets its own storage go (the sanitizers' build sees a leak or a double free).
TEST(LargeBlockTest, OwnershipMovesWithTheBytes)
{
    LargeBlock big = LargeBlock::allocate(kHugePageBytes + 10);
    LargeBlock small = LargeBlock::allocate(100);
    big.data()[kHugePageBytes + 9] = 7;
    small.data()[99] = 9;
    const std::uint8_t* bigBytes = big.data();

    LargeBlock taken(std::move(big));
    EXPECT_TRUE(big.empty());
    EXPECT_EQ(taken.data(), bigBytes);
    EXPECT_EQ(taken.data()[kHugePageBytes + 9], 7);

    taken = std::move(small);
    EXPECT_TRUE(small.empty());
    ASSERT_EQ(taken.size(), 100u);
    EXPECT_EQ(taken.data()[99], 9);

    LargeBlock other = LargeBlock::allocate(3 * kHugePageBytes);
    taken.swap(other);
    EXPECT_EQ(taken.size(), 3 * kHugePageBytes);
    EXPECT_EQ(other.data()[99], 9);
}

}  // namespace
}  // namespace kelvora::platform

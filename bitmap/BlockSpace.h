#pragma once

#include "bitmap/ByteBlock.h"
#include "platform/filesystem/File.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvora::bitmap {

// Where one load puts one block. When the block held now already has the new size, the
// load reads straight into it: the AVI writer reloads one object per frame, frames of a
// video share their size, and storage already mapped and in cache keeps a load as fast
// as a plain read. Otherwise new storage is filled and replaces the held block on commit.
class BlockSpace {
public:
    explicit BlockSpace(ByteBlock& held) : m_held(held) {}

    // `stored` is how many of the `size` bytes the source holds; the rest must read as
    // zero. Touches nothing held, so a later failure leaves the current image whole.
    [[nodiscard]] bool prepare(std::size_t size, std::size_t stored);
    [[nodiscard]] std::span<std::uint8_t> bytes();
    // One read of the whole block from `offset`; bytes the file lacks become zero.
    [[nodiscard]] bool readFrom(platform::File& file, std::int64_t offset);
    // The block from bytes already read; what `source` lacks becomes zero.
    void copyFrom(std::span<const std::uint8_t> source);
    void commit();

private:
    ByteBlock& m_held;
    ByteBlock m_fresh;
    bool m_inPlace = false;
    std::size_t m_stored = 0;
};

}  // namespace kelvora::bitmap

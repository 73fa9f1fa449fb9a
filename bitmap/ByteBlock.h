#pragma once

#include "platform/system/LargeBlock.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvora::bitmap {

// One owned block of bytes.
class ByteBlock {
public:
    // Gives the block new storage of `size` bytes, all zero, so that bytes the file cannot
    // fill need no clearing. False (block unchanged) when the storage cannot be had.
    [[nodiscard]] bool allocate(std::size_t size);

    [[nodiscard]] bool empty() const { return m_storage.empty(); }
    [[nodiscard]] std::size_t size() const { return m_storage.size(); }
    [[nodiscard]] const std::uint8_t* data() const { return m_storage.data(); }
    [[nodiscard]] std::span<std::uint8_t> bytes() { return m_storage.bytes(); }
    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return m_storage.bytes(); }

    void swap(ByteBlock& other) noexcept { m_storage.swap(other.m_storage); }

private:
    // A frame's pixel block is megabytes, filled by one read and reused frame after frame.
    platform::LargeBlock m_storage;
};

}  // namespace kelvora::bitmap

#pragma once

// Storage for the large buffers of a save: a frame's pixels, an encoder's picture and work
// areas. Each page of fresh memory costs a fault when first touched, and a frame of
// megabytes touches thousands: on a virtual machine each fault cost 13 to 22 us, and a
// full-HD PNG save spent a third of its CPU time in them. Blocks of a huge page or more are
// mapped on their own, aligned to huge pages and advised onto them (one fault for 2 MiB);
// smaller blocks come from the heap. Either way a new block reads as zero.

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvora::platform {

class LargeBlock {
public:
    LargeBlock() = default;
    // `size` bytes, all zero; an empty block (no storage, `size()` 0) when they cannot be had.
    [[nodiscard]] static LargeBlock allocate(std::size_t size);
    ~LargeBlock();
    LargeBlock(LargeBlock&& other) noexcept;
    LargeBlock& operator=(LargeBlock&& other) noexcept;
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;

    [[nodiscard]] bool empty() const { return m_size == 0; }
    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] std::uint8_t* data() { return m_data; }
    [[nodiscard]] const std::uint8_t* data() const { return m_data; }
    [[nodiscard]] std::span<std::uint8_t> bytes() { return {m_data, m_size}; }
    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return {m_data, m_size}; }
    // Whether the block is a mapping of its own (a huge page or more), for tests.
    [[nodiscard]] bool mapped() const { return m_mappedLength != 0; }

    void swap(LargeBlock& other) noexcept;

private:
    void release() noexcept;

    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mappedLength = 0;  // 0: from the heap
};

// The size from which blocks are mapped on their own: x86-64's huge page (elsewhere an
// alignment that does no harm).
inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

}  // namespace kelvora::platform

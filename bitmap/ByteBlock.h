#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

namespace kelvora::bitmap {

// One owned block of bytes.
class ByteBlock {
public:
    // Gives the block new storage of `size` bytes. Bytes from `zeroFrom` on read as zero;
    // those before it are left uninitialised, since the caller is about to fill them.
    // False (block unchanged) when the storage cannot be had.
    [[nodiscard]] bool allocate(std::size_t size, std::size_t zeroFrom);

    [[nodiscard]] bool empty() const { return m_size == 0; }
    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] const std::uint8_t* data() const { return m_data.get(); }
    [[nodiscard]] std::span<std::uint8_t> bytes() { return {m_data.get(), m_size}; }
    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return {m_data.get(), m_size}; }

    void swap(ByteBlock& other) noexcept;

private:
    struct FreeStorage {
        void operator()(std::uint8_t* bytes) const { std::free(bytes); }
    };

    std::unique_ptr<std::uint8_t[], FreeStorage> m_data;
    std::size_t m_size = 0;
};

}  // namespace kelvora::bitmap

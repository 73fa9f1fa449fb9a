#pragma once

// Little-endian writing of binary records, one field at a time, into a caller's buffer.

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvora::binary {

class ByteWriter {
public:
    explicit ByteWriter(std::span<std::uint8_t> out) : m_out(out) {}

    void u8(std::uint8_t value) { put(value, 1); }
    void u16(std::uint16_t value) { put(value, 2); }
    void u32(std::uint32_t value) { put(value, 4); }
    void u64(std::uint64_t value) { put(value, 8); }
    void i16(std::int16_t value) { u16(static_cast<std::uint16_t>(value)); }
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void zeros(std::size_t count)
    {
        assert(m_pos + count <= m_out.size() && "record overruns its buffer");
        std::fill_n(m_out.begin() + static_cast<std::ptrdiff_t>(m_pos), count, std::uint8_t{0});
        m_pos += count;
    }
    void bytes(std::span<const std::uint8_t> data)
    {
        assert(m_pos + data.size() <= m_out.size() && "record overruns its buffer");
        std::copy(data.begin(), data.end(), m_out.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_pos += data.size();
    }

    [[nodiscard]] std::size_t size() const { return m_pos; }
    [[nodiscard]] std::span<const std::uint8_t> written() const { return m_out.first(m_pos); }

private:
    void put(std::uint64_t value, int bytes)
    {
        assert(m_pos + static_cast<std::size_t>(bytes) <= m_out.size() && "record overruns its buffer");
        for (int i = 0; i < bytes; ++i)
            m_out[m_pos++] = static_cast<std::uint8_t>(value >> (8 * i));
    }

    std::span<std::uint8_t> m_out;
    std::size_t m_pos = 0;
};

}  // namespace kelvora::binary

#pragma once

// Little-endian reading of binary records, one field at a time, from a caller's bytes.

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/types/FourCC.h"

namespace kelvora::binary {

// Reads fields one after the other whatever the host's byte order. Bytes past the end read
// as zero and mark the reader as overrun, so a record cut short parses to zeros that the
// caller can check for rather than reading out of bounds.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> in) : m_in(in) {}

    [[nodiscard]] std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
    [[nodiscard]] std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
    [[nodiscard]] std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
    [[nodiscard]] std::uint64_t u64() { return take(8); }
    [[nodiscard]] std::int8_t i8() { return static_cast<std::int8_t>(u8()); }
    [[nodiscard]] std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    [[nodiscard]] std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    [[nodiscard]] std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    [[nodiscard]] platform::FourCC fourCC() { return platform::FourCC::fromValue(u32()); }

    void skip(std::size_t count)
    {
        if (count > remaining())
            m_overran = true;
        m_pos += count;
    }

    [[nodiscard]] std::size_t position() const { return m_pos; }
    [[nodiscard]] std::size_t remaining() const { return m_pos < m_in.size() ? m_in.size() - m_pos : 0; }
    // Whether any field or skip went past the end of the bytes.
    [[nodiscard]] bool overran() const { return m_overran; }

private:
    std::uint64_t take(int bytes)
    {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i, ++m_pos) {
            if (m_pos < m_in.size())
                value |= std::uint64_t{m_in[m_pos]} << (8 * i);
            else
                m_overran = true;
        }
        return value;
    }

    std::span<const std::uint8_t> m_in;
    std::size_t m_pos = 0;
    bool m_overran = false;
};

}  // namespace kelvora::binary

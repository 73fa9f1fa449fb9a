#pragma once

// A four-character code as RIFF files store it: four bytes, the first character lowest
// when the code is read as a little-endian 32-bit number.

#include <cstdint>
#include <ostream>
#include <string>

namespace kelvora::platform {

class FourCC {
public:
    constexpr FourCC() = default;
    // From the code as written: FourCC("vids"). Only four-character literals compile.
    consteval FourCC(const char (&code)[5])  // implicit: a literal reads as the code itself
        : m_value(pack(code[0], code[1], code[2], code[3]))
    {
    }
    // From the number a file or a published record holds.
    [[nodiscard]] static constexpr FourCC fromValue(std::uint32_t value)
    {
        FourCC code;
        code.m_value = value;
        return code;
    }

    [[nodiscard]] constexpr std::uint32_t value() const { return m_value; }
    [[nodiscard]] constexpr char at(int index) const { return static_cast<char>(m_value >> (8 * index) & 0xFF); }
    // The four characters, or the number in hex when one of them is not printable.
    [[nodiscard]] std::string text() const;

    friend constexpr bool operator==(FourCC, FourCC) = default;

private:
    static constexpr std::uint32_t pack(char a, char b, char c, char d)
    {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
    }

    std::uint32_t m_value = 0;
};

inline std::string FourCC::text() const
{
    std::string chars;
    for (int i = 0; i < 4; ++i) {
        const char c = at(i);
        if (c < 0x20 || c > 0x7E) {
            static constexpr char kHex[] = "0123456789abcdef";
            std::string hex = "0x";
            for (int shift = 28; shift >= 0; shift -= 4)
                hex += kHex[m_value >> shift & 0xF];
            return hex;
        }
        chars += c;
    }
    return chars;
}

// Test failures and logs show the code as text.
inline std::ostream& operator<<(std::ostream& out, FourCC code) { return out << '\'' << code.text() << '\''; }

}  // namespace kelvora::platform

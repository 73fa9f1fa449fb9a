#include "bitmap/FrameValidity.h"

#include <cstddef>

namespace kelvora::bitmap {
namespace {

// Reads RLE commands over a bytes block; every read past the end reports failure.
class RleReader {
public:
    explicit RleReader(std::span<const std::uint8_t> bits) : m_bits(bits) {}
    [[nodiscard]] std::size_t left() const { return m_bits.size() - m_at; }
    [[nodiscard]] bool take(std::uint8_t& byte)
    {
        if (m_at >= m_bits.size())
            return false;
        byte = m_bits[m_at++];
        return true;
    }
    [[nodiscard]] bool skip(std::size_t count)
    {
        if (left() < count)
            return false;
        m_at += count;
        return true;
    }

private:
    std::span<const std::uint8_t> m_bits;
    std::size_t m_at = 0;
};

}  // namespace

namespace {

// Some writers encode each row of 8 bits with the pad bytes of its uncompressed form, so a
// run may reach past the width up to the stored row's end; decoders draw such pixels into
// their own row padding, never into the next row.
std::int64_t rowEnd8(std::int32_t width) { return binary::rowStride(width, 8); }

}  // namespace

bool isSoundRle8(std::span<const std::uint8_t> bits, std::int32_t width, std::int32_t height)
{
    const std::int64_t end = rowEnd8(width);
    RleReader reader(bits);
    std::int64_t line = height - 1;  // rows count down from the top of the picture
    std::int64_t x = 0;
    std::uint8_t first = 0;
    while (reader.take(first)) {
        // Runs and literals must stay inside their row: decoders part ways on the bytes of
        // one that does not, so what it would show is not defined.
        if (first != 0) {
            std::uint8_t colour = 0;
            if (x + first > end || !reader.take(colour))
                return false;
            x += first;
            continue;
        }
        std::uint8_t second = 0;
        if (!reader.take(second))
            return false;
        if (second == 0) {  // end of line; after the last one only the end of picture may follow
            x = 0;
            if (--line < 0) {
                std::uint8_t a = 0, b = 0;
                return reader.take(a) && reader.take(b) && a == 0 && b == 1;
            }
        } else if (second == 1) {
            return true;
        } else if (second == 2) {
            std::uint8_t dx = 0, dy = 0;
            if (!reader.take(dx) || !reader.take(dy))
                return false;
            x += dx;
            line -= dy;
            if (line < 0 || x >= width)
                return false;
        } else {  // literal pixels, padded to an even count
            if (x + second > end || !reader.skip(second + (second & 1u)))
                return false;
            x += second;
        }
    }
    return true;  // decoders accept a block that ends without its end-of-picture code
}

bool isSoundRle4(std::span<const std::uint8_t> bits, std::int32_t width, std::int32_t height)
{
    RleReader reader(bits);
    std::int64_t line = height - 1;
    std::int64_t x = 0;
    while (line >= 0 && x <= width) {
        std::uint8_t first = 0;
        if (!reader.take(first))
            return false;
        if (first != 0) {
            std::uint8_t colours = 0;
            if (x + first > std::int64_t{width} + 1 || !reader.take(colours))
                return false;
            x += first;
            continue;
        }
        std::uint8_t second = 0;
        if (!reader.take(second))
            return false;
        if (second == 0) {
            --line;
            x = 0;
        } else if (second == 1) {
            return true;
        } else if (second == 2) {
            std::uint8_t dx = 0, dy = 0;
            if (!reader.take(dx) || !reader.take(dy))
                return false;
            x += dx;
            line -= dy;
        } else {  // literal pixels, two a byte, padded to an even number of bytes
            const std::int64_t bytes = (second + 1) / 2;
            if (x + 2 * bytes - (second & 1) > width || !reader.skip(static_cast<std::size_t>(bytes + (bytes & 1))))
                return false;
            x += second;
        }
    }
    // Decoders stop at the picture's edge and refuse a block with bytes left behind.
    return reader.left() == 0;
}

}  // namespace kelvora::bitmap

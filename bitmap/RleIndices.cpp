#include "bitmap/RleIndices.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

namespace kelvora::bitmap {

namespace {

// The cursor of a drawing: row y counted from the bottom, so the block's first row is the
// picture's last.
class Canvas {
public:
    Canvas(std::span<std::uint8_t> indices, std::int32_t width, std::int32_t height)
        : m_indices(indices), m_width(width), m_height(height)
    {
    }

    void put(std::uint8_t index)
    {
        if (m_x < m_width && m_y < m_height)
            m_indices[static_cast<std::size_t>(m_height - 1 - m_y) * static_cast<std::size_t>(m_width) +
                      static_cast<std::size_t>(m_x)] = index;
        ++m_x;
    }
    void endLine()
    {
        m_x = 0;
        ++m_y;
    }
    void move(std::uint8_t dx, std::uint8_t dy)
    {
        m_x += dx;
        m_y += dy;
    }
    [[nodiscard]] bool done() const { return m_y >= m_height; }

private:
    std::span<std::uint8_t> m_indices;
    std::int64_t m_width;
    std::int64_t m_height;
    std::int64_t m_x = 0;
    std::int64_t m_y = 0;
};

}  // namespace

void expandRle(std::span<const std::uint8_t> bits, std::int32_t width, std::int32_t height, int bitCount,
               std::span<std::uint8_t> indices)
{
    assert((bitCount == 4 || bitCount == 8) && width >= 0 && height >= 0);
    assert(indices.size() >= static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::fill(indices.begin(), indices.end(), std::uint8_t{0});
    Canvas canvas(indices, width, height);
    const std::size_t end = bits.size();
    std::size_t at = 0;
    // One colour of a byte: for RLE4 the high nibble comes first.
    const auto colour = [bitCount](std::uint8_t byte, std::size_t nth) -> std::uint8_t {
        if (bitCount == 8)
            return byte;
        return nth % 2 == 0 ? static_cast<std::uint8_t>(byte >> 4) : static_cast<std::uint8_t>(byte & 0x0F);
    };
    while (at + 1 < end && !canvas.done()) {
        const std::uint8_t first = bits[at];
        const std::uint8_t second = bits[at + 1];
        at += 2;
        if (first != 0) {  // a run of `first` pixels
            for (std::size_t i = 0; i < first; ++i)
                canvas.put(colour(second, i));
        } else if (second == 0) {
            canvas.endLine();
        } else if (second == 1) {
            return;
        } else if (second == 2) {
            if (at + 1 >= end)
                return;
            canvas.move(bits[at], bits[at + 1]);
            at += 2;
        } else {  // `second` literal pixels, padded to a whole number of 16-bit words
            const std::size_t perByte = bitCount == 8 ? 1 : 2;
            const std::size_t bytes = (second + perByte - 1) / perByte;
            for (std::size_t i = 0; i < second && at + i / perByte < end; ++i)
                canvas.put(colour(bits[at + i / perByte], i));
            at += bytes + (bytes & 1);
        }
    }
}

}  // namespace kelvora::bitmap

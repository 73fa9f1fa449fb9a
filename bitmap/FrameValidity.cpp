#include "bitmap/FrameValidity.h"

#include "platform/binary/ByteReader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>

namespace kelvora::bitmap {
namespace {

using binary::kInfoHeaderSize;

constexpr std::size_t kMasksEnd = kInfoHeaderSize + 12;  // red, green, blue masks after 40 bytes

// Players refuse pictures whose area (with a margin) does not fit their image buffers.
bool sizeIsDecodable(std::int64_t width, std::int64_t height)
{
    constexpr std::int64_t kLargestArea = std::numeric_limits<std::int32_t>::max() / 8;
    return width > 0 && height > 0 && (width + 128) * (height + 128) < kLargestArea;
}

bool compressionFits(std::int32_t compression, std::int32_t bitCount, std::int32_t height)
{
    switch (compression) {
    case BI_RGB:
        return true;
    case BI_RLE8:
        return bitCount == 8 && height > 0;  // RLE frames are bottom-up only
    case BI_RLE4:
        return bitCount == 4 && height > 0;
    case BI_BITFIELDS:
        return bitCount == 16;  // decoders take 32-bit bit fields for 16-bit ones
    default:
        return false;
    }
}

// AVI decoders read 16-bit bit fields as 5-6-5 whatever the masks say.
bool masksFit(std::span<const std::uint8_t> info)
{
    if (info.size() < kMasksEnd)
        return false;
    binary::ByteReader masks(info.subspan(kInfoHeaderSize));
    const std::uint32_t red = masks.u32();
    const std::uint32_t green = masks.u32();
    const std::uint32_t blue = masks.u32();
    return red == 0xF800 && green == 0x07E0 && blue == 0x001F;
}

// Decoders take the colour table from the end of the format block, at most one entry per
// possible index: it must then start right after the information header.
bool colourTableFits(std::size_t infoSize, std::int32_t headerSize, std::int32_t bitCount)
{
    const std::size_t largestTable = std::size_t{4} << bitCount;
    const std::size_t extra = infoSize - kInfoHeaderSize;
    const std::size_t tableStart = kInfoHeaderSize + extra - std::min(extra, largestTable);
    return tableStart == static_cast<std::size_t>(headerSize);
}

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

bool isSoundRle8(std::span<const std::uint8_t> bits, std::int32_t width, std::int32_t height)
{
    RleReader reader(bits);
    std::int64_t line = height - 1;  // rows count down from the top of the picture
    std::int64_t x = 0;
    std::uint8_t first = 0;
    while (reader.take(first)) {
        // Runs and literals must stay inside their row: decoders part ways on the bytes of
        // one that does not, so what it would show is not defined.
        if (first != 0) {
            std::uint8_t colour = 0;
            if (x + first > width || !reader.take(colour))
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
            if (x + second > width || !reader.skip(second + (second & 1u)))
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

bool isDecodableFrame(const cDIB& dib)
{
    const std::int32_t width = dib.Width();
    const std::int32_t height = dib.Height();
    const std::int32_t bitCount = dib.BitCount();
    const std::int32_t compression = dib.Compression();
    constexpr std::array kDepths{1, 4, 8, 16, 24, 32};
    if (dib.Planes() != 1 || std::find(kDepths.begin(), kDepths.end(), bitCount) == kDepths.end())
        return false;
    if (height == std::numeric_limits<std::int32_t>::min() || !sizeIsDecodable(width, height < 0 ? -std::int64_t{height} : height))
        return false;
    if (!compressionFits(compression, bitCount, height))
        return false;
    const auto infoSize = static_cast<std::size_t>(dib.SizeBitmapInfo());
    const std::int32_t headerSize = dib.SizeInfoHeader();
    if (headerSize < static_cast<std::int32_t>(kInfoHeaderSize) || infoSize < static_cast<std::size_t>(headerSize))
        return false;
    const std::span<const std::uint8_t> info(dib.PointerToBitmapInfo(), infoSize);
    const std::span<const std::uint8_t> bits(dib.PointerToBits(), static_cast<std::size_t>(dib.SizeImage()));
    if (bitCount <= 8 && !colourTableFits(infoSize, headerSize, bitCount))
        return false;
    switch (compression) {
    case BI_RLE8:
        return isSoundRle8(bits, width, height);
    case BI_RLE4:
        return isSoundRle4(bits, width, height);
    case BI_BITFIELDS:
        if (!masksFit(info))
            return false;
        [[fallthrough]];
    default:
        return static_cast<std::int64_t>(bits.size()) >= binary::rowStride(width, bitCount) * (height < 0 ? -std::int64_t{height} : height);
    }
}

}  // namespace kelvora::bitmap

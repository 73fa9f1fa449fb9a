#include "bitmap/BitmapRecords.h"

namespace kelvora::bitmap {
namespace {

// Reads and writes little-endian fields one after the other, whatever the host order.
class LittleEndianReader {
public:
    explicit LittleEndianReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::int16_t i16()
    {
        const auto value = static_cast<std::uint16_t>(m_bytes[m_at] | m_bytes[m_at + 1] << 8);
        m_at += 2;
        return static_cast<std::int16_t>(value);
    }

    std::int32_t i32()
    {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | m_bytes[m_at + static_cast<std::size_t>(i)];
        m_at += 4;
        return static_cast<std::int32_t>(value);
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_at = 0;
};

class LittleEndianWriter {
public:
    explicit LittleEndianWriter(std::span<std::uint8_t> bytes) : m_bytes(bytes) {}

    void i16(std::int16_t value) { put(static_cast<std::uint16_t>(value), 2); }
    void i32(std::int32_t value) { put(static_cast<std::uint32_t>(value), 4); }

private:
    void put(std::uint32_t value, std::size_t width)
    {
        for (std::size_t i = 0; i < width; ++i)
            m_bytes[m_at++] = static_cast<std::uint8_t>(value >> (8 * i));
    }

    std::span<std::uint8_t> m_bytes;
    std::size_t m_at = 0;
};

}  // namespace

BITMAPFILEHEADER readFileHeader(std::span<const std::uint8_t, kFileHeaderSize> bytes)
{
    LittleEndianReader in(bytes);
    BITMAPFILEHEADER header;
    header.bfType = in.i16();
    header.bfSize = in.i32();
    header.bfReserved1 = in.i16();
    header.bfReserved2 = in.i16();
    header.bfOffBits = in.i32();
    return header;
}

void writeFileHeader(const BITMAPFILEHEADER& header, std::span<std::uint8_t, kFileHeaderSize> bytes)
{
    LittleEndianWriter out(bytes);
    out.i16(header.bfType);       // bfType
    out.i32(header.bfSize);       // bfSize
    out.i16(header.bfReserved1);  // bfReserved1
    out.i16(header.bfReserved2);  // bfReserved2
    out.i32(header.bfOffBits);    // bfOffBits
}

BITMAPINFOHEADER readInfoHeader(std::span<const std::uint8_t, kInfoHeaderSize> bytes)
{
    LittleEndianReader in(bytes);
    BITMAPINFOHEADER header;
    header.biSize = in.i32();
    header.biWidth = in.i32();
    header.biHeight = in.i32();
    header.biPlanes = in.i16();
    header.biBitCount = in.i16();
    header.biCompression = in.i32();
    header.biSizeImage = in.i32();
    header.biXPelsPerMeter = in.i32();
    header.biYPelsPerMeter = in.i32();
    header.biClrUsed = in.i32();
    header.biClrImportant = in.i32();
    return header;
}

void writeInfoHeader(const BITMAPINFOHEADER& header, std::span<std::uint8_t, kInfoHeaderSize> bytes)
{
    LittleEndianWriter out(bytes);
    out.i32(header.biSize);           // biSize
    out.i32(header.biWidth);          // biWidth
    out.i32(header.biHeight);         // biHeight
    out.i16(header.biPlanes);         // biPlanes
    out.i16(header.biBitCount);       // biBitCount
    out.i32(header.biCompression);    // biCompression
    out.i32(header.biSizeImage);      // biSizeImage
    out.i32(header.biXPelsPerMeter);  // biXPelsPerMeter
    out.i32(header.biYPelsPerMeter);  // biYPelsPerMeter
    out.i32(header.biClrUsed);        // biClrUsed
    out.i32(header.biClrImportant);   // biClrImportant
}

}  // namespace kelvora::bitmap

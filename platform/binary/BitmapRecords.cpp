#include "platform/binary/BitmapRecords.h"

#include "platform/binary/ByteReader.h"
#include "platform/binary/ByteWriter.h"

#include <algorithm>

namespace kelvora::binary {

BITMAPFILEHEADER readFileHeader(std::span<const std::uint8_t, kFileHeaderSize> bytes)
{
    ByteReader in(bytes);
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
    ByteWriter out(bytes);
    out.i16(header.bfType);       // bfType
    out.i32(header.bfSize);       // bfSize
    out.i16(header.bfReserved1);  // bfReserved1
    out.i16(header.bfReserved2);  // bfReserved2
    out.i32(header.bfOffBits);    // bfOffBits
}

std::array<std::uint8_t, kFileHeaderSize> fileHeaderBytes(const BITMAPFILEHEADER& header)
{
    std::array<std::uint8_t, kFileHeaderSize> bytes{};
    writeFileHeader(header, bytes);
    return bytes;
}

BITMAPINFOHEADER readInfoHeader(std::span<const std::uint8_t, kInfoHeaderSize> bytes)
{
    ByteReader in(bytes);
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
    ByteWriter out(bytes);
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

std::array<std::uint8_t, kInfoHeaderSize> infoHeaderBytes(const BITMAPINFOHEADER& header)
{
    std::array<std::uint8_t, kInfoHeaderSize> bytes{};
    writeInfoHeader(header, bytes);
    return bytes;
}

BITMAPINFOHEADER readAnyInfoHeader(std::span<const std::uint8_t> bytes)
{
    ByteReader in(bytes);
    if (in.u32() != kCoreHeaderSize) {
        std::array<std::uint8_t, kInfoHeaderSize> header{};
        std::copy_n(bytes.begin(), std::min(bytes.size(), header.size()), header.begin());
        return readInfoHeader(header);
    }
    BITMAPINFOHEADER header;
    header.biSize = static_cast<std::int32_t>(kCoreHeaderSize);
    header.biWidth = in.u16();     // bcWidth
    header.biHeight = in.u16();    // bcHeight: always bottom-up
    header.biPlanes = in.i16();    // bcPlanes
    header.biBitCount = in.i16();  // bcBitCount
    header.biCompression = BI_RGB;
    return header;
}

std::int64_t imageSize(const BITMAPINFOHEADER& header)
{
    const bool rowsOnly = header.biCompression == BI_RGB || header.biCompression == BI_BITFIELDS;
    if (header.biSizeImage != 0 || !rowsOnly)
        return header.biSizeImage;
    const std::int64_t height = header.biHeight;
    return rowStride(std::max<std::int64_t>(header.biWidth, 0), std::max<std::int64_t>(header.biBitCount, 0)) *
           (height < 0 ? -height : height);
}

}  // namespace kelvora::binary

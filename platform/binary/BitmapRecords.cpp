#include "platform/binary/BitmapRecords.h"

#include "platform/binary/ByteReader.h"
#include "platform/binary/ByteWriter.h"

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

}  // namespace kelvora::binary

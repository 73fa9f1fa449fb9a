#include "verify/RawPicture.h"

#include "bitmap/RleIndices.h"
#include "verify/PictureLimits.h"

#include <cstring>

namespace kelvora::verify {

namespace {

void appendPalette(const codec::CodecPalette& palette, std::vector<std::uint8_t>& out)
{
    for (const std::uint32_t entry : palette)
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(entry >> shift));
}

std::uint8_t indexAt(const std::uint8_t* row, std::size_t x, int bitCount)
{
    switch (bitCount) {
    case 1:
        return static_cast<std::uint8_t>(row[x / 8] >> (7 - x % 8) & 1);
    case 2:
        return static_cast<std::uint8_t>(row[x / 4] >> (6 - 2 * (x % 4)) & 3);
    case 4:
        return static_cast<std::uint8_t>(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
    default:
        return row[x];
    }
}

}  // namespace

bool rawPicture(const binary::BITMAPINFOHEADER& header, std::span<const std::uint8_t> chunk,
                const codec::CodecPalette& palette, std::vector<std::uint8_t>& out)
{
    const int bitCount = header.biBitCount;
    // Any file may be given: a depth no decoder reads, or a picture no file of any length
    // makes plausible, is no picture (the file's own length is its caller's to weigh).
    if (!rawRefusal(header, kMaxPictureBytes).empty())
        return false;
    const auto width = static_cast<std::size_t>(header.biWidth);
    const std::size_t rows =
        header.biHeight < 0 ? 0 - static_cast<std::size_t>(header.biHeight) : static_cast<std::size_t>(header.biHeight);
    out.clear();
    if (header.biCompression == binary::BI_RLE8 || header.biCompression == binary::BI_RLE4) {
        out.resize(width * rows);
        // Run-length frames are bottom-up whatever the sign of the height, as decoders read them.
        bitmap::expandRle(chunk, header.biWidth, static_cast<std::int32_t>(rows), bitCount, out);
        appendPalette(palette, out);
        return true;
    }
    const auto stride = static_cast<std::size_t>(binary::rowStride(header.biWidth, bitCount));
    if (chunk.size() < stride * rows)
        return false;
    const bool bottomUp = header.biHeight > 0;
    const std::size_t rowBytes = bitCount >= 8 ? width * static_cast<std::size_t>(bitCount / 8) : width;
    out.resize(rowBytes * rows);
    for (std::size_t y = 0; y < rows; ++y) {
        const std::uint8_t* row = chunk.data() + (bottomUp ? rows - 1 - y : y) * stride;
        std::uint8_t* target = out.data() + y * rowBytes;
        if (bitCount >= 8) {
            std::memcpy(target, row, rowBytes);
            continue;
        }
        for (std::size_t x = 0; x < width; ++x)
            target[x] = indexAt(row, x, bitCount);
    }
    if (bitCount <= 8)
        appendPalette(palette, out);
    return true;
}

}  // namespace kelvora::verify

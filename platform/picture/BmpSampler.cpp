#include "platform/picture/BmpSampler.h"

#include "platform/binary/BitmapRecords.h"
#include "platform/binary/ByteReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace kelvora::platform {

namespace {

using binary::kFileHeaderSize;
using binary::kInfoHeaderSize;

constexpr std::size_t kPaletteOffset = kFileHeaderSize + kInfoHeaderSize;
constexpr int kMaxPaletteEntries = 256;
// Beyond this a bitmap goes to the general decoder, which applies its own limits.
constexpr std::int64_t kMaxSide = 1 << 16;
// Pixel blocks up to this size are read in one call; larger ones row by sampled row.
constexpr std::int64_t kWholeReadLimit = 1 << 20;

// Where the pixels are and how to turn them into colours.
struct Layout {
    int width = 0;
    int rows = 0;
    bool topDown = false;
    int bytesPerPixel = 0;
    std::int64_t offBits = 0;
    std::int64_t stride = 0;
    std::array<QRgb, kMaxPaletteEntries> palette{};  // entries past the table's end stay black
};

bool readAll(File& file, std::span<std::uint8_t> into, std::int64_t offset)
{
    return file.readExactlyAt(into, offset) == ReadOutcome::Complete;
}

std::optional<Layout> readLayout(File& file, std::int64_t fileLength)
{
    std::array<std::uint8_t, kPaletteOffset + 4 * kMaxPaletteEntries> head{};
    const auto headLength = static_cast<std::size_t>(std::min<std::int64_t>(fileLength, head.size()));
    if (headLength < kPaletteOffset || !readAll(file, std::span(head).first(headLength), 0))
        return std::nullopt;
    const std::span<const std::uint8_t> h(head.data(), headLength);

    const binary::BITMAPFILEHEADER fileHeader = binary::readFileHeader(h.first<kFileHeaderSize>());
    const binary::BITMAPINFOHEADER info = binary::readInfoHeader(h.subspan<kFileHeaderSize, kInfoHeaderSize>());
    const auto bfOffBits = static_cast<std::uint32_t>(fileHeader.bfOffBits);
    const std::int32_t biWidth = info.biWidth;
    const std::int32_t biHeight = info.biHeight;
    const auto biBitCount = static_cast<std::uint16_t>(info.biBitCount);
    const auto biClrUsed = static_cast<std::uint32_t>(info.biClrUsed);
    if (fileHeader.bfType != binary::kBitmapSignature || info.biSize != static_cast<std::int32_t>(kInfoHeaderSize) ||
        info.biPlanes != 1 || info.biCompression != 0)  // BI_RGB
        return std::nullopt;
    if (biBitCount != 8 && biBitCount != 24 && biBitCount != 32)
        return std::nullopt;
    const std::int64_t rows = biHeight < 0 ? -static_cast<std::int64_t>(biHeight) : biHeight;
    if (biWidth <= 0 || biWidth > kMaxSide || rows == 0 || rows > kMaxSide)
        return std::nullopt;

    Layout layout;
    layout.width = biWidth;
    layout.rows = static_cast<int>(rows);
    layout.topDown = biHeight < 0;
    layout.bytesPerPixel = static_cast<int>(biBitCount / 8);
    layout.stride = binary::rowStride(biWidth, biBitCount);
    layout.offBits = bfOffBits;
    auto tableEnd = static_cast<std::int64_t>(kPaletteOffset);
    if (biBitCount == 8) {
        const std::uint32_t entries = biClrUsed == 0 ? kMaxPaletteEntries : biClrUsed;
        if (entries > kMaxPaletteEntries)
            return std::nullopt;
        tableEnd += 4 * static_cast<std::int64_t>(entries);
        if (tableEnd > static_cast<std::int64_t>(headLength))
            return std::nullopt;
        binary::ByteReader table(h.subspan(kPaletteOffset));
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint8_t blue = table.u8();
            const std::uint8_t green = table.u8();
            const std::uint8_t red = table.u8();
            table.skip(1);  // reserved
            layout.palette[i] = qRgb(red, green, blue);
        }
        for (std::uint32_t i = entries; i < kMaxPaletteEntries; ++i)
            layout.palette[i] = qRgb(0, 0, 0);
    }
    // Pixels inside the headers, or a pixel block cut short, are odd cases for the general decoder.
    if (layout.offBits < tableEnd || layout.offBits + layout.stride * rows > fileLength)
        return std::nullopt;
    return layout;
}

// One stored row turned into a line of the picture through the sampled columns.
void convertRow(const Layout& layout, const std::uint8_t* row, std::span<const int> columns, QRgb* out)
{
    if (layout.bytesPerPixel == 1) {
        for (std::size_t x = 0; x < columns.size(); ++x)
            out[x] = layout.palette[row[columns[x]]];
        return;
    }
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const std::uint8_t* pixel = row + static_cast<std::ptrdiff_t>(columns[x]) * layout.bytesPerPixel;
        out[x] = qRgb(pixel[2], pixel[1], pixel[0]);  // stored blue, green, red; the fourth byte is unused
    }
}

std::int64_t storedRow(const Layout& layout, int imageRow)
{
    return layout.topDown ? imageRow : layout.rows - 1 - imageRow;
}

QImage samplePixels(File& file, const Layout& layout, QSize shown)
{
    QImage picture(shown, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    std::vector<int> columns(static_cast<std::size_t>(shown.width()));
    for (int x = 0; x < shown.width(); ++x)
        columns[static_cast<std::size_t>(x)] = nearestSource(x, shown.width(), layout.width);

    const auto stride = static_cast<std::size_t>(layout.stride);
    const std::int64_t blockSize = layout.stride * layout.rows;
    const bool wholeBlock = blockSize <= kWholeReadLimit || 2 * shown.height() >= layout.rows;
    std::vector<std::uint8_t> buffer(wholeBlock ? static_cast<std::size_t>(blockSize) : stride);
    if (wholeBlock && !readAll(file, buffer, layout.offBits))
        return {};
    for (int y = 0; y < shown.height(); ++y) {
        const std::int64_t stored = storedRow(layout, nearestSource(y, shown.height(), layout.rows));
        const std::uint8_t* row = buffer.data();
        if (wholeBlock)
            row += static_cast<std::size_t>(stored) * stride;
        else if (!readAll(file, buffer, layout.offBits + stored * layout.stride))
            return {};
        convertRow(layout, row, columns, reinterpret_cast<QRgb*>(picture.scanLine(y)));
    }
    return picture;
}

}  // namespace

int nearestSource(int index, int shown, int source)
{
    // The step and start in 16.16 fixed point, rounded as Qt's nearest-neighbour scaling
    // rounds them, so the quick road and the general decoder pick the same pixels.
    const auto step = static_cast<std::int64_t>(65536.0 / (static_cast<double>(shown) / source));
    const auto start = static_cast<std::int64_t>(std::ceil(0.5 * static_cast<double>(step))) - 1;
    const std::int64_t picked = (start + step * index) >> 16;
    return static_cast<int>(std::clamp<std::int64_t>(picked, 0, source - 1));
}

std::optional<QImage> sampleUncompressedBmp(File& file, QSize target)
{
    const std::optional<std::int64_t> length = file.length();
    if (!length)
        return std::nullopt;
    const std::optional<Layout> layout = readLayout(file, *length);
    if (!layout)
        return std::nullopt;
    QSize shown(layout->width, layout->rows);
    if (target.isValid() && !target.isEmpty())
        shown = shown.boundedTo(target);
    return samplePixels(file, *layout, shown);
}

}  // namespace kelvora::platform

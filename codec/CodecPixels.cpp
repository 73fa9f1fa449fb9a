#include "codec/CodecPixels.h"

#include "codec/Ssse3.h"

#include "bitmap/RleIndices.h"
#include "platform/binary/BitmapRecords.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <vector>

namespace kelvora::codec {

namespace {

using binary::BI_BITFIELDS;
using binary::BI_RLE4;
using binary::BI_RLE8;

struct Colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// A 5- or 6-bit field widened to 8 bits by repeating its top bits.
constexpr std::uint8_t widen5(unsigned v) { return static_cast<std::uint8_t>(v << 3 | v >> 2); }
constexpr std::uint8_t widen6(unsigned v) { return static_cast<std::uint8_t>(v << 2 | v >> 4); }

void put(std::uint8_t* out, PixelLayout layout, Colour c)
{
    if (layout == PixelLayout::Bgr0) {
        out[0] = c.blue;
        out[1] = c.green;
        out[2] = c.red;
        out[3] = 0;
    } else {
        out[0] = c.red;
        out[1] = c.green;
        out[2] = c.blue;
    }
}

// The picture's geometry: stored row `r` of the file is picture row `r` or `rows - 1 - r`.
struct Geometry {
    std::size_t width;
    std::size_t rows;
    bool bottomUp;
    std::size_t stride;  // a stored row's bytes

    [[nodiscard]] std::size_t storedRow(std::size_t pictureRow) const
    {
        return bottomUp ? rows - 1 - pictureRow : pictureRow;
    }
};

Geometry geometryOf(const bitmap::StreamShape& shape)
{
    const auto width = static_cast<std::size_t>(shape.width);
    const auto rows = static_cast<std::size_t>(shape.height < 0 ? -std::int64_t{shape.height} : shape.height);
    return {width, rows, shape.height > 0, static_cast<std::size_t>(binary::rowStride(shape.width, shape.bitCount))};
}

// Index `x` of a stored row of 1, 4 or 8 bits: the leftmost pixel sits in the highest bits.
std::uint8_t indexAt(const std::uint8_t* row, std::size_t x, int bitCount)
{
    switch (bitCount) {
    case 1:
        return static_cast<std::uint8_t>(row[x / 8] >> (7 - x % 8) & 1);
    case 4:
        return static_cast<std::uint8_t>(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
    default:
        return row[x];
    }
}

// A palette frame's picture row `y`: indices from the stored row, or from the run-length
// data drawn out (`drawn`, a byte an index).
void indexRow(const bitmap::StreamShape& shape, const Geometry& g, std::span<const std::uint8_t> bits,
              std::span<const std::uint8_t> drawn, std::span<const std::uint8_t> palette, PixelLayout layout,
              std::size_t y, std::uint8_t* target)
{
    const bool rle = !drawn.empty();
    const std::size_t entries = palette.size() / 4;
    const std::size_t pixelBytes = bytesPerPixel(layout);
    const std::uint8_t* row = rle ? drawn.data() + y * g.width : bits.data() + g.storedRow(y) * g.stride;
    for (std::size_t x = 0; x < g.width; ++x) {
        const std::uint8_t index = rle ? row[x] : indexAt(row, x, shape.bitCount);
        if (layout == PixelLayout::Pal8) {
            target[x] = index;
            continue;
        }
        Colour c;
        if (index < entries)
            c = {palette[4 * index + 2], palette[4 * index + 1], palette[4 * index]};
        put(target + x * pixelBytes, layout, c);
    }
}

// A pixel's four bytes as a little-endian number and back, whatever the host's order.
std::uint32_t littleEndianPixel(std::uint32_t read)
{
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap32(read);
    return read;
}

// Where a 3-byte pixel's bytes go in a row of the codec's layout: swapped to red, green, blue
// (3 bytes), or kept with a fourth byte of 0 (4 bytes).
enum class Reorder { ToRgb, ToBgr0 };

#ifdef KELVORA_X86
// Four pixels a step by one byte shuffle: a byte or a pixel at a time, the conversion was a
// tenth of a PNG save's time. Each step reads 16 bytes for its 12, so it stops 2 pixels
// short of the row's end; to RGB it also writes 16 bytes for 12, the 4 past them written
// again by the next step or by the caller.
[[gnu::target("ssse3")]] std::size_t reorderedByShuffle(const std::uint8_t* bgr, std::size_t width, std::uint8_t* out,
                                                        Reorder reorder)
{
    constexpr char kZero = static_cast<char>(0x80);  // a shuffle index that writes 0
    const __m128i order = reorder == Reorder::ToRgb
                              ? _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15)
                              : _mm_setr_epi8(0, 1, 2, kZero, 3, 4, 5, kZero, 6, 7, 8, kZero, 9, 10, 11, kZero);
    const std::size_t outStep = reorder == Reorder::ToRgb ? 3 : 4;
    std::size_t x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + outStep * x), _mm_shuffle_epi8(pixels, order));
    }
    return x;
}
#endif

// How many of a row's first pixels (blue, green, red) are written reordered into `out` at
// speed; the rest are the caller's.
std::size_t reorderedPixels(const std::uint8_t* bgr, std::size_t width, std::uint8_t* out, Reorder reorder)
{
#ifdef KELVORA_X86
    if (hasSsse3())
        return reorderedByShuffle(bgr, width, out, reorder);
#endif
    (void)bgr;
    (void)width;
    (void)out;
    (void)reorder;
    return 0;
}

// One row of 24 or 32 bits (blue, green, red[, unused]) in the codec's layout; the common
// case, so a loop of its own per layout.
void directRow(const std::uint8_t* row, std::size_t width, std::size_t step, PixelLayout layout, std::uint8_t* target)
{
    if (layout == PixelLayout::Bgr0 && step == 4) {
        std::memcpy(target, row, width * 4);  // the fourth byte is unused in both
    } else if (layout == PixelLayout::Bgr0) {
        // Four bytes read for each three-byte pixel, the fourth masked off; the row's last pixel
        // is read on its own, since its fourth byte may lie past the pixel block.
        const std::size_t done = reorderedPixels(row, width, target, Reorder::ToBgr0);
        const std::size_t whole = width > 0 ? width - 1 : 0;
        for (std::size_t x = done; x < whole; ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, row + 3 * x, 4);
            pixel = littleEndianPixel(littleEndianPixel(pixel) & 0x00FFFFFFu);
            std::memcpy(target + 4 * x, &pixel, 4);
        }
        if (width > 0) {
            const std::uint8_t* last = row + 3 * whole;
            std::uint8_t* out = target + 4 * whole;
            out[0] = last[0];
            out[1] = last[1];
            out[2] = last[2];
            out[3] = 0;
        }
    } else {
        const std::size_t done = step == 3 ? reorderedPixels(row, width, target, Reorder::ToRgb) : 0;
        row += done * step;
        target += done * 3;
        for (std::size_t x = done; x < width; ++x, row += step, target += 3) {
            target[0] = row[2];
            target[1] = row[1];
            target[2] = row[0];
        }
    }
}

// A frame of 16 bits and more: its picture row `y`.
void directColourRow(const bitmap::StreamShape& shape, const Geometry& g, std::span<const std::uint8_t> bits,
                     PixelLayout layout, std::size_t y, std::uint8_t* target)
{
    const std::uint8_t* row = bits.data() + g.storedRow(y) * g.stride;
    if (shape.bitCount != 16) {
        directRow(row, g.width, static_cast<std::size_t>(shape.bitCount / 8), layout, target);
        return;
    }
    const std::size_t pixelBytes = bytesPerPixel(layout);
    const bool fields565 = shape.compression == BI_BITFIELDS;
    for (std::size_t x = 0; x < g.width; ++x) {
        const unsigned v = row[2 * x] | unsigned{row[2 * x + 1]} << 8;
        const Colour c = fields565 ? Colour{widen5(v >> 11 & 31), widen6(v >> 5 & 63), widen5(v & 31)}
                                   : Colour{widen5(v >> 10 & 31), widen5(v >> 5 & 31), widen5(v & 31)};
        put(target + x * pixelBytes, layout, c);
    }
}

}  // namespace

PixelLayout layoutFor(Codec codec, const bitmap::StreamShape& shape)
{
    assert(codec != Codec::Raw);
    if (codec == Codec::Ffv1)
        return PixelLayout::Bgr0;
    return shape.bitCount <= 8 ? PixelLayout::Pal8 : PixelLayout::Rgb24;
}

std::size_t bytesPerPixel(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Bgr0:
        return 4;
    case PixelLayout::Rgb24:
        return 3;
    case PixelLayout::Pal8:
        break;
    }
    return 1;
}

struct CodecRows::Source {
    bitmap::StreamShape shape;
    Geometry geometry;
    std::span<const std::uint8_t> bits;
    std::span<const std::uint8_t> palette;
    PixelLayout layout;
    std::vector<std::uint8_t> drawn;  // a run-length frame's indices, drawn out
};

CodecRows::CodecRows(const bitmap::StreamShape& shape, std::span<const std::uint8_t> bits,
                     std::span<const std::uint8_t> palette, PixelLayout layout)
    : m_source(std::make_unique<Source>(Source{shape, geometryOf(shape), bits, palette, layout, {}}))
{
    if (shape.bitCount <= 8 && (shape.compression == BI_RLE8 || shape.compression == BI_RLE4)) {
        m_source->drawn.resize(m_source->geometry.width * m_source->geometry.rows);
        bitmap::expandRle(bits, shape.width, shape.height, shape.bitCount, m_source->drawn);
    }
}

CodecRows::~CodecRows() = default;

std::size_t CodecRows::rows() const { return m_source->geometry.rows; }

void CodecRows::row(std::size_t y, std::uint8_t* out) const
{
    const Source& s = *m_source;
    if (s.shape.bitCount <= 8)
        indexRow(s.shape, s.geometry, s.bits, s.drawn, s.palette, s.layout, y, out);
    else
        directColourRow(s.shape, s.geometry, s.bits, s.layout, y, out);
}

void CodecRows::colours(CodecPalette& out) const
{
    const std::span<const std::uint8_t> palette = m_source->palette;
    out.fill(0xFF000000u);
    for (std::size_t i = 0; i < std::min<std::size_t>(palette.size() / 4, out.size()); ++i)
        out[i] = 0xFF000000u | std::uint32_t{palette[4 * i + 2]} << 16 | std::uint32_t{palette[4 * i + 1]} << 8 |
                 palette[4 * i];
}

void toCodecPixels(const bitmap::StreamShape& shape, std::span<const std::uint8_t> bits,
                   std::span<const std::uint8_t> palette, PixelLayout layout, PixelRows rows, CodecPalette& paletteOut)
{
    const CodecRows source(shape, bits, palette, layout);
    for (std::size_t y = 0; y < source.rows(); ++y)
        source.row(y, rows.data + static_cast<std::ptrdiff_t>(y) * rows.stride);
    if (shape.bitCount <= 8)
        source.colours(paletteOut);
}

}  // namespace kelvora::codec

#include "codec/PictureRows.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cstddef>

namespace kelvora::codec {

namespace {

constexpr std::uint16_t wide(std::uint8_t v) { return static_cast<std::uint16_t>(v * 257); }
constexpr std::uint16_t bigEndian(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
// Rounded to the nearest 8-bit value: x * 257 comes back as x.
constexpr std::uint8_t narrow(std::uint16_t v) { return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u); }

void putLittle(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void putBig(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

Sample grey(std::uint16_t v, std::uint16_t alpha = 0xFFFF) { return {v, v, v, alpha}; }

bool isGrey(int format)
{
    switch (format) {
    case AV_PIX_FMT_GRAY8:
    case AV_PIX_FMT_MONOBLACK:
    case AV_PIX_FMT_YA8:
    case AV_PIX_FMT_GRAY16LE:
    case AV_PIX_FMT_GRAY16BE:
    case AV_PIX_FMT_YA16BE:
        return true;
    default:
        return false;
    }
}

const std::uint8_t* rowOf(const AVFrame& f, int plane, int y)
{
    return f.data[plane] + static_cast<std::ptrdiff_t>(y) * f.linesize[plane];
}
std::uint8_t* rowOf(AVFrame& f, int plane, int y)
{
    return f.data[plane] + static_cast<std::ptrdiff_t>(y) * f.linesize[plane];
}

// The pixel `x` of a row whose samples come packed in one plane.
Sample packedPixel(int format, const std::uint8_t* p, const std::uint32_t* palette, int x)
{
    switch (format) {
    case AV_PIX_FMT_RGB24:
        return {wide(p[3 * x]), wide(p[3 * x + 1]), wide(p[3 * x + 2])};
    case AV_PIX_FMT_RGBA:
        return {wide(p[4 * x]), wide(p[4 * x + 1]), wide(p[4 * x + 2]), wide(p[4 * x + 3])};
    case AV_PIX_FMT_PAL8: {
        const std::uint32_t c = palette[p[x]];
        return {wide(static_cast<std::uint8_t>(c >> 16)), wide(static_cast<std::uint8_t>(c >> 8)),
                wide(static_cast<std::uint8_t>(c)), wide(static_cast<std::uint8_t>(c >> 24))};
    }
    case AV_PIX_FMT_GRAY8:
        return grey(wide(p[x]));
    case AV_PIX_FMT_MONOBLACK:
        return grey((p[x / 8] >> (7 - x % 8) & 1) ? 0xFFFF : 0);
    case AV_PIX_FMT_YA8:
        return grey(wide(p[2 * x]), wide(p[2 * x + 1]));
    case AV_PIX_FMT_RGB48BE:
        return {bigEndian(p + 6 * x), bigEndian(p + 6 * x + 2), bigEndian(p + 6 * x + 4)};
    case AV_PIX_FMT_RGBA64BE:
        return {bigEndian(p + 8 * x), bigEndian(p + 8 * x + 2), bigEndian(p + 8 * x + 4), bigEndian(p + 8 * x + 6)};
    case AV_PIX_FMT_GRAY16BE:
        return grey(bigEndian(p + 2 * x));
    default:  // AV_PIX_FMT_YA16BE
        return grey(bigEndian(p + 4 * x), bigEndian(p + 4 * x + 2));
    }
}

void putPacked(int format, std::uint8_t* p, int x, const Sample& s)
{
    switch (format) {
    case AV_PIX_FMT_BGR0:
    case AV_PIX_FMT_BGRA:
        p[4 * x] = narrow(s.blue);
        p[4 * x + 1] = narrow(s.green);
        p[4 * x + 2] = narrow(s.red);
        p[4 * x + 3] = format == AV_PIX_FMT_BGRA ? narrow(s.alpha) : 0;
        break;
    case AV_PIX_FMT_RGB24:
    case AV_PIX_FMT_RGBA:
        p[(format == AV_PIX_FMT_RGBA ? 4 : 3) * x] = narrow(s.red);
        p[(format == AV_PIX_FMT_RGBA ? 4 : 3) * x + 1] = narrow(s.green);
        p[(format == AV_PIX_FMT_RGBA ? 4 : 3) * x + 2] = narrow(s.blue);
        if (format == AV_PIX_FMT_RGBA)
            p[4 * x + 3] = narrow(s.alpha);
        break;
    case AV_PIX_FMT_GRAY8:
        p[x] = narrow(s.red);
        break;
    case AV_PIX_FMT_MONOBLACK: {
        const auto bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
        p[x / 8] = static_cast<std::uint8_t>(s.red >= 0x8000 ? p[x / 8] | bit : p[x / 8] & ~bit);
        break;
    }
    case AV_PIX_FMT_YA8:
        p[2 * x] = narrow(s.red);
        p[2 * x + 1] = narrow(s.alpha);
        break;
    case AV_PIX_FMT_GRAY16LE:
        putLittle(p + 2 * x, s.red);
        break;
    case AV_PIX_FMT_GRAY16BE:
        putBig(p + 2 * x, s.red);
        break;
    case AV_PIX_FMT_YA16BE:
        putBig(p + 4 * x, s.red);
        putBig(p + 4 * x + 2, s.alpha);
        break;
    case AV_PIX_FMT_RGB48BE:
        putBig(p + 6 * x, s.red);
        putBig(p + 6 * x + 2, s.green);
        putBig(p + 6 * x + 4, s.blue);
        break;
    default:  // AV_PIX_FMT_RGBA64BE
        putBig(p + 8 * x, s.red);
        putBig(p + 8 * x + 2, s.green);
        putBig(p + 8 * x + 4, s.blue);
        putBig(p + 8 * x + 6, s.alpha);
        break;
    }
}

}  // namespace

bool readsRows(int format)
{
    switch (format) {
    case AV_PIX_FMT_RGB24:
    case AV_PIX_FMT_RGBA:
    case AV_PIX_FMT_PAL8:
    case AV_PIX_FMT_GRAY8:
    case AV_PIX_FMT_MONOBLACK:
    case AV_PIX_FMT_YA8:
    case AV_PIX_FMT_RGB48BE:
    case AV_PIX_FMT_RGBA64BE:
    case AV_PIX_FMT_GRAY16BE:
    case AV_PIX_FMT_YA16BE:
    case AV_PIX_FMT_GBRP:
    case AV_PIX_FMT_GBRAP:
        return true;
    default:
        return false;
    }
}

bool writesRows(int format)
{
    switch (format) {
    case AV_PIX_FMT_BGR0:
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_RGB24:
    case AV_PIX_FMT_RGBA:
    case AV_PIX_FMT_GRAY8:
    case AV_PIX_FMT_MONOBLACK:
    case AV_PIX_FMT_YA8:
    case AV_PIX_FMT_GRAY16LE:
    case AV_PIX_FMT_GRAY16BE:
    case AV_PIX_FMT_YA16BE:
    case AV_PIX_FMT_RGB48BE:
    case AV_PIX_FMT_RGBA64BE:
    case AV_PIX_FMT_GBRP16LE:
    case AV_PIX_FMT_GBRAP16LE:
        return true;
    default:
        return false;
    }
}

bool hasAlpha(int format)
{
    switch (format) {
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_RGBA:
    case AV_PIX_FMT_YA8:
    case AV_PIX_FMT_YA16BE:
    case AV_PIX_FMT_RGBA64BE:
    case AV_PIX_FMT_GBRAP16LE:
        return true;
    default:
        return false;
    }
}

void readRow(const AVFrame& f, int y, std::span<Sample> row)
{
    const auto width = static_cast<std::size_t>(f.width);
    if (f.format == AV_PIX_FMT_GBRP || f.format == AV_PIX_FMT_GBRAP) {
        // A JPEG's RGB (or CMYK, which libavcodec gives as RGB with an opaque fourth plane).
        const std::uint8_t* g = rowOf(f, 0, y);
        const std::uint8_t* b = rowOf(f, 1, y);
        const std::uint8_t* r = rowOf(f, 2, y);
        for (std::size_t x = 0; x < width; ++x)
            row[x] = {wide(r[x]), wide(g[x]), wide(b[x])};
        return;
    }
    const std::uint8_t* p = rowOf(f, 0, y);
    const auto* palette = reinterpret_cast<const std::uint32_t*>(f.data[1]);
    for (std::size_t x = 0; x < width; ++x)
        row[x] = packedPixel(f.format, p, palette, static_cast<int>(x));
}

void writeRow(AVFrame& t, int y, std::span<const Sample> row)
{
    const auto width = static_cast<std::size_t>(t.width);
    if (t.format == AV_PIX_FMT_GBRP16LE || t.format == AV_PIX_FMT_GBRAP16LE) {
        std::uint8_t* g = rowOf(t, 0, y);
        std::uint8_t* b = rowOf(t, 1, y);
        std::uint8_t* r = rowOf(t, 2, y);
        std::uint8_t* a = t.format == AV_PIX_FMT_GBRAP16LE ? rowOf(t, 3, y) : nullptr;
        for (std::size_t x = 0; x < width; ++x) {
            putLittle(g + 2 * x, row[x].green);
            putLittle(b + 2 * x, row[x].blue);
            putLittle(r + 2 * x, row[x].red);
            if (a)
                putLittle(a + 2 * x, row[x].alpha);
        }
        return;
    }
    std::uint8_t* p = rowOf(t, 0, y);
    for (std::size_t x = 0; x < width; ++x)
        putPacked(t.format, p, static_cast<int>(x), row[x]);
}

Sample over(Sample pixel, Background background)
{
    if (pixel.alpha == 0xFFFF)
        return pixel;
    const std::uint32_t a = pixel.alpha;
    const auto blend = [a](std::uint16_t colour, std::uint8_t under) {
        return static_cast<std::uint16_t>((colour * a + wide(under) * (0xFFFFu - a) + 0x7FFFu) / 0xFFFFu);
    };
    return {blend(pixel.red, background.red), blend(pixel.green, background.green), blend(pixel.blue, background.blue)};
}

std::string lossIn(std::span<const Sample> row, int target, int y)
{
    for (std::size_t x = 0; x < row.size(); ++x) {
        const Sample& s = row[x];
        const char* what = nullptr;
        if (isGrey(target) && (s.red != s.green || s.green != s.blue))
            what = "ha colori, mentre il primo fotogramma è in scala di grigi";
        else if (target == AV_PIX_FMT_MONOBLACK && s.red != 0 && s.red != 0xFFFF)
            what = "ha grigi, mentre il primo fotogramma è in bianco e nero (1 bit)";
        if (what)
            return std::string(what) + " (colonna " + std::to_string(x + 1) + ", riga " + std::to_string(y + 1) + ")";
    }
    return {};
}

}  // namespace kelvora::codec

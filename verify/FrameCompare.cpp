#include "verify/FrameCompare.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kelvora::verify {

namespace {

std::string shapeText(std::int32_t width, std::int32_t height, std::int32_t bitCount, std::int32_t compression)
{
    std::string text = std::to_string(width) + "×" + std::to_string(height < 0 ? -std::int64_t{height} : height) +
                       ", " + std::to_string(bitCount) + " bit";
    if (height < 0)
        text += ", dall'alto in basso";
    if (compression == binary::BI_RLE8 || compression == binary::BI_RLE4)
        text += ", RLE";
    else if (compression == binary::BI_BITFIELDS)
        text += bitCount == 16 ? ", 5-6-5" : ", a campi di bit";
    return text;
}

std::uint32_t rgbOf(std::span<const std::uint8_t> table, std::size_t index)
{
    // The bitmap's entries are blue, green, red, unused.
    return std::uint32_t{table[4 * index + 2]} << 16 | std::uint32_t{table[4 * index + 1]} << 8 | table[4 * index];
}

bool sameRow(codec::PixelLayout layout, const std::uint8_t* got, const std::uint8_t* want, std::size_t width,
             const codec::CodecPalette& gotColours, const codec::CodecPalette& wantColours)
{
    switch (layout) {
    case codec::PixelLayout::Rgb24:
        return std::memcmp(got, want, width * 3) == 0;
    case codec::PixelLayout::Bgr0:
        // The fourth byte is no colour: bitmaps leave it unused and the codec does not keep it.
        for (std::size_t x = 0; x < width; ++x, got += 4, want += 4)
            if (got[0] != want[0] || got[1] != want[1] || got[2] != want[2])
                return false;
        return true;
    case codec::PixelLayout::Pal8:
        break;
    }
    // Indices may differ where their colours do not: what counts is the colour shown.
    for (std::size_t x = 0; x < width; ++x)
        if (((gotColours[got[x]] ^ wantColours[want[x]]) & 0xFFFFFFu) != 0)
            return false;
    return true;
}

}  // namespace

std::string rawDifference(const binary::BITMAPINFOHEADER& stream, std::span<const std::uint8_t> chunk,
                          const codec::CodecPalette& palette, const bitmap::FramePlan& plan,
                          std::span<const std::uint8_t> bits)
{
    const bitmap::StreamShape& shape = plan.shape;
    if (stream.biWidth != shape.width || stream.biHeight != shape.height || stream.biBitCount != shape.bitCount ||
        stream.biCompression != shape.compression)
        return "il video è di " + shapeText(stream.biWidth, stream.biHeight, stream.biBitCount, stream.biCompression) +
               ", il file di " + shapeText(shape.width, shape.height, shape.bitCount, shape.compression);
    if (!std::ranges::equal(chunk, bits))
        return "i pixel sono diversi";
    const std::size_t entries = plan.palette.size() / 4;
    for (std::size_t i = 0; i < std::min<std::size_t>(entries, palette.size()); ++i)
        if ((palette[i] & 0xFFFFFFu) != rgbOf(plan.palette, i))
            return "i colori della tavolozza sono diversi";
    return {};
}

std::string decodedDifference(const codec::DecodedPicture& picture, const bitmap::FramePlan& plan,
                              std::span<const std::uint8_t> bits, std::vector<std::uint8_t>& scratch)
{
    const bitmap::StreamShape& shape = plan.shape;
    const auto rows = static_cast<int>(shape.height < 0 ? -std::int64_t{shape.height} : shape.height);
    if (picture.width != shape.width || picture.height != rows)
        return "il video è di " + std::to_string(picture.width) + "×" + std::to_string(picture.height) +
               ", il file di " + std::to_string(shape.width) + "×" + std::to_string(rows);
    if (!picture.layout)
        return "il fotogramma decodificato ha pixel di un'altra forma";
    const codec::PixelLayout layout = *picture.layout;
    if (layout == codec::PixelLayout::Pal8 && shape.bitCount > 8)
        return "il video ha una tavolozza, il file no";
    const std::size_t width = static_cast<std::size_t>(shape.width);
    const std::size_t rowBytes = width * codec::bytesPerPixel(layout);
    scratch.resize(rowBytes * static_cast<std::size_t>(rows));
    codec::CodecPalette wantColours{};
    codec::toCodecPixels(shape, bits, plan.palette, layout, {scratch.data(), static_cast<std::ptrdiff_t>(rowBytes)},
                         wantColours);
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t* got = picture.data + static_cast<std::ptrdiff_t>(y) * picture.stride;
        const std::uint8_t* want = scratch.data() + static_cast<std::size_t>(y) * rowBytes;
        if (!sameRow(layout, got, want, width, picture.palette, wantColours))
            return "i pixel sono diversi";
    }
    return {};
}

std::string foreignDifference(std::span<const std::uint8_t> rgb, int width, int height, bool lossless,
                              const bitmap::FramePlan& plan, std::span<const std::uint8_t> bits,
                              std::vector<std::uint8_t>& scratch)
{
    const bitmap::StreamShape& shape = plan.shape;
    const auto rows = static_cast<int>(shape.height < 0 ? -std::int64_t{shape.height} : shape.height);
    if (width != shape.width || height != rows)
        return "il video è di " + std::to_string(width) + "×" + std::to_string(height) + ", il file di " +
               std::to_string(shape.width) + "×" + std::to_string(rows);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    scratch.resize(rowBytes * static_cast<std::size_t>(rows));
    codec::CodecPalette unused{};
    codec::toCodecPixels(shape, bits, plan.palette, codec::PixelLayout::Rgb24,
                         {scratch.data(), static_cast<std::ptrdiff_t>(rowBytes)}, unused);
    return rgbDifference(rgb, width, height, lossless, scratch, shape.width, rows);
}

std::string rgbDifference(std::span<const std::uint8_t> rgb, int width, int height, bool lossless,
                          std::span<const std::uint8_t> want, int wantWidth, int wantHeight)
{
    if (width != wantWidth || height != wantHeight)
        return "il video è di " + std::to_string(width) + "×" + std::to_string(height) + ", il file di " +
               std::to_string(wantWidth) + "×" + std::to_string(wantHeight);
    if (rgb.size() != want.size())
        return "il fotogramma decodificato ha pixel di un'altra forma";
    if (lossless)
        return std::ranges::equal(rgb, want) ? std::string() : "i pixel sono diversi";
    double squares = 0;
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        const double d = static_cast<double>(rgb[i]) - want[i];
        squares += d * d;
    }
    const double mse = squares / static_cast<double>(std::max<std::size_t>(rgb.size(), 1));
    const double psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
    if (psnr >= 30)
        return {};
    return "i pixel sono diversi (" + std::to_string(static_cast<int>(psnr)) + " dB, codec con perdita)";
}

bool rgbOfBitmapRows(std::span<const std::uint8_t> chunk, int width, int height, std::vector<std::uint8_t>& rgb)
{
    const auto across = static_cast<std::size_t>(std::max(width, 0));
    const auto rows = static_cast<std::size_t>(height < 0 ? -static_cast<std::int64_t>(height) : height);
    const std::size_t stride = (across * 3 + 3) / 4 * 4;
    if (chunk.size() < stride * rows)
        return false;
    rgb.resize(across * rows * 3);
    for (std::size_t y = 0; y < rows; ++y) {
        const std::uint8_t* in = chunk.data() + (height < 0 ? y : rows - 1 - y) * stride;
        std::uint8_t* out = rgb.data() + y * across * 3;
        for (std::size_t x = 0; x < across; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    return true;
}

bool rgbOfDecoded(const codec::DecodedPicture& picture, std::vector<std::uint8_t>& rgb)
{
    if (!picture.layout || *picture.layout == codec::PixelLayout::Pal8 || picture.width <= 0 || picture.height <= 0)
        return false;
    const auto width = static_cast<std::size_t>(picture.width);
    rgb.resize(width * static_cast<std::size_t>(picture.height) * 3);
    const bool bgr0 = *picture.layout == codec::PixelLayout::Bgr0;
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* in = picture.data + static_cast<std::ptrdiff_t>(y) * picture.stride;
        std::uint8_t* out = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        if (!bgr0) {
            std::copy_n(in, width * 3, out);
            continue;
        }
        for (std::size_t x = 0; x < width; ++x) {
            out[3 * x] = in[4 * x + 2];
            out[3 * x + 1] = in[4 * x + 1];
            out[3 * x + 2] = in[4 * x];
        }
    }
    return true;
}

}  // namespace kelvora::verify

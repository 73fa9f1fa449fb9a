#include "codec/Yuv420.h"

#include "codec/PictureConversion.h"

#include <algorithm>
#include <cmath>

namespace kelvora::codec {

namespace {

// BT.709: Y' = 0.2126 R + 0.7152 G + 0.0722 B; limited range scales Y' to 219 levels and
// Cb, Cr to 224. Fixed point with 16 fractional bits; each row's coefficients are rounded so
// that white gives exactly 235 and every grey exactly 128 in Cb and Cr.
constexpr double kKr = 0.2126;
constexpr double kKb = 0.0722;
constexpr double kKg = 1.0 - kKr - kKb;
constexpr int kShift = 16;

struct Row {
    int r, g, b;
};

int fixed(double v) { return static_cast<int>(std::lround(v * (1 << kShift))); }

Row lumaRow()
{
    const int r = fixed(219.0 / 255.0 * kKr);
    const int b = fixed(219.0 / 255.0 * kKb);
    return {r, fixed(219.0 / 255.0) - r - b, b};
}

Row cbRow()
{
    const double s = 224.0 / 255.0 / (2.0 * (1.0 - kKb));
    const int r = fixed(-kKr * s);
    const int g = fixed(-kKg * s);
    return {r, g, -r - g};
}

Row crRow()
{
    const double s = 224.0 / 255.0 / (2.0 * (1.0 - kKr));
    const int g = fixed(-kKg * s);
    const int b = fixed(-kKb * s);
    return {-g - b, g, b};
}

std::uint8_t clampTo(int v, int low, int high) { return static_cast<std::uint8_t>(std::clamp(v, low, high)); }

}  // namespace

EvenSize evenSize(const bitmap::StreamShape& shape)
{
    const int rows = shape.height < 0 ? -shape.height : shape.height;
    return {(shape.width + 1) & ~1, (rows + 1) & ~1};
}

void rgbToYuv420(const std::uint8_t* rgb, std::ptrdiff_t stride, int width, int height, EvenSize size,
                 std::span<std::uint8_t> planes)
{
    static const Row y = lumaRow();
    static const Row cb = cbRow();
    static const Row cr = crRow();
    const auto w = static_cast<std::size_t>(size.width);
    const auto h = static_cast<std::size_t>(size.height);
    std::uint8_t* outY = planes.data();
    std::uint8_t* outCb = outY + w * h;
    std::uint8_t* outCr = outCb + (w / 2) * (h / 2);
    // A pixel past the picture is the last one of its row or column.
    const auto pixel = [&](std::size_t x, std::size_t row) {
        const std::size_t cx = std::min<std::size_t>(x, static_cast<std::size_t>(width) - 1);
        const std::size_t cy = std::min<std::size_t>(row, static_cast<std::size_t>(height) - 1);
        return rgb + static_cast<std::ptrdiff_t>(cy) * stride + static_cast<std::ptrdiff_t>(cx * 3);
    };
    constexpr int kHalf = 1 << (kShift - 1);
    for (std::size_t row = 0; row < h; row += 2) {
        for (std::size_t x = 0; x < w; x += 2) {
            int sr = 0, sg = 0, sb = 0;
            for (std::size_t dy = 0; dy < 2; ++dy)
                for (std::size_t dx = 0; dx < 2; ++dx) {
                    const std::uint8_t* p = pixel(x + dx, row + dy);
                    sr += p[0];
                    sg += p[1];
                    sb += p[2];
                    outY[(row + dy) * w + x + dx] =
                        clampTo((y.r * p[0] + y.g * p[1] + y.b * p[2] + (16 << kShift) + kHalf) >> kShift, 16, 235);
                }
            // The block's mean, with its two extra bits kept until the rounding.
            const std::size_t c = (row / 2) * (w / 2) + x / 2;
            outCb[c] = clampTo(
                (cb.r * sr + cb.g * sg + cb.b * sb + (128 << (kShift + 2)) + (kHalf << 2)) >> (kShift + 2), 16, 240);
            outCr[c] = clampTo(
                (cr.r * sr + cr.g * sg + cr.b * sb + (128 << (kShift + 2)) + (kHalf << 2)) >> (kShift + 2), 16, 240);
        }
    }
}

Yuv420Converter::Yuv420Converter(const bitmap::StreamShape& shape, Background background)
    : m_shape(shape), m_size(evenSize(shape)), m_background(background)
{
}

Yuv420Converter::~Yuv420Converter() = default;

void Yuv420Converter::convert(std::span<const std::uint8_t> bits, std::span<const std::uint8_t> palette,
                              std::vector<std::uint8_t>& planes)
{
    const int rows = m_shape.height < 0 ? -m_shape.height : m_shape.height;
    const std::ptrdiff_t stride = std::ptrdiff_t{m_shape.width} * 3;
    m_rgb.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows));
    CodecPalette unused{};
    toCodecPixels(m_shape, bits, palette, PixelLayout::Rgb24, {m_rgb.data(), stride}, unused);
    planes.resize(m_size.planeBytes());
    rgbToYuv420(m_rgb.data(), stride, m_shape.width, rows, m_size, planes);
}

platform::Status Yuv420Converter::convertPicture(const AVFrame& decoded, std::vector<std::uint8_t>& planes)
{
    const int rows = m_shape.height < 0 ? -m_shape.height : m_shape.height;
    // libswscale's RGB (or the decoder's own) as it stands, in padded planes none of ours.
    if (!m_pictures)
        m_pictures = std::make_unique<PictureConverter>();
    const auto converted = m_pictures->toRgb(decoded, m_shape.width, rows, m_background);
    if (!converted)
        return converted.failure();
    const AVFrame& rgb = *converted.value();
    planes.resize(m_size.planeBytes());
    rgbToYuv420(rgb.data[0], rgb.linesize[0], m_shape.width, rows, m_size, planes);
    return {};
}

}  // namespace kelvora::codec

#include "photo/SourcePicture.h"

#include "codec/CodecPixels.h"
#include "codec/PictureDecoder.h"
#include "photo/LinearLight.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace kelvora::photo {

namespace {

struct DestroyTurbo {
    void operator()(void* handle) const { tjDestroy(handle); }
};

bool isJpeg(std::span<const std::uint8_t> file) { return file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8; }

// An APP14 "Adobe" segment before the picture data: CMYK samples are then stored inverted.
bool hasAdobeMarker(std::span<const std::uint8_t> file)
{
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const std::uint8_t marker = file[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        const std::size_t length = std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (length < 2 || length > file.size() - at - 2)
            break;
        if (marker == 0xEE && length >= 7 && std::memcmp(&file[at + 4], "Adobe", 5) == 0)
            return true;
        at += 2 + length;
    }
    return false;
}

Samples samplesOf(Layout layout)
{
    switch (layout) {
    case Layout::Grey8:
    case Layout::GreyAlpha8:
        return Samples::Grey8;
    case Layout::Rgb8:
    case Layout::Rgba8:
        return Samples::Rgb8;
    case Layout::Grey16:
    case Layout::GreyAlpha16:
        return Samples::Grey16;
    case Layout::Rgb16:
    case Layout::Rgba16:
        return Samples::Rgb16;
    case Layout::Cmyk8:
        return Samples::Cmyk8;
    case Layout::InvertedCmyk8:
        return Samples::InvertedCmyk8;
    }
    return Samples::Rgb8;
}

std::uint16_t bigEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

SourcePicture::SourcePicture(SourcePicture&&) noexcept = default;
SourcePicture& SourcePicture::operator=(SourcePicture&&) noexcept = default;
SourcePicture::~SourcePicture() = default;

int SourcePicture::channels() const
{
    switch (m_layout) {
    case Layout::Grey8:
    case Layout::Grey16:
        return 1;
    case Layout::GreyAlpha8:
    case Layout::GreyAlpha16:
        return 2;
    case Layout::Rgb8:
    case Layout::Rgb16:
        return 3;
    default:
        return 4;
    }
}

std::size_t SourcePicture::sampleBytes() const
{
    switch (m_layout) {
    case Layout::Grey16:
    case Layout::GreyAlpha16:
    case Layout::Rgb16:
    case Layout::Rgba16:
        return 2;
    default:
        return 1;
    }
}

bool SourcePicture::hasAlpha() const
{
    return m_layout == Layout::GreyAlpha8 || m_layout == Layout::Rgba8 || m_layout == Layout::GreyAlpha16 ||
           m_layout == Layout::Rgba16;
}

void SourcePicture::allocate(Layout layout, int width, int height, platform::LargeBlock storage)
{
    m_layout = layout;
    m_width = width;
    m_height = height;
    m_stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels()) * sampleBytes();
    const std::size_t size = m_stride * static_cast<std::size_t>(height);
    // Every decoder writes each sample, so storage used before needs no clearing.
    m_pixels = storage.size() >= size ? std::move(storage) : platform::LargeBlock::allocate(size);
}

// The decoders, each filling a picture.
struct Decoding {
    static SourcePicture::Result jpeg(std::span<const std::uint8_t> file, const SourcePicture::Want& want,
                                      platform::LargeBlock storage);
    static SourcePicture::Result png(std::span<const std::uint8_t> file, platform::LargeBlock storage);
};

constexpr double kDctMargin = 2.0;

int jpegScaleEighths(int width, int height, Orientation orientation, const SourcePicture::Want& want)
{
    if (want.frame.original())
        return 8;
    const Sides upright = uprightSides(orientation, width, height);
    const Placement p = place(upright.width, upright.height, want.frame, want.framing.fit);
    // The output pixels along each of the stored picture's own sides.
    const Window shown =
        storedWindow(orientation, width, height, {p.sourceX, p.sourceY, p.sourceWidth, p.sourceHeight});
    // Twice the output's pixels: the DCT's reduction averages gamma-encoded values, so it is
    // left to do at most half of the shrinking and Lanczos in linear light the rest (a
    // 6000 x 4000 photo for full HD: 53.5 dB against a full-size decode, 48.6 dB with the
    // DCT scaled to the output itself; bench/photo).
    const double across = kDctMargin * (swapsSides(orientation) ? p.height : p.width);
    const double down = kDctMargin * (swapsSides(orientation) ? p.width : p.height);
    for (int eighths = 1; eighths < 8; ++eighths) {
        const double scale = eighths / 8.0;
        if (shown.width * scale >= across && shown.height * scale >= down)
            return eighths;
    }
    return 8;
}

SourcePicture::Result Decoding::jpeg(std::span<const std::uint8_t> file, const SourcePicture::Want& want,
                                     platform::LargeBlock storage)
{
    const std::unique_ptr<void, DestroyTurbo> handle(tjInitDecompress());
    if (!handle)
        return {std::nullopt, "memoria insufficiente per il decodificatore JPEG"};
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    auto* bytes = const_cast<unsigned char*>(file.data());
    const auto size = static_cast<unsigned long>(file.size());
    if (tjDecompressHeader3(handle.get(), bytes, size, &width, &height, &subsampling, &colourspace) != 0)
        return {std::nullopt, std::string("l'immagine JPEG non si legge (") + tjGetErrorStr2(handle.get()) + ")"};
    SourcePicture out;
    out.m_fileWidth = width;
    out.m_fileHeight = height;
    out.m_orientation = jpegOrientation(file);
    const int eighths = jpegScaleEighths(width, height, out.m_orientation, want);
    const tjscalingfactor factor{eighths, 8};
    const int scaledWidth = TJSCALED(width, factor);
    const int scaledHeight = TJSCALED(height, factor);
    Layout layout = Layout::Rgb8;
    int format = TJPF_RGB;
    if (colourspace == TJCS_GRAY) {
        layout = Layout::Grey8;
        format = TJPF_GRAY;
    } else if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
        layout = hasAdobeMarker(file) ? Layout::InvertedCmyk8 : Layout::Cmyk8;
        format = TJPF_CMYK;
    }
    out.allocate(layout, scaledWidth, scaledHeight, std::move(storage));
    if (out.m_pixels.empty())
        return {std::nullopt, "memoria insufficiente per decodificare l'immagine"};
    if (tjDecompress2(handle.get(), bytes, size, out.m_pixels.data(), scaledWidth, static_cast<int>(out.m_stride),
                      scaledHeight, format, 0) != 0) {
        const std::string_view reason = tjGetErrorStr2(handle.get());
        // A warning leaves a whole picture (stray bytes between segments); the end of the data
        // coming too soon leaves grey where the picture should be.
        if (tjGetErrorCode(handle.get()) != TJERR_WARNING || reason.find("remature end") != std::string_view::npos)
            return {std::nullopt, "l'immagine è danneggiata (" + std::string(reason) + ")"};
    }
    out.m_transform = ColourTransform::make(jpegColours(file), samplesOf(layout));
    return {std::move(out), {}};
}

SourcePicture::Result Decoding::png(std::span<const std::uint8_t> file, platform::LargeBlock storage)
{
    const auto decoder = codec::PictureDecoder::decodeOne(bitmap::PictureType::Png, file);
    if (!decoder)
        return {std::nullopt, decoder.error()};
    const AVFrame& f = decoder.value()->picture();
    SourcePicture out;
    out.m_fileWidth = f.width;
    out.m_fileHeight = f.height;
    Layout layout = Layout::Rgb8;
    switch (f.format) {
    case AV_PIX_FMT_RGB24:
        layout = Layout::Rgb8;
        break;
    case AV_PIX_FMT_RGBA:
    case AV_PIX_FMT_PAL8:
        layout = Layout::Rgba8;
        break;
    case AV_PIX_FMT_GRAY8:
    case AV_PIX_FMT_MONOBLACK:
        layout = Layout::Grey8;
        break;
    case AV_PIX_FMT_YA8:
        layout = Layout::GreyAlpha8;
        break;
    case AV_PIX_FMT_RGB48BE:
        layout = Layout::Rgb16;
        break;
    case AV_PIX_FMT_RGBA64BE:
        layout = Layout::Rgba16;
        break;
    case AV_PIX_FMT_GRAY16BE:
        layout = Layout::Grey16;
        break;
    case AV_PIX_FMT_YA16BE:
        layout = Layout::GreyAlpha16;
        break;
    default:
        return {std::nullopt, "l'immagine è decodificata in una forma che non si può adattare"};
    }
    out.allocate(layout, f.width, f.height, std::move(storage));
    if (out.m_pixels.empty())
        return {std::nullopt, "memoria insufficiente per decodificare l'immagine"};
    const auto* palette = reinterpret_cast<const std::uint32_t*>(f.data[1]);
    for (int y = 0; y < f.height; ++y) {
        const std::uint8_t* in = f.data[0] + static_cast<std::ptrdiff_t>(y) * f.linesize[0];
        std::uint8_t* row = out.m_pixels.data() + static_cast<std::size_t>(y) * out.m_stride;
        if (f.format == AV_PIX_FMT_PAL8) {
            for (int x = 0; x < f.width; ++x) {
                const std::uint32_t c = palette[in[x]];
                row[4 * x] = static_cast<std::uint8_t>(c >> 16);
                row[4 * x + 1] = static_cast<std::uint8_t>(c >> 8);
                row[4 * x + 2] = static_cast<std::uint8_t>(c);
                row[4 * x + 3] = static_cast<std::uint8_t>(c >> 24);
            }
        } else if (f.format == AV_PIX_FMT_MONOBLACK) {
            for (int x = 0; x < f.width; ++x)
                row[x] = (in[x / 8] >> (7 - x % 8) & 1) ? 255 : 0;
        } else if (out.sampleBytes() == 2) {
            auto* wide = reinterpret_cast<std::uint16_t*>(row);
            const std::size_t samples = out.m_stride / 2;
            for (std::size_t i = 0; i < samples; ++i)
                wide[i] = bigEndian16(in + 2 * i);
        } else {
            std::memcpy(row, in, out.m_stride);
        }
    }
    out.m_transform = ColourTransform::make(pngColours(file), samplesOf(layout));
    return {std::move(out), {}};
}

SourcePicture::Result SourcePicture::decode(std::span<const std::uint8_t> file, const Want& want,
                                            platform::LargeBlock storage)
{
    return isJpeg(file) ? Decoding::jpeg(file, want, std::move(storage)) : Decoding::png(file, std::move(storage));
}

SourcePicture::Result SourcePicture::fromBitmap(const bitmap::StreamShape& shape, std::span<const std::uint8_t> bits,
                                                std::span<const std::uint8_t> palette, platform::LargeBlock storage)
{
    SourcePicture out;
    const int rows = shape.height < 0 ? -shape.height : shape.height;
    out.m_fileWidth = shape.width;
    out.m_fileHeight = rows;
    out.allocate(Layout::Rgb8, shape.width, rows, std::move(storage));
    if (out.m_pixels.empty())
        return {std::nullopt, "memoria insufficiente per l'immagine"};
    codec::CodecPalette unused{};
    codec::toCodecPixels(shape, bits, palette, codec::PixelLayout::Rgb24,
                         {out.m_pixels.data(), static_cast<std::ptrdiff_t>(out.m_stride)}, unused);
    return {std::move(out), {}};
}

void SourcePicture::row(int y, Pixel* out) const
{
    const std::uint8_t* in = m_pixels.data() + static_cast<std::size_t>(y) * m_stride;
    const auto w = static_cast<std::size_t>(m_width);
    const int n = channels();
    const bool wide = sampleBytes() == 2;
    const bool alpha = hasAlpha();
    const bool cmyk = m_layout == Layout::Cmyk8 || m_layout == Layout::InvertedCmyk8;
    const auto sample = [&](std::size_t x, int c) -> std::uint32_t {
        return wide ? reinterpret_cast<const std::uint16_t*>(in)[x * n + c] : in[x * n + c];
    };
    const auto alphaOf = [&](std::size_t x) -> float {
        if (!alpha)
            return 1.0f;
        return wide ? static_cast<float>(sample(x, n - 1)) / 65535.0f : static_cast<float>(sample(x, n - 1)) / 255.0f;
    };
    if (m_transform) {
        // The profile takes the colour samples alone.
        m_linear.resize(3 * w);
        const void* colours = in;
        if (alpha) {
            const std::size_t bytes = sampleBytes();
            const int colourChannels = n - 1;
            m_colourOnly.resize(w * static_cast<std::size_t>(colourChannels) * bytes);
            for (std::size_t x = 0; x < w; ++x)
                std::memcpy(&m_colourOnly[x * colourChannels * bytes], in + x * n * bytes, colourChannels * bytes);
            colours = m_colourOnly.data();
        }
        m_transform->toLinear(colours, w, m_linear.data());
        for (std::size_t x = 0; x < w; ++x) {
            const float a = alphaOf(x);
            out[x] = Pixel{m_linear[3 * x] * a, m_linear[3 * x + 1] * a, m_linear[3 * x + 2] * a, a};
        }
        return;
    }
    if (cmyk) {
        // No profile: the inks as a browser shows them, each colour the white its ink and the
        // black leave.
        const auto& table = srgbToLinear8();
        const bool inverted = m_layout == Layout::InvertedCmyk8;
        for (std::size_t x = 0; x < w; ++x) {
            const auto left = [&](int c) { return inverted ? in[4 * x + c] : 255u - in[4 * x + c]; };
            const unsigned k = left(3);
            const auto channel = [&](int c) { return table[(left(c) * k + 127) / 255]; };
            out[x] = Pixel{channel(0), channel(1), channel(2), 1.0f};
        }
        return;
    }
    const auto& table8 = srgbToLinear8();
    const auto& table16 = srgbToLinear16();
    const auto level = [&](std::size_t x, int c) { return wide ? table16[sample(x, c)] : table8[sample(x, c)]; };
    for (std::size_t x = 0; x < w; ++x) {
        const float a = alphaOf(x);
        if (n <= 2) {
            const float v = level(x, 0) * a;
            out[x] = Pixel{v, v, v, a};
        } else {
            out[x] = Pixel{level(x, 0) * a, level(x, 1) * a, level(x, 2) * a, a};
        }
    }
}

}  // namespace kelvora::photo

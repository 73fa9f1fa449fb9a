#include "codec/PictureConversion.h"

#include "codec/AvLog.h"
#include "codec/AvObjects.h"
#include "codec/PictureRows.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <new>
#include <vector>

namespace kelvora::codec {

namespace {

// A JPEG's Y'CbCr planes as the encoders name them: full range (yuvj) or, from a JPEG that says
// it is limited (its "CS=ITU601" comment), as they are; YCCK as libavcodec gives it, with
// the black folded in and an opaque fourth plane. AV_PIX_FMT_NONE for any other form.
AVPixelFormat yuvPlanesOf(int format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVA444P:
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUV440P:
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
    case AV_PIX_FMT_YUV411P:
        return AV_PIX_FMT_YUV411P;
    default:
        return AV_PIX_FMT_NONE;
    }
}

bool fullRange(const AVFrame& decoded)
{
    switch (decoded.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return decoded.color_range == AVCOL_RANGE_JPEG;
    }
}

bool isJpegRgb(int format) { return format == AV_PIX_FMT_GBRP || format == AV_PIX_FMT_GBRAP; }

bool paletteHasAlpha(const AVFrame& picture)
{
    const auto* entries = reinterpret_cast<const std::uint32_t*>(picture.data[1]);
    for (int i = 0; entries && i < 256; ++i)
        if (entries[i] >> 24 != 0xFF)
            return true;
    return false;
}

AVPixelFormat ffv1FormatFor(const AVFrame& decoded, Background background)
{
    if (const AVPixelFormat planes = yuvPlanesOf(decoded.format); planes != AV_PIX_FMT_NONE)
        return planes;
    switch (decoded.format) {
    case AV_PIX_FMT_RGB24:
    case AV_PIX_FMT_GBRP:
    case AV_PIX_FMT_GBRAP:
        return AV_PIX_FMT_BGR0;
    case AV_PIX_FMT_RGBA:
    case AV_PIX_FMT_YA8:  // GStreamer's FFV1 decoder has no grey with alpha
        return AV_PIX_FMT_BGRA;
    case AV_PIX_FMT_PAL8:
        return paletteHasAlpha(decoded) ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
    case AV_PIX_FMT_GRAY8:
    case AV_PIX_FMT_MONOBLACK:
        return background.grey() ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_BGR0;
    case AV_PIX_FMT_RGB48BE:
        return AV_PIX_FMT_GBRP16LE;
    case AV_PIX_FMT_RGBA64BE:
    case AV_PIX_FMT_YA16BE:  // FFV1 has no grey with alpha at 16 bits
        return AV_PIX_FMT_GBRAP16LE;
    case AV_PIX_FMT_GRAY16BE:
        return background.grey() ? AV_PIX_FMT_GRAY16LE : AV_PIX_FMT_GBRP16LE;
    default:
        return AV_PIX_FMT_NONE;
    }
}

AVPixelFormat pngFormatFor(const AVFrame& decoded, Background background)
{
    if (yuvPlanesOf(decoded.format) != AV_PIX_FMT_NONE || isJpegRgb(decoded.format))
        return AV_PIX_FMT_RGB24;
    switch (decoded.format) {
    case AV_PIX_FMT_GRAY8:
        return background.grey() ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_RGB24;
    case AV_PIX_FMT_MONOBLACK:
        if (background.blackOrWhite())
            return AV_PIX_FMT_MONOBLACK;
        return background.grey() ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_RGB24;
    case AV_PIX_FMT_GRAY16BE:
        return background.grey() ? AV_PIX_FMT_GRAY16BE : AV_PIX_FMT_RGB48BE;
    case AV_PIX_FMT_PAL8:  // a palette stream keeps its entries opaque, as FFV1's RGB does
        return paletteHasAlpha(decoded) ? AV_PIX_FMT_RGBA : AV_PIX_FMT_PAL8;
    default:
        return readsRows(decoded.format) ? static_cast<AVPixelFormat>(decoded.format) : AV_PIX_FMT_NONE;
    }
}

// A palette picture into a palette stream: its indices as they are, its entries shown over
// the background (opaque, as the stream's are).
void copyPalette(const AVFrame& decoded, AVFrame& target, Background background)
{
    av_image_copy_plane(target.data[0], target.linesize[0], decoded.data[0], decoded.linesize[0], decoded.width,
                        decoded.height);
    const auto* from = reinterpret_cast<const std::uint32_t*>(decoded.data[1]);
    auto* to = reinterpret_cast<std::uint32_t*>(target.data[1]);
    const auto narrow = [](std::uint16_t v) { return static_cast<std::uint32_t>((v * 255u + 32767u) / 65535u); };
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t c = from[i];
        const Sample shown =
            over({static_cast<std::uint16_t>((c >> 16 & 0xFF) * 257), static_cast<std::uint16_t>((c >> 8 & 0xFF) * 257),
                  static_cast<std::uint16_t>((c & 0xFF) * 257), static_cast<std::uint16_t>((c >> 24) * 257)},
                 background);
        to[i] = 0xFF000000u | narrow(shown.red) << 16 | narrow(shown.green) << 8 | narrow(shown.blue);
    }
}

const char* const kOtherForm = "l'immagine è decodificata in una forma che questo tipo di video non prende";

}  // namespace

AVPixelFormat pictureStreamFormat(Codec codec, const AVFrame& decoded, Background background)
{
    switch (codec) {
    case Codec::Ffv1:
        return ffv1FormatFor(decoded, background);
    case Codec::Png:
        return pngFormatFor(decoded, background);
    case Codec::H264:
        return yuvPlanesOf(decoded.format) != AV_PIX_FMT_NONE || readsRows(decoded.format) ? AV_PIX_FMT_RGB24
                                                                                           : AV_PIX_FMT_NONE;
    case Codec::Raw:
        break;
    }
    return AV_PIX_FMT_NONE;
}

// A JPEG's Y'CbCr in RGB, as ffmpeg converts it when it shows or re-encodes the picture (its
// scaler's default, bicubic: chroma interpolated to full size), into a picture of our own:
// libswscale writes past a row's pixels and past the last row (its vector code works in whole
// blocks), so it is given the padded, aligned planes libavutil allocates, never the caller's.
struct PictureConverter::Scaler {
    SwsContext* context = nullptr;
    std::unique_ptr<AVFrame, detail::FreeFrame> rgb{av_frame_alloc()};

    ~Scaler() { sws_freeContext(context); }

    // The RGB picture, or null with the reason.
    platform::Result<const AVFrame*> toRgb(const AVFrame& decoded)
    {
        const auto format = static_cast<AVPixelFormat>(decoded.format);
        context = sws_getCachedContext(context, decoded.width, decoded.height, format, decoded.width, decoded.height,
                                       AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!context || !rgb)
            return platform::Failure{"i colori dell'immagine non si convertono"};
        // A JPEG's planes are full range unless it says otherwise; yuvj formats say so by their
        // name, YCCK's by the frame's range, as ffmpeg's scale filter reads it.
        int* fromTable = nullptr;
        int* toTable = nullptr;
        int fromRange = 0;
        int toRange = 0;
        int brightness = 0;
        int contrast = 0;
        int saturation = 0;
        const int wanted = fullRange(decoded) ? 1 : 0;
        if (sws_getColorspaceDetails(context, &fromTable, &fromRange, &toTable, &toRange, &brightness, &contrast,
                                     &saturation) >= 0 &&
            fromRange != wanted)
            (void)sws_setColorspaceDetails(context, fromTable, wanted, toTable, toRange, brightness, contrast,
                                           saturation);
        if (rgb->width != decoded.width || rgb->height != decoded.height || !rgb->data[0]) {
            av_frame_unref(rgb.get());
            rgb->format = AV_PIX_FMT_RGB24;
            rgb->width = decoded.width;
            rgb->height = decoded.height;
            if (av_frame_get_buffer(rgb.get(), 0) < 0)
                return platform::Failure{"memoria insufficiente per convertire i colori dell'immagine"};
        }
        if (sws_scale(context, decoded.data, decoded.linesize, 0, decoded.height, rgb->data, rgb->linesize) !=
            decoded.height) {
            return platform::Failure{"i colori dell'immagine non si convertono"};
        }
        return rgb.get();
    }
};

void PictureConverter::FreeFrame::operator()(AVFrame* frame) const { av_frame_free(&frame); }

PictureConverter::PictureConverter() : m_scaler(std::make_unique<Scaler>()), m_rgb(av_frame_alloc())
{
    if (!m_rgb)
        throw std::bad_alloc();
    keepLibraryLogQuiet();  // libswscale's warnings would interleave with our own lines
}
PictureConverter::~PictureConverter() = default;

namespace {

platform::Status sameSize(const AVFrame& decoded, int width, int height)
{
    if (decoded.width == width && decoded.height == height)
        return {};
    return platform::Failure{"l'immagine misura " + std::to_string(decoded.width) + " x " +
                             std::to_string(decoded.height) + ", il primo fotogramma " + std::to_string(width) + " x " +
                             std::to_string(height)};
}

}  // namespace

platform::Result<const AVFrame*> PictureConverter::toRgb(const AVFrame& decoded, int width, int height,
                                                         Background background)
{
    if (auto same = sameSize(decoded, width, height); !same)
        return same.failure();
    if (yuvPlanesOf(decoded.format) != AV_PIX_FMT_NONE)
        return m_scaler->toRgb(decoded);
    if (decoded.format == AV_PIX_FMT_RGB24)
        return &decoded;
    AVFrame& rgb = *m_rgb;
    if (rgb.width != width || rgb.height != height || !rgb.data[0]) {
        av_frame_unref(&rgb);
        rgb.format = AV_PIX_FMT_RGB24;
        rgb.width = width;
        rgb.height = height;
        if (av_frame_get_buffer(&rgb, 0) < 0)
            return platform::Failure{"memoria insufficiente per convertire i colori dell'immagine"};
    }
    if (auto converted = convert(decoded, Codec::H264, rgb, background); !converted)
        return converted.failure();
    return &rgb;
}

platform::Status PictureConverter::convert(const AVFrame& decoded, Codec codec, AVFrame& target, Background background)
{
    if (auto same = sameSize(decoded, target.width, target.height); !same)
        return same;
    const AVPixelFormat planes = yuvPlanesOf(decoded.format);
    const AVFrame* source = &decoded;
    if (decoded.format == AV_PIX_FMT_PAL8 && target.format == AV_PIX_FMT_PAL8) {
        copyPalette(decoded, target, background);
        return {};
    }
    if (planes == target.format || decoded.format == target.format) {
        // The same samples in the same planes: a JPEG's planes into FFV1, PNG into PNG.
        av_image_copy(target.data, target.linesize, const_cast<const std::uint8_t**>(decoded.data), decoded.linesize,
                      static_cast<AVPixelFormat>(target.format), target.width, target.height);
        return {};
    }
    if (planes != AV_PIX_FMT_NONE) {
        if (!writesRows(target.format) || yuvPlanesOf(target.format) != AV_PIX_FMT_NONE)
            return platform::Failure{kOtherForm};
        const auto rgb = m_scaler->toRgb(decoded);
        if (!rgb)
            return rgb.failure();
        source = rgb.value();
        if (target.format == AV_PIX_FMT_RGB24) {
            av_image_copy_plane(target.data[0], target.linesize[0], source->data[0], source->linesize[0],
                                3 * target.width, target.height);
            return {};
        }
    }
    if (!readsRows(source->format) || !writesRows(target.format))
        return platform::Failure{isJpegRgb(decoded.format) && yuvPlanesOf(target.format) != AV_PIX_FMT_NONE
                                     ? "è un JPEG a componenti RGB, mentre il primo fotogramma è in Y'CbCr"
                                     : kOtherForm};
    std::vector<Sample> row(static_cast<std::size_t>(source->width));
    const bool composite = !hasAlpha(target.format);
    const bool keepsAll = codec != Codec::H264;
    for (int y = 0; y < source->height; ++y) {
        readRow(*source, y, row);
        if (composite)
            for (Sample& s : row)
                s = over(s, background);
        if (keepsAll)
            if (std::string loss = lossIn(row, target.format, y); !loss.empty())
                return platform::Failure{std::move(loss)};
        writeRow(target, y, row);
    }
    return {};
}

platform::Status convertPicture(const AVFrame& decoded, Codec codec, AVFrame& target, Background background)
{
    PictureConverter converter;
    return converter.convert(decoded, codec, target, background);
}

platform::Status convertPicture(const AVFrame& decoded, Codec codec, AVFrame& target)
{
    return convertPicture(decoded, codec, target, Background{});
}

}  // namespace kelvora::codec

#include "codec/LosslessEncoder.h"

#include "codec/AvObjects.h"
#include "platform/binary/BitmapRecords.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>

namespace kelvora::codec {

using detail::avError;

namespace {

std::int64_t rowsOf(const bitmap::StreamShape& shape)
{
    return shape.height < 0 ? -std::int64_t{shape.height} : shape.height;
}

AVPixelFormat pixelFormatOf(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Bgr0:
        return AV_PIX_FMT_BGR0;
    case PixelLayout::Rgb24:
        return AV_PIX_FMT_RGB24;
    case PixelLayout::Pal8:
        break;
    }
    return AV_PIX_FMT_PAL8;
}

// The settings both our saves and a matching ffmpeg command line use: FFV1 version 3 with
// four slices and their CRCs; PNG with libavcodec's defaults. FFV1 may also spread a frame's
// slices over threads.
void configure(AVCodecContext& context, Codec codec, int threads)
{
    context.thread_count = threads;
    context.gop_size = 1;
    if (codec == Codec::Ffv1) {
        context.level = 3;
        context.slices = 4;
        (void)av_opt_set_int(context.priv_data, "slicecrc", 1, 0);
    }
}

}  // namespace

struct LosslessEncoder::Context : detail::AvObjects {};

LosslessEncoder::LosslessEncoder(Codec codec, const bitmap::StreamShape& shape, std::unique_ptr<Context> context)
    : m_codec(codec), m_shape(shape), m_layout(layoutFor(codec, shape)), m_context(std::move(context))
{
}

LosslessEncoder::~LosslessEncoder() = default;

EncoderPlan planEncoders(Codec codec, const bitmap::StreamShape& shape, int cores)
{
    cores = std::max(cores, 1);
    if (codec != Codec::Ffv1)
        return {cores, 1};
    // libavcodec's FFV1 encoder keeps an output buffer of its worst case, about 157 bytes a
    // pixel, cleared when it is made: one encoder per core would cost several gigabytes on a
    // machine of many cores. Beyond the budget, fewer encoders share the cores by slices.
    constexpr double kBudgetBytes = 1024.0 * 1024 * 1024;
    const double perEncoder = 160.0 * shape.width * static_cast<double>(rowsOf(shape));
    const int encoders = std::clamp(static_cast<int>(kBudgetBytes / std::max(perEncoder, 1.0)), 1, cores);
    return {encoders, cores / encoders};
}

std::unique_ptr<LosslessEncoder> LosslessEncoder::open(Codec codec, const bitmap::StreamShape& shape, int threads,
                                                       std::string& error)
{
    const AVCodec* encoder = avcodec_find_encoder(codec == Codec::Ffv1 ? AV_CODEC_ID_FFV1 : AV_CODEC_ID_PNG);
    if (!encoder) {
        error = "la libreria libavcodec non ha il codificatore " + std::string(codecLabel(codec));
        return nullptr;
    }
    auto context = std::make_unique<Context>();
    if (!context->allocate(encoder)) {
        error = "memoria insufficiente per il codificatore";
        return nullptr;
    }
    AVCodecContext& c = *context->codec;
    const PixelLayout layout = layoutFor(codec, shape);
    c.width = shape.width;
    c.height = static_cast<int>(rowsOf(shape));
    c.pix_fmt = pixelFormatOf(layout);
    c.time_base = AVRational{1, 25};  // every frame stands alone: the rate is the file's business
    configure(c, codec, codec == Codec::Ffv1 ? std::max(threads, 1) : 1);
    if (const int result = avcodec_open2(&c, encoder, nullptr); result < 0) {
        error = "il codificatore " + std::string(codecLabel(codec)) + " non accetta questi fotogrammi (" +
                avError(result) + ")";
        return nullptr;
    }
    AVFrame& frame = *context->frame;
    frame.format = c.pix_fmt;
    frame.width = c.width;
    frame.height = c.height;
    if (const int result = av_frame_get_buffer(&frame, 0); result < 0) {
        error = "memoria insufficiente per il codificatore (" + avError(result) + ")";
        return nullptr;
    }
    return std::unique_ptr<LosslessEncoder>(new LosslessEncoder(codec, shape, std::move(context)));
}

std::span<const std::uint8_t> LosslessEncoder::configuration() const
{
    const AVCodecContext& c = *m_context->codec;
    if (!c.extradata || c.extradata_size <= 0)
        return {};
    return {c.extradata, static_cast<std::size_t>(c.extradata_size)};
}

std::vector<std::uint8_t> LosslessEncoder::streamFormat(std::span<const std::uint8_t> firstPalette) const
{
    const std::span<const std::uint8_t> extra = configuration();
    const bool palette = m_layout == PixelLayout::Pal8;
    const std::int64_t width = m_shape.width;
    const std::int64_t rows = rowsOf(m_shape);
    binary::BITMAPINFOHEADER header;
    // The configuration record counts as part of the header, as readers expect of FFV1.
    header.biSize = static_cast<std::int32_t>(binary::kInfoHeaderSize + extra.size());
    header.biWidth = m_shape.width;
    header.biHeight = static_cast<std::int32_t>(rows);  // a codec's frames have no row order of their own
    header.biPlanes = 1;
    header.biBitCount = palette ? 8 : 24;
    header.biCompression = static_cast<std::int32_t>(codecFourCC(m_codec).value());
    header.biSizeImage = static_cast<std::int32_t>(width * rows * (palette ? 1 : 3));
    header.biClrUsed = palette ? 256 : 0;
    std::vector<std::uint8_t> format(binary::kInfoHeaderSize + extra.size() + (palette ? 1024 : 0), 0);
    binary::writeInfoHeader(header, std::span(format).first<binary::kInfoHeaderSize>());
    std::copy(extra.begin(), extra.end(), format.begin() + binary::kInfoHeaderSize);
    if (palette)
        std::copy_n(firstPalette.begin(), std::min<std::size_t>(firstPalette.size(), 1024), format.end() - 1024);
    return format;
}

bool LosslessEncoder::encode(std::span<const std::uint8_t> bits, std::span<const std::uint8_t> palette,
                             std::vector<std::uint8_t>& packet, std::string& error)
{
    AVCodecContext& c = *m_context->codec;
    AVFrame& frame = *m_context->frame;
    AVPacket& out = *m_context->packet;
    // The encoder may still hold the last frame's buffer: write into one of our own.
    if (const int result = av_frame_make_writable(&frame); result < 0) {
        error = avError(result);
        return false;
    }
    CodecPalette colours{};
    toCodecPixels(m_shape, bits, palette, m_layout, {frame.data[0], frame.linesize[0]}, colours);
    if (m_layout == PixelLayout::Pal8)
        std::memcpy(frame.data[1], colours.data(), sizeof colours);
    frame.pict_type = AV_PICTURE_TYPE_I;
    if (const int result = avcodec_send_frame(&c, &frame); result < 0) {
        error = avError(result);
        return false;
    }
    if (const int result = avcodec_receive_packet(&c, &out); result < 0) {
        error = avError(result);
        return false;
    }
    packet.assign(out.data, out.data + out.size);
    av_packet_unref(&out);
    return true;
}

}  // namespace kelvora::codec

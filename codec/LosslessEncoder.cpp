#include "codec/LosslessEncoder.h"

#include "codec/AvLog.h"
#include "codec/AvObjects.h"
#include "codec/LosslessDecoder.h"
#include "codec/PictureConversion.h"
#include "codec/PngWriter.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/system/LargeBlock.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

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

// The picture the encoder is handed, written in place frame after frame (see encode). A
// single-plane picture takes its rows from a large block of our own, whose fresh pages cost
// a fault for every 2 MiB rather than every 4 KiB (at full HD 35 ms of CPU an encoder on a
// virtual machine); other forms take libavcodec's buffers. Returns libavcodec's error code.
int allocatePicture(AVFrame& frame)
{
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor || av_pix_fmt_count_planes(format) != 1)
        return av_frame_get_buffer(&frame, 0);
    const int lineBytes = av_image_get_linesize(format, frame.width, 0);
    if (lineBytes <= 0)
        return AVERROR(EINVAL);
    constexpr int kAlign = 64;  // what libavcodec's own buffers give its vector code
    const int stride = (lineBytes + kAlign - 1) / kAlign * kAlign;
    if (stride < lineBytes)
        return AVERROR(EINVAL);
    const std::size_t size =
        static_cast<std::size_t>(stride) * static_cast<std::size_t>(frame.height) + AV_INPUT_BUFFER_PADDING_SIZE;
    auto block = std::make_unique<platform::LargeBlock>(platform::LargeBlock::allocate(size));
    if (block->empty())
        return AVERROR(ENOMEM);
    std::uint8_t* rows = block->data();
    frame.buf[0] = av_buffer_create(
        rows, size, [](void* owner, std::uint8_t*) { delete static_cast<platform::LargeBlock*>(owner); }, block.get(),
        0);
    if (!frame.buf[0])
        return AVERROR(ENOMEM);
    (void)block.release();  // the buffer owns it now
    frame.data[0] = rows;
    frame.linesize[0] = stride;
    if ((descriptor->flags & AV_PIX_FMT_FLAG_PAL) != 0) {
        frame.buf[1] = av_buffer_allocz(AVPALETTE_SIZE);
        if (!frame.buf[1])
            return AVERROR(ENOMEM);
        frame.data[1] = frame.buf[1]->data;
    }
    frame.extended_data = frame.data;
    return 0;
}

// The settings both our saves and a matching ffmpeg command line use: FFV1 level 3 with
// slices and their CRCs (four where they decode exactly, see EncoderPlan), level 1 where no
// slices do. FFV1 may also spread a frame's slices over threads.
void configure(AVCodecContext& context, Codec codec, int threads)
{
    context.thread_count = threads;
    context.gop_size = 1;
    if (codec != Codec::Ffv1)
        return;
    const Ffv1Settings settings = ffv1SettingsFor(context.width, context.height, ffv1FormOf(context.pix_fmt));
    context.level = settings.level;
    if (settings.level >= 3) {
        context.slices = settings.slices;
        context.thread_count = std::min(threads, settings.slices);
        (void)av_opt_set_int(context.priv_data, "slicecrc", 1, 0);
    } else {
        context.thread_count = 1;  // one slice
    }
}

// `text` with libavcodec's logged reason after it, when there is one.
std::string withReason(std::string text, const std::string& logged)
{
    return logged.empty() ? text : text + ": " + logged;
}

// What the check says when a frame's packet does not show its picture.
const std::string kWrongShape = "decompresso, non ha la forma del fotogramma";
const std::string kWrongPalette = "decompresso, non ridà la sua tavolozza";
std::string pixelDiffers(std::size_t column, std::size_t row)
{
    return "decompresso, non ridà i suoi pixel: il primo diverso è alla colonna " + std::to_string(column + 1) +
           ", riga " + std::to_string(row + 1);
}

// Where `picture` differs from the frame encoded from `frame`; empty when it shows it exactly.
std::string differenceFrom(const DecodedPicture& picture, const AVFrame& frame, PixelLayout layout,
                           const CodecPalette& palette)
{
    if (picture.width != frame.width || picture.height != frame.height || picture.layout != layout)
        return kWrongShape;
    const std::size_t compared = layout == PixelLayout::Bgr0 ? 3 : bytesPerPixel(layout);  // Bgr0's 4th is unused
    const std::size_t step = bytesPerPixel(layout);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* want = frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0];
        const std::uint8_t* got = picture.data + static_cast<std::ptrdiff_t>(y) * picture.stride;
        if (compared == step && std::memcmp(want, got, step * static_cast<std::size_t>(frame.width)) == 0)
            continue;
        for (int x = 0; x < frame.width; ++x)
            if (std::memcmp(want + x * step, got + x * step, compared) != 0)
                return pixelDiffers(static_cast<std::size_t>(x), static_cast<std::size_t>(y));
    }
    if (layout == PixelLayout::Pal8 && picture.palette != palette)
        return kWrongPalette;
    return {};
}

std::string describe(const PngMismatch& mismatch)
{
    switch (mismatch.kind) {
    case PngMismatch::Kind::None:
        break;
    case PngMismatch::Kind::Unreadable:
        return "decompresso, non si decodifica (" + mismatch.reason + ")";
    case PngMismatch::Kind::Shape:
        return kWrongShape;
    case PngMismatch::Kind::Pixels:
        return pixelDiffers(mismatch.column, mismatch.row);
    case PngMismatch::Kind::Palette:
        return kWrongPalette;
    }
    return {};
}

// The frame's picture as the PNG writer takes it; rows made by `makeRow` when given.
PngPicture pngPictureOf(const AVFrame& frame, PixelLayout layout, const CodecPalette& colours)
{
    const auto rows = static_cast<std::size_t>(frame.height);
    const auto stride = static_cast<std::size_t>(frame.linesize[0]);
    return {layout, static_cast<std::size_t>(frame.width), rows, {frame.data[0], stride * rows}, stride, &colours, {}};
}

}  // namespace

Ffv1Form ffv1FormOf(AVPixelFormat format)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor)
        return kFfv1Rgb;
    const bool alpha = (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    const int colours = descriptor->nb_components - (alpha ? 1 : 0);
    return {(colours >= 3 ? 3 : 1) + (alpha ? 1 : 0), descriptor->comp[0].depth, descriptor->log2_chroma_w,
            descriptor->log2_chroma_h};
}

FrameCheck frameCheckFor(Codec codec)
{
    // Decoding FFV1 costs about what encoding it does (bench/codec: half as much again to
    // twice the encode's time); PNG's frames are read back by its writer, inflate and row
    // filters only, a small part of the encode. FFV1's known
    // faults are kept out by its settings (EncoderPlan) and its slices' errors by the log.
    return codec == Codec::Png ? FrameCheck::ByDecoding : FrameCheck::None;
}

struct LosslessEncoder::Context : detail::AvObjects {
    std::unique_ptr<AvLogCapture> log;
    CodecPalette palette{};  // the last frame's, for Pal8
    PngWriter png;
};

LosslessEncoder::LosslessEncoder(Codec codec, const bitmap::StreamShape& shape, std::unique_ptr<Context> context,
                                 FrameCheck check)
    : m_codec(codec), m_shape(shape), m_layout(layoutFor(codec, shape)), m_context(std::move(context)),
      m_checkEach(check == FrameCheck::ByDecoding)
{
}

LosslessEncoder::~LosslessEncoder() = default;

platform::Result<std::unique_ptr<LosslessEncoder>> LosslessEncoder::open(Codec codec, const bitmap::StreamShape& shape,
                                                                         int threads)
{
    return open(codec, shape, threads, frameCheckFor(codec));
}

platform::Result<std::unique_ptr<LosslessEncoder::Context>> LosslessEncoder::openContext(Codec codec, int width,
                                                                                         int height,
                                                                                         AVPixelFormat format,
                                                                                         int threads, bool ownPng)
{
    keepLibraryLogQuiet();
    const AVCodec* encoder = avcodec_find_encoder(codec == Codec::Ffv1 ? AV_CODEC_ID_FFV1 : AV_CODEC_ID_PNG);
    if (!encoder)
        return platform::Failure{"la libreria libavcodec non ha il codificatore " + std::string(codecLabel(codec))};
    auto context = std::make_unique<Context>();
    if (!context->allocate(encoder))
        return platform::Failure{"memoria insufficiente per il codificatore"};
    AVCodecContext& c = *context->codec;
    context->log = std::make_unique<AvLogCapture>(&c);
    c.width = width;
    c.height = height;
    c.pix_fmt = format;
    c.time_base = AVRational{1, 25};  // every frame stands alone: the rate is the file's business
    configure(c, codec, codec == Codec::Ffv1 ? std::max(threads, 1) : 1);
    // PNG frames of bitmaps are written by our own writer; libavcodec's context only holds the picture.
    if (codec == Codec::Png && (c.width <= 0 || c.height <= 0))
        return platform::Failure{"il codificatore PNG non accetta questi fotogrammi (dimensioni nulle)"};
    if (const int result = ownPng ? 0 : avcodec_open2(&c, encoder, nullptr); result < 0)
        return platform::Failure{"il codificatore " + std::string(codecLabel(codec)) +
                                 " non accetta questi fotogrammi (" +
                                 withReason(avError(result), context->log->take()) + ")"};
    AVFrame& frame = *context->frame;
    frame.format = c.pix_fmt;
    frame.width = c.width;
    frame.height = c.height;
    if (const int result = allocatePicture(frame); result < 0)
        return platform::Failure{"memoria insufficiente per il codificatore (" + avError(result) + ")"};
    return context;
}

platform::Result<std::unique_ptr<LosslessEncoder>> LosslessEncoder::open(Codec codec, const bitmap::StreamShape& shape,
                                                                         int threads, FrameCheck check)
{
    auto context = openContext(codec, shape.width, static_cast<int>(rowsOf(shape)),
                               pixelFormatOf(layoutFor(codec, shape)), threads, codec == Codec::Png);
    if (!context)
        return context.failure();
    std::unique_ptr<LosslessEncoder> out(new LosslessEncoder(codec, shape, std::move(context).value(), check));
    if (out->m_checkEach && codec != Codec::Png)
        if (auto checker = out->openChecker(); !checker)
            return checker.failure();
    return out;
}

platform::Result<std::unique_ptr<LosslessEncoder>> LosslessEncoder::openForPictures(Codec codec,
                                                                                    const bitmap::StreamShape& shape,
                                                                                    AVPixelFormat format, int threads,
                                                                                    Background background)
{
    // libavcodec's PNG encoder takes every form a PNG decodes to (16 bits, grey with alpha...).
    auto context = openContext(codec, shape.width, static_cast<int>(rowsOf(shape)), format, threads, false);
    if (!context)
        return context.failure();
    std::unique_ptr<LosslessEncoder> out(
        new LosslessEncoder(codec, shape, std::move(context).value(), FrameCheck::None));
    out->m_pictures = true;
    out->m_background = background;
    return out;
}

platform::Status LosslessEncoder::encodePicture(const AVFrame& decoded, std::vector<std::uint8_t>& packet)
{
    AVFrame& frame = *m_context->frame;  // written in place (see encode)
    if (!m_converter)
        m_converter = std::make_unique<PictureConverter>();
    if (auto converted = m_converter->convert(decoded, m_codec, frame, m_background); !converted)
        return converted;
    return sendFrame(packet);
}

platform::Status LosslessEncoder::openChecker()
{
    if (m_checker)
        return {};
    const AVCodecContext& c = *m_context->codec;
    auto checker = LosslessDecoder::open(m_codec, configuration(), c.width, c.height, 1);
    if (!checker)
        return platform::Failure{"il controllo dei fotogrammi compressi non si avvia (" + checker.error() + ")"};
    m_checker = std::move(checker).value();
    return {};
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
    // Pictures carry their own colours (and PNG's palettes) in each frame.
    const bool palette = m_layout == PixelLayout::Pal8 && !m_pictures;
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

platform::Status LosslessEncoder::encode(std::span<const std::uint8_t> bits, std::span<const std::uint8_t> palette,
                                         std::vector<std::uint8_t>& packet, const std::function<void()>& pixelsRead)
{
    // The frame is written in place, though libavcodec keeps a reference to it: its encoders
    // that may hold frames back (FFV1, for its two-pass statistics) keep the last one until
    // the next comes, unread, since every frame is encoded whole before its packet is out.
    // A fresh buffer each frame (av_frame_make_writable) held two frames at a time and
    // copied the old one into the new: 33 MB and a copy a frame at 3840 x 2160.
    AVFrame& frame = *m_context->frame;
    CodecPalette& colours = m_context->palette;
    if (m_codec == Codec::Png) {
        // Each row converted just before it is filtered, while the filter can still read it
        // from the cache; the picture stays in the frame for the check.
        const CodecRows source(m_shape, bits, palette, m_layout);
        if (m_layout == PixelLayout::Pal8)
            source.colours(colours);
        PngPicture picture = pngPictureOf(frame, m_layout, colours);
        picture.makeRow = [&](std::size_t row) { source.row(row, frame.data[0] + row * picture.stride); };
        const bool written = m_context->png.write(picture, packet);
        if (pixelsRead)
            pixelsRead();
        if (!written)
            return platform::Failure{"memoria insufficiente per il codificatore PNG"};
        return m_checkEach ? decodesToLastFrame(packet) : platform::Status{};
    }
    const CodecRows source(m_shape, bits, palette, m_layout);
    convertOnCodecThreads(source, frame);
    if (m_shape.bitCount <= 8)
        source.colours(colours);
    if (pixelsRead)
        pixelsRead();
    if (auto sent = sendFrame(packet); !sent || !m_checkEach)
        return sent;
    return decodesToLastFrame(packet);
}

namespace {

// A share of a frame's rows for one of the codec's threads to convert.
struct RowShare {
    const CodecRows* source;
    AVFrame* frame;
    std::size_t from;
    std::size_t to;
};

int convertShare(AVCodecContext*, void* argument)
{
    const RowShare& share = *static_cast<const RowShare*>(argument);
    for (std::size_t y = share.from; y < share.to; ++y)
        share.source->row(y, share.frame->data[0] + static_cast<std::ptrdiff_t>(y) * share.frame->linesize[0]);
    return 0;
}

}  // namespace

void LosslessEncoder::convertOnCodecThreads(const CodecRows& source, AVFrame& frame)
{
    // Spread over the threads FFV1 spreads its slices over (libavcodec's execute runs them
    // in turn where it has none): done by the encoder's thread alone, the conversion left
    // the other cores idle for a tenth of each full-HD frame's time.
    constexpr std::size_t kMostShares = 16;
    AVCodecContext& c = *m_context->codec;
    const std::size_t rows = source.rows();
    const std::size_t shares = std::clamp<std::size_t>(static_cast<std::size_t>(c.thread_count), 1,
                                                       std::min(kMostShares, std::max<std::size_t>(rows, 1)));
    std::array<RowShare, kMostShares> parts{};
    for (std::size_t i = 0; i < shares; ++i)
        parts[i] = {&source, &frame, rows * i / shares, rows * (i + 1) / shares};
    c.execute(&c, convertShare, parts.data(), nullptr, static_cast<int>(shares), sizeof(RowShare));
}

platform::Status LosslessEncoder::sendFrame(std::vector<std::uint8_t>& packet)
{
    AVCodecContext& c = *m_context->codec;
    AVFrame& frame = *m_context->frame;
    AVPacket& out = *m_context->packet;
    AvLogCapture& log = *m_context->log;
    (void)log.take();
    frame.pict_type = AV_PICTURE_TYPE_I;
    int result = avcodec_send_frame(&c, &frame);
    if (result >= 0)
        result = avcodec_receive_packet(&c, &out);
    // FFV1's slices report a full buffer only in the log: the packet then lacks their end.
    const std::string logged = log.take();
    if (result < 0 || !logged.empty()) {
        av_packet_unref(&out);
        return platform::Failure{
            withReason(result < 0 ? avError(result) : "la libreria libavcodec segnala un errore", logged)};
    }
    packet.assign(out.data, out.data + out.size);
    av_packet_unref(&out);
    return {};
}

namespace {

// A difference as a failure; none as done.
platform::Status failedWhenSaid(std::string difference)
{
    if (difference.empty())
        return {};
    return platform::Failure{std::move(difference)};
}

}  // namespace

platform::Status LosslessEncoder::decodesToLastFrame(std::span<const std::uint8_t> packet)
{
    if (m_codec == Codec::Png)
        return failedWhenSaid(
            describe(m_context->png.compare(packet, pngPictureOf(*m_context->frame, m_layout, m_context->palette))));
    if (auto checker = openChecker(); !checker)
        return checker;
    if (auto decoded = m_checker->decode(packet); !decoded)
        return platform::Failure{"decompresso, non si decodifica (" + decoded.error() + ")"};
    return failedWhenSaid(differenceFrom(m_checker->picture(), *m_context->frame, m_layout, m_context->palette));
}

}  // namespace kelvora::codec

#include "codec/LosslessDecoder.h"

#include "codec/AvLog.h"
#include "codec/AvObjects.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

namespace kelvora::codec {

using detail::avError;

namespace {

std::optional<PixelLayout> layoutOf(int format)
{
    switch (format) {
    case AV_PIX_FMT_BGR0:
        return PixelLayout::Bgr0;
    case AV_PIX_FMT_RGB24:
        return PixelLayout::Rgb24;
    case AV_PIX_FMT_PAL8:
        return PixelLayout::Pal8;
    default:
        return std::nullopt;
    }
}

}  // namespace

static_assert(LosslessDecoder::kLargestPacket == INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE);

struct LosslessDecoder::Context : detail::AvObjects {
    std::unique_ptr<AvLogCapture> log;
    std::vector<std::uint8_t> input;  // the packet with the zeroed tail decoders may read into
    bool decoded = false;
    // What the decoder reported of the frame last decoded: an FFV1 slice failing its CRC is
    // concealed from the frame before and only logged, never returned as an error.
    std::string damage;

    [[nodiscard]] bool allocateFor(const AVCodec* decoder)
    {
        if (!allocate(decoder))
            return false;
        log = std::make_unique<AvLogCapture>(codec.get());
        return true;
    }
};

LosslessDecoder::LosslessDecoder(std::unique_ptr<Context> context) : m_context(std::move(context)) {}

LosslessDecoder::~LosslessDecoder() = default;

namespace {

platform::Result<const AVCodec*> findDecoder(AVCodecID id, std::string_view label)
{
    // Damage is said in our own words; libavcodec's lines would only interleave with ours on
    // standard error.
    keepLibraryLogQuiet();
    const AVCodec* decoder = avcodec_find_decoder(id);
    if (!decoder)
        return platform::Failure{"la libreria libavcodec non ha il decodificatore " + std::string(label)};
    return decoder;
}

}  // namespace

platform::Result<std::unique_ptr<LosslessDecoder>> LosslessDecoder::openRle(int width, int height, int bitCount)
{
    const auto found = findDecoder(AV_CODEC_ID_MSRLE, "RLE");
    if (!found)
        return found.failure();
    const AVCodec* decoder = found.value();
    auto context = std::make_unique<Context>();
    if (!context->allocateFor(decoder))
        return platform::Failure{"memoria insufficiente per il decodificatore"};
    AVCodecContext& c = *context->codec;
    detail::expectPictureSides(c, width, height);
    c.bits_per_coded_sample = bitCount;
    if (const int result = avcodec_open2(&c, decoder, nullptr); result < 0)
        return platform::Failure{"il decodificatore RLE non si apre (" + avError(result) + ")"};
    return std::unique_ptr<LosslessDecoder>(new LosslessDecoder(std::move(context)));
}

platform::Result<std::unique_ptr<LosslessDecoder>> LosslessDecoder::open(Codec codec,
                                                                         std::span<const std::uint8_t> configuration,
                                                                         int width, int height, int threads)
{
    const auto found = findDecoder(codec == Codec::Ffv1 ? AV_CODEC_ID_FFV1 : AV_CODEC_ID_PNG, codecLabel(codec));
    if (!found)
        return found.failure();
    const AVCodec* decoder = found.value();
    auto context = std::make_unique<Context>();
    if (!context->allocateFor(decoder))
        return platform::Failure{"memoria insufficiente per il decodificatore"};
    AVCodecContext& c = *context->codec;
    detail::expectPictureSides(c, width, height);
    // Slices only: frame threads would hand pictures back frames late.
    c.thread_count = std::max(threads, 1);
    c.thread_type = FF_THREAD_SLICE;
    if (!configuration.empty()) {
        c.extradata = static_cast<std::uint8_t*>(av_mallocz(configuration.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!c.extradata)
            return platform::Failure{"memoria insufficiente per il decodificatore"};
        std::memcpy(c.extradata, configuration.data(), configuration.size());
        c.extradata_size = static_cast<int>(configuration.size());
    }
    if (const int result = avcodec_open2(&c, decoder, nullptr); result < 0)
        return platform::Failure{"il decodificatore " + std::string(codecLabel(codec)) + " non si apre (" +
                                 avError(result) + ")"};
    return std::unique_ptr<LosslessDecoder>(new LosslessDecoder(std::move(context)));
}

platform::Status LosslessDecoder::decode(std::span<const std::uint8_t> packet) { return send(packet, nullptr); }

platform::Status LosslessDecoder::decode(std::span<const std::uint8_t> packet, const CodecPalette& palette)
{
    return send(packet, &palette);
}

platform::Status LosslessDecoder::send(std::span<const std::uint8_t> packet, const CodecPalette* palette)
{
    Context& x = *m_context;
    x.decoded = false;
    // libavcodec counts a packet's bytes in an int, its zeroed tail included.
    if (packet.size() > kLargestPacket)
        return platform::Failure{"fotogramma compresso di " + std::to_string(packet.size()) + " byte, oltre i " +
                                 std::to_string(kLargestPacket) + " che la libreria libavcodec accetta"};
    x.damage.clear();
    (void)x.log->take();  // the slice threads of the frame before have ended: none logs now
    const int result = detail::decodeKeyFrame(x, x.input, packet, palette ? palette->data() : nullptr);
    if (result < 0) {
        std::string error = result == AVERROR(EAGAIN) ? std::string("nessuna immagine") : avError(result);
        if (const std::string logged = x.log->take(); !logged.empty())
            error += ": " + logged;
        return platform::Failure{std::move(error)};
    }
    x.decoded = true;
    x.damage = x.log->take();
    if (x.damage.empty() && (x.frame->decode_error_flags != 0 || (x.frame->flags & AV_FRAME_FLAG_CORRUPT) != 0))
        x.damage = "il decodificatore ha nascosto un danno";
    return {};
}

const std::string& LosslessDecoder::damage() const { return m_context->damage; }

DecodedPicture LosslessDecoder::picture() const
{
    const AVFrame& frame = *m_context->frame;
    DecodedPicture out;
    if (!m_context->decoded)
        return out;
    out.width = frame.width;
    out.height = frame.height;
    out.layout = layoutOf(frame.format);
    out.data = frame.data[0];
    out.stride = frame.linesize[0];
    if (out.layout == PixelLayout::Pal8 && frame.data[1])
        std::memcpy(out.palette.data(), frame.data[1], sizeof out.palette);
    if (frame.sample_aspect_ratio.num != 0) {
        out.sarNum = frame.sample_aspect_ratio.num;
        out.sarDen = frame.sample_aspect_ratio.den;
    }
    return out;
}

void LosslessDecoder::packed(std::vector<std::uint8_t>& out) const
{
    out.clear();
    if (m_context->decoded)
        detail::packedPicture(*m_context->frame, out);
}

std::string LosslessDecoder::pixelFormatName() const
{
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(m_context->frame->format));
    return name ? name : "?";
}

}  // namespace kelvora::codec

#include "verify/ForeignDecoder.h"

#include "codec/AvObjects.h"
#include "platform/system/Cores.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <deque>
#include <cstring>

namespace kelvora::verify {

namespace {

struct FreeScaler {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

std::string avText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// ffmpeg's AVI reader marks uncompressed rows stored bottom-up (a positive height) so.
constexpr char kBottomUp[] = "BottomUp";

}  // namespace

struct ForeignDecoder::Context : codec::detail::AvObjects {
    std::unique_ptr<SwsContext, FreeScaler> scaler;
    std::unique_ptr<AVFrame, codec::detail::FreeFrame> converted;
    std::vector<std::uint8_t> input;
    // Pictures the decoder gave back, not yet taken: it may give several for one frame sent.
    std::deque<std::unique_ptr<AVFrame, codec::detail::FreeFrame>> ready;
};

ForeignDecoder::ForeignDecoder(std::unique_ptr<Context> context) : m_context(std::move(context)) {}

ForeignDecoder::~ForeignDecoder() = default;

platform::Result<std::unique_ptr<ForeignDecoder>> ForeignDecoder::open(const VideoStream& stream)
{
    // Differences are said in our own words; libavcodec's and libswscale's lines would only
    // interleave with ours on standard error.
    av_log_set_level(AV_LOG_QUIET);
    const binary::BITMAPINFOHEADER& h = stream.header;
    const auto tag = static_cast<std::uint32_t>(h.biCompression);
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    const AVCodecID id = av_codec_get_id(tags, tag);
    const AVCodec* decoder = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (!decoder)
        return platform::Failure{"i suoi fotogrammi sono compressi in " + platform::FourCC::fromValue(tag).text() +
                                 ", che qui non si decodifica"};
    auto context = std::make_unique<Context>();
    if (!context->allocate(decoder))
        return platform::Failure{"memoria insufficiente per il decodificatore"};
    AVCodecContext& c = *context->codec;
    const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    codec::detail::expectPictureSides(c, h.biWidth, height);
    c.codec_tag = tag;
    c.bits_per_coded_sample = h.biBitCount;
    c.thread_count = platform::usableCores();
    c.thread_type = FF_THREAD_SLICE;  // frame threads would hand pictures back frames late
    c.pkt_timebase = {static_cast<int>(std::max<std::uint32_t>(stream.scale, 1) & INT32_MAX),
                      static_cast<int>(std::max<std::uint32_t>(stream.rate, 1) & INT32_MAX)};
    std::vector<std::uint8_t> extra(stream.format.begin() + std::min<std::size_t>(40, stream.format.size()),
                                    stream.format.end());
    if (tag == 0 && h.biHeight > 0)
        extra.insert(extra.end(), kBottomUp, kBottomUp + sizeof kBottomUp);
    if (!extra.empty()) {
        c.extradata = static_cast<std::uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!c.extradata)
            return platform::Failure{"memoria insufficiente per il decodificatore"};
        std::memcpy(c.extradata, extra.data(), extra.size());
        c.extradata_size = static_cast<int>(extra.size());
    }
    if (const int result = avcodec_open2(&c, decoder, nullptr); result < 0)
        return platform::Failure{std::string("il decodificatore ") + decoder->name + " non si apre (" + avText(result) +
                                 ")"};
    std::unique_ptr<ForeignDecoder> opened(new ForeignDecoder(std::move(context)));
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    opened->m_lossless = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS) != 0 &&
                         (descriptor->props & AV_CODEC_PROP_LOSSY) == 0;
    opened->m_motionJpeg = id == AV_CODEC_ID_MJPEG;
    // Only a codec whose frames may refer to later ones holds pictures back.
    opened->m_delays = (decoder->capabilities & AV_CODEC_CAP_DELAY) != 0 && descriptor &&
                       (descriptor->props & AV_CODEC_PROP_INTRA_ONLY) == 0;
    return opened;
}

platform::Status ForeignDecoder::decode(std::span<const std::uint8_t> packet, const codec::CodecPalette& palette)
{
    Context& x = *m_context;
    m_rgb.clear();
    // The table in effect travels with each frame, as the AVI reader hands a change on.
    const int result = codec::detail::decodeKeyFrame(
        x, x.input, packet.first(std::min<std::size_t>(packet.size(), INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE - 1)),
        palette.data());
    if (result < 0)
        return platform::Failure{result == AVERROR(EAGAIN) ? std::string("nessuna immagine") : avText(result)};
    return convert();
}

platform::Status ForeignDecoder::send(std::span<const std::uint8_t> packet, const codec::CodecPalette& palette,
                                      std::int64_t index)
{
    if (!m_delays)
        return sendWhole(packet, palette, index);
    Context& x = *m_context;
    const auto data = packet.first(std::min<std::size_t>(packet.size(), INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE - 1));
    x.input.assign(data.begin(), data.end());
    x.input.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    AVPacket& in = *x.packet;
    in.data = x.input.data();
    in.size = static_cast<int>(data.size());
    in.dts = index;  // as ffmpeg's AVI reader times a frame: its place, no presentation time
    in.pts = AV_NOPTS_VALUE;
    int result = 0;
    if (std::uint8_t* entries = av_packet_new_side_data(&in, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE))
        std::memcpy(entries, palette.data(), AVPALETTE_SIZE);
    // A decoder that holds pictures back takes a packet only once one is taken out: they are
    // kept to be received in turn.
    while ((result = avcodec_send_packet(x.codec.get(), &in)) == AVERROR(EAGAIN)) {
        if (!keepNext())
            break;
    }
    av_packet_free_side_data(&in);
    in.data = nullptr;
    in.size = 0;
    if (result < 0 && result != AVERROR(EAGAIN))
        return platform::Failure{avText(result)};
    while (keepNext()) {}
    return {};
}

platform::Status ForeignDecoder::sendWhole(std::span<const std::uint8_t> packet, const codec::CodecPalette& palette,
                                           std::int64_t index)
{
    m_context->packet->dts = index;
    Context& x = *m_context;
    const int result = codec::detail::decodeKeyFrame(
        x, x.input, packet.first(std::min<std::size_t>(packet.size(), INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE - 1)),
        palette.data());
    if (result == AVERROR(EAGAIN))
        return {};  // no picture: receive says so
    if (result < 0)
        return platform::Failure{avText(result)};
    std::unique_ptr<AVFrame, codec::detail::FreeFrame> kept(av_frame_clone(x.frame.get()));
    if (!kept)
        return platform::Failure{"memoria insufficiente per il decodificatore"};
    m_context->ready.push_back(std::move(kept));
    return {};
}

bool ForeignDecoder::keepNext()
{
    Context& x = *m_context;
    if (avcodec_receive_frame(x.codec.get(), x.frame.get()) < 0)
        return false;
    std::unique_ptr<AVFrame, codec::detail::FreeFrame> kept(av_frame_alloc());
    if (!kept)
        return false;
    av_frame_move_ref(kept.get(), x.frame.get());
    m_context->ready.push_back(std::move(kept));
    return true;
}

void ForeignDecoder::drain()
{
    if (!m_delays)
        return;
    (void)avcodec_send_packet(m_context->codec.get(), nullptr);
    while (keepNext()) {}
}

bool ForeignDecoder::receive()
{
    m_rgb.clear();
    if (m_context->ready.empty())
        return false;
    av_frame_unref(m_context->frame.get());
    av_frame_move_ref(m_context->frame.get(), m_context->ready.front().get());
    m_context->ready.pop_front();
    (void)convert();  // a picture libswscale cannot convert compares as none
    return true;
}

std::int64_t ForeignDecoder::time() const
{
    const AVFrame& f = *m_context->frame;
    return f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : -1;
}

int ForeignDecoder::sarNum() const
{
    const AVRational sar = m_context->frame->sample_aspect_ratio;
    return sar.num > 0 && sar.den > 0 ? sar.num : 0;
}

int ForeignDecoder::sarDen() const
{
    const AVRational sar = m_context->frame->sample_aspect_ratio;
    return sar.num > 0 && sar.den > 0 ? sar.den : 1;
}

platform::Status ForeignDecoder::convert()
{
    Context& x = *m_context;
    const AVFrame& f = *x.frame;
    m_width = f.width;
    m_height = f.height;
    x.scaler.reset(sws_getContext(f.width, f.height, static_cast<AVPixelFormat>(f.format), f.width, f.height,
                                  AV_PIX_FMT_RGB24, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT,
                                  nullptr, nullptr, nullptr));
    if (!x.scaler)
        return platform::Failure{"i colori del fotogramma non si convertono"};
    // libswscale writes whole aligned blocks, past a row's last pixel: into a frame of its own
    // making, padded as it needs, the rows then copied out.
    if (!x.converted || x.converted->width != f.width || x.converted->height != f.height) {
        x.converted.reset(av_frame_alloc());
        if (!x.converted)
            return platform::Failure{"memoria insufficiente"};
        x.converted->format = AV_PIX_FMT_RGB24;
        x.converted->width = f.width;
        x.converted->height = f.height;
        if (av_frame_get_buffer(x.converted.get(), 0) < 0) {
            x.converted.reset();
            return platform::Failure{"memoria insufficiente"};
        }
    }
    sws_scale(x.scaler.get(), f.data, f.linesize, 0, f.height, x.converted->data, x.converted->linesize);
    const auto rowBytes = static_cast<std::size_t>(f.width) * 3;
    m_rgb.resize(rowBytes * static_cast<std::size_t>(f.height));
    for (int y = 0; y < f.height; ++y)
        std::memcpy(m_rgb.data() + rowBytes * static_cast<std::size_t>(y),
                    x.converted->data[0] + static_cast<std::ptrdiff_t>(y) * x.converted->linesize[0], rowBytes);
    return {};
}

bool ForeignDecoder::packed(std::vector<std::uint8_t>& out, OrientationTurn turn) const
{
    if (turn.quarters == 0 && !turn.mirrored) {
        codec::detail::packedPicture(*m_context->frame, out);
        return true;
    }
    const std::unique_ptr<AVFrame, codec::detail::FreeFrame> turned(av_frame_alloc());
    if (!turned || !turnFrame(*m_context->frame, turn.quarters, *turned, turn.mirrored))
        return false;
    codec::detail::packedPicture(*turned, out);
    return true;
}

}  // namespace kelvora::verify

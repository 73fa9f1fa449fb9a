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
    std::vector<std::uint8_t> input;
};

ForeignDecoder::ForeignDecoder(std::unique_ptr<Context> context) : m_context(std::move(context)) {}

ForeignDecoder::~ForeignDecoder() = default;

std::unique_ptr<ForeignDecoder> ForeignDecoder::open(const VideoStream& stream, std::string& error)
{
    // Differences are said in our own words; libavcodec's and libswscale's lines would only
    // interleave with ours on standard error.
    av_log_set_level(AV_LOG_QUIET);
    const binary::BITMAPINFOHEADER& h = stream.header;
    const auto tag = static_cast<std::uint32_t>(h.biCompression);
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    const AVCodecID id = av_codec_get_id(tags, tag);
    const AVCodec* decoder = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (!decoder) {
        error = "i suoi fotogrammi sono compressi in " + platform::FourCC::fromValue(tag).text() +
                ", che qui non si decodifica";
        return nullptr;
    }
    auto context = std::make_unique<Context>();
    if (!context->allocate(decoder)) {
        error = "memoria insufficiente per il decodificatore";
        return nullptr;
    }
    AVCodecContext& c = *context->codec;
    const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    codec::detail::expectPictureSides(c, h.biWidth, height);
    c.codec_tag = tag;
    c.bits_per_coded_sample = h.biBitCount;
    c.thread_count = platform::usableCores();
    c.thread_type = FF_THREAD_SLICE;  // frame threads would hand pictures back frames late
    std::vector<std::uint8_t> extra(stream.format.begin() + std::min<std::size_t>(40, stream.format.size()),
                                    stream.format.end());
    if (tag == 0 && h.biHeight > 0)
        extra.insert(extra.end(), kBottomUp, kBottomUp + sizeof kBottomUp);
    if (!extra.empty()) {
        c.extradata = static_cast<std::uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!c.extradata) {
            error = "memoria insufficiente per il decodificatore";
            return nullptr;
        }
        std::memcpy(c.extradata, extra.data(), extra.size());
        c.extradata_size = static_cast<int>(extra.size());
    }
    if (const int result = avcodec_open2(&c, decoder, nullptr); result < 0) {
        error = std::string("il decodificatore ") + decoder->name + " non si apre (" + avText(result) + ")";
        return nullptr;
    }
    std::unique_ptr<ForeignDecoder> opened(new ForeignDecoder(std::move(context)));
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    opened->m_lossless = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS) != 0 &&
                         (descriptor->props & AV_CODEC_PROP_LOSSY) == 0;
    return opened;
}

bool ForeignDecoder::decode(std::span<const std::uint8_t> packet, const codec::CodecPalette& palette,
                            std::string& error)
{
    Context& x = *m_context;
    m_rgb.clear();
    // The table in effect travels with each frame, as the AVI reader hands a change on.
    const int result = codec::detail::decodeKeyFrame(
        x, x.input, packet.first(std::min<std::size_t>(packet.size(), INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE - 1)),
        palette.data());
    if (result < 0) {
        error = result == AVERROR(EAGAIN) ? std::string("nessuna immagine") : avText(result);
        return false;
    }
    const AVFrame& f = *x.frame;
    m_width = f.width;
    m_height = f.height;
    x.scaler.reset(sws_getContext(f.width, f.height, static_cast<AVPixelFormat>(f.format), f.width, f.height,
                                  AV_PIX_FMT_RGB24, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT,
                                  nullptr, nullptr, nullptr));
    if (!x.scaler) {
        error = "i colori del fotogramma non si convertono";
        return false;
    }
    m_rgb.resize(static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height) * 3);
    std::uint8_t* planes[4] = {m_rgb.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {f.width * 3, 0, 0, 0};
    sws_scale(x.scaler.get(), f.data, f.linesize, 0, f.height, planes, strides);
    return true;
}

void ForeignDecoder::packed(std::vector<std::uint8_t>& out) const
{
    codec::detail::packedPicture(*m_context->frame, out);
}

}  // namespace kelvora::verify

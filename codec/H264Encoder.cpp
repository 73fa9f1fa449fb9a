#include "codec/H264Encoder.h"

#include "codec/AvLog.h"
#include "codec/AvObjects.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <cstring>

namespace kelvora::codec {

using detail::avError;

struct H264Encoder::Context : detail::AvObjects {
    EvenSize size;
};

H264Encoder::H264Encoder(std::unique_ptr<Context> context) : m_context(std::move(context)) {}
H264Encoder::~H264Encoder() = default;

platform::Result<std::unique_ptr<H264Encoder>> H264Encoder::open(EvenSize size, std::uint32_t rate, std::uint32_t scale,
                                                                 int crf, bool reorder)
{
    // libx264's report and libavcodec's warnings would only interleave with our own lines;
    // an error libx264 logs is its reason for a refusal.
    keepLibraryLogQuiet();
    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    if (!encoder)
        return platform::Failure{"la libreria libavcodec non ha il codificatore libx264"};
    auto context = std::make_unique<Context>();
    if (!context->allocate(encoder))
        return platform::Failure{"memoria insufficiente per il codificatore"};
    context->size = size;
    AVCodecContext& c = *context->codec;
    c.width = size.width;
    c.height = size.height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = AVRational{static_cast<int>(scale), static_cast<int>(rate)};
    c.framerate = AVRational{static_cast<int>(rate), static_cast<int>(scale)};
    c.sample_aspect_ratio = AVRational{1, 1};
    // The matrix and range of our conversion, and where its chroma samples sit (the block's middle).
    c.color_range = AVCOL_RANGE_MPEG;
    c.color_primaries = AVCOL_PRI_BT709;
    c.color_trc = AVCOL_TRC_BT709;
    c.colorspace = AVCOL_SPC_BT709;
    c.chroma_sample_location = AVCHROMA_LOC_CENTER;
    c.thread_count = 0;  // libx264's frame threads, one set per core
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (!reorder)
        c.max_b_frames = 0;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", "medium", 0);
    av_dict_set(&options, "profile", "high", 0);
    av_dict_set_int(&options, "crf", crf, 0);
    AvLogCapture log(&c);
    const int result = avcodec_open2(&c, encoder, &options);
    av_dict_free(&options);
    if (result < 0) {
        // libx264 says why only in its log ("width or height larger than 16384 is not supported").
        const std::string reason = log.take();
        return platform::Failure{"il codificatore H.264 non accetta fotogrammi di " + std::to_string(size.width) +
                                 " x " + std::to_string(size.height) + " (" +
                                 (reason.empty() ? avError(result) : reason) + ")"};
    }
    AVFrame& frame = *context->frame;
    frame.format = c.pix_fmt;
    frame.width = c.width;
    frame.height = c.height;
    frame.color_range = c.color_range;
    frame.color_primaries = c.color_primaries;
    frame.color_trc = c.color_trc;
    frame.colorspace = c.colorspace;
    frame.chroma_location = c.chroma_sample_location;
    if (const int got = av_frame_get_buffer(&frame, 0); got < 0)
        return platform::Failure{"memoria insufficiente per il codificatore (" + avError(got) + ")"};
    return std::unique_ptr<H264Encoder>(new H264Encoder(std::move(context)));
}

std::span<const std::uint8_t> H264Encoder::configuration() const
{
    const AVCodecContext& c = *m_context->codec;
    if (!c.extradata || c.extradata_size <= 0)
        return {};
    return {c.extradata, static_cast<std::size_t>(c.extradata_size)};
}

int H264Encoder::reorderDepth() const { return m_context->codec->has_b_frames; }

platform::Status H264Encoder::encode(std::span<const std::uint8_t> planes, std::int64_t frameNumber,
                                     std::vector<EncodedPacket>& packets)
{
    AVFrame& frame = *m_context->frame;
    if (const int result = av_frame_make_writable(&frame); result < 0)
        return platform::Failure{avError(result)};
    const EvenSize size = m_context->size;
    const std::uint8_t* in = planes.data();
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane == 0 ? size.width : size.width / 2;
        const int h = plane == 0 ? size.height : size.height / 2;
        for (int row = 0; row < h; ++row, in += w)
            std::memcpy(frame.data[plane] + static_cast<std::ptrdiff_t>(row) * frame.linesize[plane], in,
                        static_cast<std::size_t>(w));
    }
    frame.pts = frameNumber;
    if (const int result = avcodec_send_frame(m_context->codec.get(), &frame); result < 0)
        return platform::Failure{avError(result)};
    return drain(packets);
}

platform::Status H264Encoder::flush(std::vector<EncodedPacket>& packets)
{
    if (const int result = avcodec_send_frame(m_context->codec.get(), nullptr); result < 0 && result != AVERROR_EOF)
        return platform::Failure{avError(result)};
    return drain(packets);
}

platform::Status H264Encoder::drain(std::vector<EncodedPacket>& packets)
{
    AVPacket& out = *m_context->packet;
    while (true) {
        const int result = avcodec_receive_packet(m_context->codec.get(), &out);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return {};
        if (result < 0)
            return platform::Failure{avError(result)};
        packets.push_back({std::vector<std::uint8_t>(out.data, out.data + out.size), out.pts, out.dts,
                           (out.flags & AV_PKT_FLAG_KEY) != 0});
        av_packet_unref(&out);
    }
}

}  // namespace kelvora::codec

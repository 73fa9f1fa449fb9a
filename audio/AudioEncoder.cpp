#include "audio/AudioEncoder.h"

#include "codec/AvLog.h"
#include "codec/AvObjects.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <cstring>

namespace kelvora::audio {

namespace {

using codec::detail::avError;
using codec::detail::FreeCodecContext;
using codec::detail::FreePacket;

// AAC-LC at what streaming services send for music: transparent to most ears.
constexpr std::int64_t kAacStereoBitRate = 192'000;
constexpr std::int64_t kAacMonoBitRate = 96'000;

}  // namespace

AVSampleFormat sampleFormatFor(const AudioPlan& plan)
{
    switch (plan.codec) {
    case AudioCodec::Aac:
        return AV_SAMPLE_FMT_FLTP;
    case AudioCodec::Flac:
        return plan.wide ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S16;
    case AudioCodec::Pcm16:
        break;
    }
    return AV_SAMPLE_FMT_S16;
}

struct AudioEncoder::Context {
    AudioStream stream;
    AVSampleFormat format = AV_SAMPLE_FMT_S16;
    std::unique_ptr<AVCodecContext, FreeCodecContext> codec;  // none for PCM
    std::unique_ptr<AVPacket, FreePacket> packet{av_packet_alloc()};
};

AudioEncoder::AudioEncoder(std::unique_ptr<Context> context) : m_context(std::move(context)) {}

AudioEncoder::~AudioEncoder() = default;

platform::Result<std::unique_ptr<AudioEncoder>> AudioEncoder::open(const AudioPlan& plan)
{
    codec::keepLibraryLogQuiet();
    auto context = std::make_unique<Context>();
    context->format = sampleFormatFor(plan);
    AudioStream& stream = context->stream;
    stream.codec = plan.codec;
    stream.sampleRate = plan.sampleRate;
    stream.channels = plan.channels;
    stream.bitsPerSample = plan.wide ? 24 : 16;
    if (!context->packet)
        return platform::Failure{"memoria insufficiente"};
    if (plan.codec == AudioCodec::Pcm16) {
        stream.bitRate = std::int64_t{plan.sampleRate} * plan.channels * 16;
        return std::unique_ptr<AudioEncoder>(new AudioEncoder(std::move(context)));
    }
    const AVCodec* encoder = avcodec_find_encoder(plan.codec == AudioCodec::Aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_FLAC);
    if (!encoder)
        return platform::Failure{std::string("libavcodec non ha un codificatore ") + codecLabel(plan.codec)};
    context->codec.reset(avcodec_alloc_context3(encoder));
    AVCodecContext* c = context->codec.get();
    if (!c)
        return platform::Failure{"memoria insufficiente"};
    c->sample_fmt = context->format;
    c->sample_rate = plan.sampleRate;
    c->time_base = AVRational{1, plan.sampleRate};
    av_channel_layout_default(&c->ch_layout, plan.channels);
    if (plan.codec == AudioCodec::Aac) {
        c->bit_rate = plan.channels == 1 ? kAacMonoBitRate : kAacStereoBitRate;
        c->profile = FF_PROFILE_AAC_LOW;
    } else {
        c->bits_per_raw_sample = stream.bitsPerSample;
    }
    // MP4 and Matroska keep the stream's header apart from its packets.
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const codec::AvLogCapture log(c);
    if (const int opened = avcodec_open2(c, encoder, nullptr); opened < 0)
        return platform::Failure{std::string("il codificatore ") + codecLabel(plan.codec) + " non si apre (" +
                                 avError(opened) + ")"};
    stream.frameSize = c->frame_size;
    stream.initialPadding = c->initial_padding;
    stream.bitRate = c->bit_rate;
    if (c->extradata && c->extradata_size > 0)
        stream.configuration.assign(c->extradata, c->extradata + c->extradata_size);
    return std::unique_ptr<AudioEncoder>(new AudioEncoder(std::move(context)));
}

AVSampleFormat AudioEncoder::sampleFormat() const { return m_context->format; }

const AudioStream& AudioEncoder::stream() const { return m_context->stream; }

platform::Status AudioEncoder::encode(const AVFrame* frame, std::vector<AudioPacket>& out)
{
    Context& x = *m_context;
    if (!x.codec) {
        // PCM: the samples as they are, interleaved 16-bit.
        if (frame && frame->nb_samples > 0) {
            const std::size_t bytes = static_cast<std::size_t>(frame->nb_samples) * 2 * x.stream.channels;
            AudioPacket& packet = out.emplace_back();
            packet.data.assign(frame->data[0], frame->data[0] + bytes);
            packet.pts = frame->pts;
            packet.duration = frame->nb_samples;
        }
        return {};
    }
    const codec::AvLogCapture log(x.codec.get());
    const int sent = avcodec_send_frame(x.codec.get(), frame);
    if (sent < 0 && !(sent == AVERROR_EOF && !frame))
        return platform::Failure{"la codifica dell'audio non è riuscita (" + avError(sent) + ")"};
    while (true) {
        const int received = avcodec_receive_packet(x.codec.get(), x.packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return {};
        if (received < 0)
            return platform::Failure{"la codifica dell'audio non è riuscita (" + avError(received) + ")"};
        AVPacket& p = *x.packet;
        AudioPacket& packet = out.emplace_back();
        packet.data.assign(p.data, p.data + p.size);
        packet.pts = p.pts;
        packet.duration = p.duration;
        std::size_t size = 0;
        if (const std::uint8_t* extra = av_packet_get_side_data(&p, AV_PKT_DATA_NEW_EXTRADATA, &size))
            packet.newConfiguration.assign(extra, extra + size);
        av_packet_unref(&p);
    }
}

}  // namespace kelvora::audio

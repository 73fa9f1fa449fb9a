#include "audio/AudioInput.h"

#include "codec/AvLog.h"
#include "codec/AvObjects.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

namespace kelvora::audio {

namespace {

using codec::detail::avError;
using codec::detail::FreeCodecContext;
using codec::detail::FreeFrame;
using codec::detail::FreePacket;

struct CloseInput {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct FreeResampler {
    void operator()(SwrContext* swr) const { swr_free(&swr); }
};
struct FreeFifo {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

// How many samples are decoded and converted at a time: small enough to stay in the caches.
constexpr int kConvertSamples = 4096;

// The layout the decoder gives, or the usual one for its count of channels where it gives none.
AVChannelLayout layoutOf(const AVCodecContext& decoder)
{
    AVChannelLayout layout{};
    if (decoder.ch_layout.order != AV_CHANNEL_ORDER_UNSPEC && decoder.ch_layout.nb_channels > 0)
        (void)av_channel_layout_copy(&layout, &decoder.ch_layout);
    else
        av_channel_layout_default(&layout, std::max(decoder.ch_layout.nb_channels, 1));
    return layout;
}

int bitsOf(const AVCodecContext& decoder)
{
    if (decoder.bits_per_raw_sample > 0)
        return decoder.bits_per_raw_sample;
    const int bytes = av_get_bytes_per_sample(decoder.sample_fmt);
    // A float decode (MP3, AAC, Vorbis, Opus) is kept at 16 bits: no finer detail was stored.
    if (decoder.sample_fmt == AV_SAMPLE_FMT_FLT || decoder.sample_fmt == AV_SAMPLE_FMT_FLTP ||
        decoder.sample_fmt == AV_SAMPLE_FMT_DBL || decoder.sample_fmt == AV_SAMPLE_FMT_DBLP)
        return 16;
    return bytes * 8;
}

}  // namespace

struct AudioInput::Context {
    std::unique_ptr<AVFormatContext, CloseInput> input;
    int stream = -1;
    std::unique_ptr<AVCodecContext, FreeCodecContext> decoder;
    std::unique_ptr<AVPacket, FreePacket> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FreeFrame> decoded{av_frame_alloc()};
    std::unique_ptr<SwrContext, FreeResampler> resampler;
    std::unique_ptr<AVAudioFifo, FreeFifo> fifo;
    AVSampleFormat format = AV_SAMPLE_FMT_NONE;
    AVChannelLayout outLayout{};
    int outRate = 0;
    std::vector<std::uint8_t*> planes;  // a conversion's output, one pointer a plane
    std::vector<std::uint8_t> buffer;
    SourceAudio source;
    bool demuxEnded = false;
    bool flushed = false;
    std::string error;

    ~Context() { av_channel_layout_uninit(&outLayout); }

    // Converts `frame` (null: what the resampler still holds) into the FIFO.
    bool convert(const AVFrame* frame)
    {
        const int in = frame ? frame->nb_samples : 0;
        const int most = swr_get_out_samples(resampler.get(), in);
        if (most < 0) {
            error = "non si converte (" + avError(most) + ")";
            return false;
        }
        if (most == 0)
            return true;
        const int channels = outLayout.nb_channels;
        int lineSize = 0;
        const int bytes = av_samples_get_buffer_size(&lineSize, channels, most, format, 1);
        if (bytes < 0) {
            error = "non si converte (" + avError(bytes) + ")";
            return false;
        }
        buffer.resize(static_cast<std::size_t>(bytes));
        planes.assign(static_cast<std::size_t>(channels), nullptr);
        (void)av_samples_fill_arrays(planes.data(), &lineSize, buffer.data(), channels, most, format, 1);
        const int made = swr_convert(resampler.get(), planes.data(), most,
                                     frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr, in);
        if (made < 0) {
            error = "non si converte (" + avError(made) + ")";
            return false;
        }
        if (made > 0 && av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(planes.data()), made) < made) {
            error = "memoria insufficiente per l'audio";
            return false;
        }
        return true;
    }

    // Decodes until the FIFO holds `count` samples or the audio ends; false on an error.
    bool fill(int count)
    {
        while (av_audio_fifo_size(fifo.get()) < count && !flushed) {
            const int received = avcodec_receive_frame(decoder.get(), decoded.get());
            if (received >= 0) {
                if (decoded->sample_rate != decoder->sample_rate ||
                    decoded->ch_layout.nb_channels != decoder->ch_layout.nb_channels ||
                    decoded->format != decoder->sample_fmt) {
                    error = "cambia formato a metà (frequenza o canali), e non si legge";
                    return false;
                }
                const bool ok = convert(decoded.get());
                av_frame_unref(decoded.get());
                if (!ok)
                    return false;
            } else if (received == AVERROR_EOF || (received == AVERROR(EAGAIN) && demuxEnded)) {
                // What the resampler holds back comes out last.
                if (!convert(nullptr))
                    return false;
                flushed = true;
            } else if (received != AVERROR(EAGAIN)) {
                error = "non si decodifica (" + avError(received) + ")";
                return false;
            } else if (av_read_frame(input.get(), packet.get()) < 0) {
                demuxEnded = true;
                (void)avcodec_send_packet(decoder.get(), nullptr);
            } else {
                const int sent = packet->stream_index == stream ? avcodec_send_packet(decoder.get(), packet.get()) : 0;
                av_packet_unref(packet.get());
                // A damaged packet is skipped, as players skip it; anything else stops.
                if (sent < 0 && sent != AVERROR_INVALIDDATA) {
                    error = "non si decodifica (" + avError(sent) + ")";
                    return false;
                }
            }
        }
        return true;
    }
};

AudioInput::AudioInput(std::unique_ptr<Context> context) : m_context(std::move(context)) {}

AudioInput::~AudioInput() = default;

platform::Result<std::unique_ptr<AudioInput>> AudioInput::open(const std::string& path)
{
    codec::keepLibraryLogQuiet();
    auto context = std::make_unique<Context>();
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        return platform::Failure{"non si apre come file audio"};
    context->input.reset(opened);
    if (avformat_find_stream_info(opened, nullptr) < 0)
        return platform::Failure{"non si legge come file audio"};
    const AVCodec* decoder = nullptr;
    context->stream = av_find_best_stream(opened, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (context->stream < 0 || !decoder)
        return platform::Failure{context->stream == AVERROR_DECODER_NOT_FOUND ? "ha un audio che non si sa decodificare"
                                                                              : "non contiene audio"};
    const AVStream& stream = *opened->streams[context->stream];
    context->decoder.reset(avcodec_alloc_context3(decoder));
    if (!context->decoder || !context->packet || !context->decoded ||
        avcodec_parameters_to_context(context->decoder.get(), stream.codecpar) < 0 ||
        avcodec_open2(context->decoder.get(), decoder, nullptr) < 0) {
        return platform::Failure{"ha un audio che non si decodifica"};
    }
    // Only the audio stream's packets are wanted: the others (a cover picture) are not read.
    for (unsigned i = 0; i < opened->nb_streams; ++i)
        if (static_cast<int>(i) != context->stream)
            opened->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecContext& d = *context->decoder;
    if (d.sample_rate <= 0 || d.ch_layout.nb_channels <= 0)
        return platform::Failure{"ha un audio senza frequenza o canali"};
    SourceAudio& source = context->source;
    source.codecName = decoder->name;
    source.sampleRate = d.sample_rate;
    source.channels = d.ch_layout.nb_channels;
    source.bits = bitsOf(d);
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
        source.samples = av_rescale_q(stream.duration, stream.time_base, AVRational{1, d.sample_rate});
    else if (opened->duration > 0)
        source.samples = av_rescale_q(opened->duration, AV_TIME_BASE_Q, AVRational{1, d.sample_rate});
    return std::unique_ptr<AudioInput>(new AudioInput(std::move(context)));
}

const SourceAudio& AudioInput::source() const { return m_context->source; }

const std::string& AudioInput::error() const { return m_context->error; }

platform::Status AudioInput::convertTo(const AudioPlan& plan, AVSampleFormat format)
{
    Context& c = *m_context;
    av_channel_layout_uninit(&c.outLayout);
    av_channel_layout_default(&c.outLayout, plan.channels);
    AVChannelLayout inLayout = layoutOf(*c.decoder);
    SwrContext* made = nullptr;
    const int set = swr_alloc_set_opts2(&made, &c.outLayout, format, plan.sampleRate, &inLayout, c.decoder->sample_fmt,
                                        c.decoder->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    c.resampler.reset(made);
    if (set < 0 || swr_init(made) < 0)
        return platform::Failure{"non si converte nel formato del video"};
    c.fifo.reset(av_audio_fifo_alloc(format, plan.channels, kConvertSamples));
    if (!c.fifo)
        return platform::Failure{"memoria insufficiente per l'audio"};
    c.format = format;
    c.outRate = plan.sampleRate;
    return {};
}

int AudioInput::read(AVFrame& frame, int count)
{
    Context& c = *m_context;
    if (!c.fill(count))
        return -1;
    const int available = std::min(count, av_audio_fifo_size(c.fifo.get()));
    if (available == 0)
        return 0;
    av_frame_unref(&frame);
    frame.format = c.format;
    frame.nb_samples = available;
    frame.sample_rate = c.outRate;
    if (av_channel_layout_copy(&frame.ch_layout, &c.outLayout) < 0 || av_frame_get_buffer(&frame, 0) < 0) {
        c.error = "memoria insufficiente per l'audio";
        return -1;
    }
    return av_audio_fifo_read(c.fifo.get(), reinterpret_cast<void**>(frame.extended_data), available);
}

std::int64_t measureAudio(const std::string& path)
{
    codec::keepLibraryLogQuiet();
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        return -1;
    const std::unique_ptr<AVFormatContext, CloseInput> input(opened);
    if (avformat_find_stream_info(opened, nullptr) < 0)
        return -1;
    const int index = av_find_best_stream(opened, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return -1;
    const AVStream& stream = *opened->streams[index];
    const int rate = stream.codecpar->sample_rate;
    if (rate <= 0)
        return -1;
    for (unsigned i = 0; i < opened->nb_streams; ++i)
        if (static_cast<int>(i) != index)
            opened->streams[i]->discard = AVDISCARD_ALL;
    const std::unique_ptr<AVPacket, FreePacket> packet(av_packet_alloc());
    if (!packet)
        return -1;
    std::int64_t total = 0;
    while (av_read_frame(opened, packet.get()) >= 0) {
        if (packet->stream_index == index && packet->duration > 0)
            total += av_rescale_q(packet->duration, stream.time_base, AVRational{1, rate});
        av_packet_unref(packet.get());
    }
    return total;
}

std::int64_t framesForMusic(const std::string& path, std::uint32_t rate, std::uint32_t scale)
{
    const auto opened = AudioInput::open(path);
    if (!opened)
        return 0;
    const std::unique_ptr<AudioInput>& input = opened.value();
    std::int64_t samples = measureAudio(path);
    if (samples <= 0)
        samples = input->source().samples;
    const __int128 exact = __int128{samples} * rate;
    const __int128 unit = __int128{input->source().sampleRate} * scale;
    return static_cast<std::int64_t>((exact + unit - 1) / unit);
}

}  // namespace kelvora::audio

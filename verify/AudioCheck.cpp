#include "verify/AudioCheck.h"

#include "audio/AudioEncoder.h"
#include "audio/AudioTrack.h"
#include "codec/AvLog.h"
#include "codec/AvObjects.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace kelvora::verify {

namespace {

using codec::detail::FreeCodecContext;
using codec::detail::FreeFrame;
using codec::detail::FreePacket;

struct CloseInput {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct FreeResampler {
    void operator()(SwrContext* swr) const { swr_free(&swr); }
};

// A second of AAC with less sound than this (an RMS of about -80 dB) is silence: no ratio is
// measured there, but what the video plays must be as quiet.
constexpr double kSilentEnergy = 1e-8;
constexpr double kNoiseInSilence = 1e-4;

audio::AudioCodec codecOf(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_AAC:
        return audio::AudioCodec::Aac;
    case AV_CODEC_ID_FLAC:
        return audio::AudioCodec::Flac;
    default:
        return audio::AudioCodec::Pcm16;
    }
}

// A frame converted to one sample format (the rate and channels kept), by libswresample.
class Converter {
public:
    Converter(const AVFrame& like, AVSampleFormat format) : m_format(format)
    {
        SwrContext* made = nullptr;
        AVChannelLayout layout{};
        (void)av_channel_layout_copy(&layout, &like.ch_layout);
        if (swr_alloc_set_opts2(&made, &layout, format, like.sample_rate, &layout,
                                static_cast<AVSampleFormat>(like.format), like.sample_rate, 0, nullptr) >= 0 &&
            swr_init(made) >= 0)
            m_swr.reset(made);
        else
            swr_free(&made);
        av_channel_layout_uninit(&layout);
        m_out.reset(av_frame_alloc());
    }
    [[nodiscard]] bool ok() const { return m_swr && m_out; }
    // `in` in the format, or null.
    const AVFrame* convert(const AVFrame& in)
    {
        AVFrame& out = *m_out;
        av_frame_unref(&out);
        out.format = m_format;
        out.sample_rate = in.sample_rate;
        if (av_channel_layout_copy(&out.ch_layout, &in.ch_layout) < 0)
            return nullptr;
        out.nb_samples = in.nb_samples;
        if (av_frame_get_buffer(&out, 0) < 0)
            return nullptr;
        const int made = swr_convert(m_swr.get(), out.extended_data, out.nb_samples,
                                     const_cast<const std::uint8_t**>(in.extended_data), in.nb_samples);
        if (made < 0)
            return nullptr;
        out.nb_samples = made;
        return &out;
    }

private:
    AVSampleFormat m_format;
    std::unique_ptr<SwrContext, FreeResampler> m_swr;
    std::unique_ptr<AVFrame, FreeFrame> m_out;
};

// The music as the save fit it, drawn in step with the video's frames.
class Expected {
public:
    bool open(const AudioCheckRequest& request, audio::AudioCodec codec, int videoRate, AudioCheckOutcome& out)
    {
        auto opened = audio::AudioInput::open(request.music);
        if (!opened) {
            out.reason = "la musica " + request.music + " " + opened.error();
            return false;
        }
        m_input = std::move(opened).value();
        m_plan = audio::planAudio(codec, m_input->source());
        if (m_plan.sampleRate != videoRate) {
            out.reason = "ha l'audio a " + std::to_string(videoRate) + " Hz, dove la musica ne darebbe " +
                         std::to_string(m_plan.sampleRate);
            return false;
        }
        m_format = audio::sampleFormatFor(m_plan);
        if (const auto converting = m_input->convertTo(m_plan, m_format); !converting) {
            out.reason = "la musica " + request.music + " " + converting.error();
            return false;
        }
        const auto samples = [&](std::int64_t frames) {
            return audio::samplesOfFrames(frames, request.rate.rate, request.rate.scale, m_plan.sampleRate);
        };
        audio::AudioShape shape;
        shape.total = samples(request.frames);
        shape.fadeIn = samples(request.fades.fadeIn);
        shape.fadeOut = samples(request.fades.fadeOut);
        shape.cutFade = static_cast<std::int64_t>(std::llround(audio::kCutFadeSeconds * m_plan.sampleRate));
        out.expected = shape.total;
        m_shaped = std::make_unique<audio::ShapedAudio>(*m_input, shape, m_format, m_plan);
        m_frame.reset(av_frame_alloc());
        return m_frame != nullptr;
    }

    [[nodiscard]] AVSampleFormat format() const { return m_format; }
    [[nodiscard]] int channels() const { return m_plan.channels; }

    // The next `count` samples (fewer past the end); null when the music does not decode.
    const AVFrame* next(int count, int& got)
    {
        got = m_shaped->next(*m_frame, count);
        return got < 0 ? nullptr : m_frame.get();
    }

private:
    std::unique_ptr<audio::AudioInput> m_input;
    audio::AudioPlan m_plan;
    AVSampleFormat m_format = AV_SAMPLE_FMT_S16;
    std::unique_ptr<audio::ShapedAudio> m_shaped;
    std::unique_ptr<AVFrame, FreeFrame> m_frame;
};

// Compares the decoded audio with the music, frame by frame, and measures AAC's seconds.
class Comparison {
public:
    Comparison(AudioCheckOutcome& out, Expected& expected) : m_out(out), m_expected(expected) {}

    // `decoded`, in the expected sample format, from sample `at` on.
    bool take(const AVFrame& decoded, std::int64_t at)
    {
        int got = 0;
        const AVFrame* music = m_expected.next(decoded.nb_samples, got);
        if (!music) {
            m_out.reason = "la musica non si decodifica fino in fondo";
            return false;
        }
        const int channels = m_expected.channels();
        for (int i = 0; i < decoded.nb_samples; ++i) {
            for (int c = 0; c < channels; ++c) {
                const bool beyond = i >= got;  // past the video's end: the codec's padding
                switch (m_expected.format()) {
                case AV_SAMPLE_FMT_S16:
                case AV_SAMPLE_FMT_S32: {
                    if (beyond)
                        break;
                    const bool wide = m_expected.format() == AV_SAMPLE_FMT_S32;
                    const std::size_t k = static_cast<std::size_t>(i) * channels + c;
                    const bool same = wide ? reinterpret_cast<const std::int32_t*>(decoded.data[0])[k] ==
                                                 reinterpret_cast<const std::int32_t*>(music->data[0])[k]
                                           : reinterpret_cast<const std::int16_t*>(decoded.data[0])[k] ==
                                                 reinterpret_cast<const std::int16_t*>(music->data[0])[k];
                    if (!same && m_out.different++ == 0)
                        m_out.firstDifferent = at + i;
                    break;
                }
                default: {
                    if (beyond)
                        break;
                    const double want = reinterpret_cast<const float*>(music->extended_data[c])[i];
                    const double have = reinterpret_cast<const float*>(decoded.extended_data[c])[i];
                    m_signal += want * want;
                    m_noise += (have - want) * (have - want);
                    m_values += 1;
                    break;
                }
                }
            }
            if (!m_out.lossless && i < got && (at + i + 1) % m_out.sampleRate == 0)
                endSecond((at + i) / m_out.sampleRate);
        }
        return true;
    }

    void finish(std::int64_t end)
    {
        if (!m_out.lossless && m_values > 0)
            endSecond((end - 1) / m_out.sampleRate);
        m_out.meanDb = m_measured > 0 ? m_sum / m_measured : std::numeric_limits<double>::infinity();
    }

private:
    void endSecond(std::int64_t second)
    {
        const double signal = m_signal / std::max(m_values, 1.0);
        const double noise = m_noise / std::max(m_values, 1.0);
        double db = std::numeric_limits<double>::infinity();
        if (signal < kSilentEnergy)
            db = noise > kNoiseInSilence ? 0 : db;  // sound where the music is silent
        else if (noise > 0)
            db = 10 * std::log10(signal / noise);
        if (std::isfinite(db) && signal >= kSilentEnergy) {
            m_sum += db;
            ++m_measured;
        }
        if (db < m_out.worstDb) {
            m_out.worstDb = db;
            m_out.worstSecond = static_cast<int>(second);
        }
        m_signal = m_noise = m_values = 0;
    }

    AudioCheckOutcome& m_out;
    Expected& m_expected;
    double m_signal = 0;
    double m_noise = 0;
    double m_values = 0;
    double m_sum = 0;
    int m_measured = 0;
};

std::string decimal(double value, int decimals)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string out = text;
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

// "12.345" with the thousands marked.
std::string grouped(std::int64_t n)
{
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ".");
    return digits;
}

}  // namespace

AudioCheckOutcome checkAudio(const AudioCheckRequest& request, const std::atomic<bool>& cancel, FrameMd5* hashes)
{
    AudioCheckOutcome out;
    codec::keepLibraryLogQuiet();
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, request.video.c_str(), nullptr, nullptr) < 0) {
        out.reason = "non si apre";
        return out;
    }
    const std::unique_ptr<AVFormatContext, CloseInput> input(opened);
    const AVCodec* decoderCodec = nullptr;
    const int stream = avformat_find_stream_info(opened, nullptr) < 0
                           ? -1
                           : av_find_best_stream(opened, AVMEDIA_TYPE_AUDIO, -1, -1, &decoderCodec, 0);
    if (stream < 0 || !decoderCodec) {
        out.reason = "non ha una traccia audio";
        return out;
    }
    out.hasAudio = true;
    const AVStream& st = *opened->streams[stream];
    for (unsigned i = 0; i < opened->nb_streams; ++i)
        if (static_cast<int>(i) != stream)
            opened->streams[i]->discard = AVDISCARD_ALL;
    const std::unique_ptr<AVCodecContext, FreeCodecContext> decoder(avcodec_alloc_context3(decoderCodec));
    const std::unique_ptr<AVFrame, FreeFrame> frame(av_frame_alloc());
    const std::unique_ptr<AVPacket, FreePacket> packet(av_packet_alloc());
    if (!decoder || !frame || !packet || avcodec_parameters_to_context(decoder.get(), st.codecpar) < 0 ||
        avcodec_open2(decoder.get(), decoderCodec, nullptr) < 0) {
        out.reason = "ha un audio che non si decodifica";
        return out;
    }
    const audio::AudioCodec kind = codecOf(st.codecpar->codec_id);
    out.codec = audio::codecLabel(kind);
    out.lossless = kind != audio::AudioCodec::Aac;
    out.sampleRate = decoder->sample_rate;
    Expected expected;
    const bool compare = !request.music.empty();
    if (compare && !expected.open(request, kind, decoder->sample_rate, out))
        return out;
    Comparison comparison(out, expected);
    std::unique_ptr<Converter> toExpected;
    std::unique_ptr<Converter> toHashes;
    bool headerDone = false;
    const auto take = [&](const AVFrame& decoded) {
        if (hashes) {
            if (!headerDone) {
                hashes->audioHeader({decoded.sample_rate, decoded.ch_layout.nb_channels});
                headerDone = true;
            }
            if (!toHashes)
                toHashes = std::make_unique<Converter>(decoded, AV_SAMPLE_FMT_S16);
            if (const AVFrame* pcm = toHashes->ok() ? toHashes->convert(decoded) : nullptr) {
                const std::int64_t pts =
                    decoded.best_effort_timestamp == AV_NOPTS_VALUE
                        ? out.samples
                        : av_rescale_q(decoded.best_effort_timestamp, st.time_base, AVRational{1, decoded.sample_rate});
                const auto bytes = static_cast<std::size_t>(pcm->nb_samples) * 2 * pcm->ch_layout.nb_channels;
                hashes->audioFrame(pts, pcm->nb_samples, {pcm->data[0], bytes});
            }
        }
        if (compare) {
            const AVFrame* same = &decoded;
            if (decoded.format != expected.format()) {
                if (!toExpected)
                    toExpected = std::make_unique<Converter>(decoded, expected.format());
                same = toExpected->ok() ? toExpected->convert(decoded) : nullptr;
            }
            if (!same || !comparison.take(*same, out.samples)) {
                if (out.reason.empty())
                    out.reason = "ha un audio che non si converte";
                return false;
            }
        }
        out.samples += decoded.nb_samples;
        return true;
    };
    bool ok = true;
    const auto drain = [&] {
        while (ok && avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            ok = take(*frame);
            av_frame_unref(frame.get());
        }
    };
    while (ok && !cancel.load(std::memory_order_relaxed) && av_read_frame(opened, packet.get()) >= 0) {
        if (packet->stream_index == stream)
            (void)avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        drain();
    }
    if (ok && !cancel.load(std::memory_order_relaxed)) {
        (void)avcodec_send_packet(decoder.get(), nullptr);
        drain();
    }
    out.cancelled = cancel.load(std::memory_order_relaxed);
    if (!ok || out.cancelled)
        return out;
    if (compare)
        comparison.finish(std::min(out.samples, out.expected));
    out.readable = true;
    return out;
}

AudioVerdict judgeAudio(const AudioCheckOutcome& outcome)
{
    const auto clock = [&](std::int64_t samples) {
        return decimal(static_cast<double>(samples) / std::max(outcome.sampleRate, 1), 2) + " s";
    };
    const std::int64_t over = outcome.samples - outcome.expected;
    // AAC's last packet is whole: up to a packet's padding may follow the music's end.
    if (over < 0 || (outcome.lossless ? over != 0 : over >= 2048))
        return {false, "l'audio " + outcome.codec + " dura " + clock(outcome.samples) + " e non " +
                           clock(outcome.expected) + ", come le immagini"};
    if (outcome.lossless) {
        if (outcome.different > 0)
            return {false, "l'audio " + outcome.codec + " differisce dalla musica dal campione " +
                               grouped(outcome.firstDifferent) + " (a " + clock(outcome.firstDifferent) +
                               "): " + grouped(outcome.different) + " valori diversi"};
        return {true, "audio " + outcome.codec + " uguale alla musica campione per campione (" +
                          grouped(outcome.expected) + " campioni)"};
    }
    if (outcome.worstDb < kAudioNearDb)
        return {false, "l'audio " + outcome.codec + " non è la musica: SNR " + decimal(outcome.worstDb, 1) +
                           " dB al secondo " + std::to_string(outcome.worstSecond + 1) + ", sotto il minimo di " +
                           decimal(kAudioNearDb, 0) + " dB"};
    if (!std::isfinite(outcome.worstDb))
        return {true, "audio " + outcome.codec + " uguale alla musica"};
    return {true, "audio " + outcome.codec + " vicino alla musica: SNR minimo " + decimal(outcome.worstDb, 1) +
                      " dB (secondo " + std::to_string(outcome.worstSecond + 1) + "), medio " +
                      decimal(outcome.meanDb, 1) + " dB"};
}

std::optional<VideoRate> videoRateOf(const std::string& video)
{
    codec::keepLibraryLogQuiet();
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, video.c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    const std::unique_ptr<AVFormatContext, CloseInput> input(opened);
    if (avformat_find_stream_info(opened, nullptr) < 0)
        return std::nullopt;
    const int stream = av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0)
        return std::nullopt;
    const AVRational rate = av_guess_frame_rate(opened, opened->streams[stream], nullptr);
    if (rate.num <= 0 || rate.den <= 0)
        return std::nullopt;
    return VideoRate{static_cast<std::uint32_t>(rate.num), static_cast<std::uint32_t>(rate.den)};
}

}  // namespace kelvora::verify

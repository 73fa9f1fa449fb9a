#include "audio/AudioTrack.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>

namespace kelvora::audio {

namespace {

// Samples read from the file at a time, and given to PCM, which takes any number.
constexpr int kReadSamples = 4096;
constexpr int kPcmPacketSamples = 1024;
// The packets made ahead of the frames that have taken them: seconds of any codec.
constexpr std::size_t kMostQueuedBytes = std::size_t{8} << 20;

struct FreeFifo {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

}  // namespace

struct ShapedAudio::Ahead {
    std::unique_ptr<AVAudioFifo, FreeFifo> fifo;
    AVFrame* read = av_frame_alloc();
    ~Ahead() { av_frame_free(&read); }
};

ShapedAudio::ShapedAudio(AudioInput& input, AudioShape shape, AVSampleFormat format, const AudioPlan& plan)
    : m_input(input), m_shape(shape), m_format(format), m_channels(plan.channels), m_sampleRate(plan.sampleRate),
      m_ahead(std::make_shared<Ahead>())
{
    m_ahead->fifo.reset(av_audio_fifo_alloc(format, m_channels, kReadSamples));
}

// Reads from the file until `samples` wait ahead or the file has ended; false on an error.
bool ShapedAudio::lookAhead(std::int64_t samples)
{
    Ahead& ahead = *m_ahead;
    if (!ahead.fifo || !ahead.read)
        return false;
    while (!m_sourceEnded && av_audio_fifo_size(ahead.fifo.get()) < samples) {
        const int got = m_input.read(*ahead.read, kReadSamples);
        if (got < 0)
            return false;
        if (got == 0) {
            m_sourceEnded = true;
            break;
        }
        if (av_audio_fifo_write(ahead.fifo.get(), reinterpret_cast<void**>(ahead.read->extended_data), got) < got)
            return false;
    }
    return true;
}

int ShapedAudio::next(AVFrame& frame, int count)
{
    std::int64_t n = count;
    if (m_shape.total >= 0)
        n = std::min<std::int64_t>(n, m_shape.total - m_position);
    if (n <= 0)
        return 0;
    // Whether the music goes on past the end decides the cut's fade: known before its first sample.
    if (m_shape.total >= 0 && !m_cutKnown && m_position + n > m_shape.total - m_shape.cutFade) {
        if (!lookAhead(m_shape.total - m_position + 1))
            return -1;
        m_cut = av_audio_fifo_size(m_ahead->fifo.get()) > m_shape.total - m_position;
        m_cutKnown = true;
    }
    if (!lookAhead(n))
        return -1;
    av_frame_unref(&frame);
    frame.format = m_format;
    frame.nb_samples = static_cast<int>(n);
    frame.sample_rate = m_sampleRate;
    av_channel_layout_default(&frame.ch_layout, m_channels);
    if (av_frame_get_buffer(&frame, 0) < 0)
        return -1;
    const int have = std::min(static_cast<int>(n), av_audio_fifo_size(m_ahead->fifo.get()));
    if (have > 0 && av_audio_fifo_read(m_ahead->fifo.get(), reinterpret_cast<void**>(frame.extended_data), have) < have)
        return -1;
    // Past the file's end: silence.
    if (have < n)
        (void)av_samples_set_silence(frame.extended_data, have, static_cast<int>(n) - have, m_channels, m_format);
    frame.pts = m_position;
    applyGains(frame);
    m_position += n;
    return static_cast<int>(n);
}

void ShapedAudio::applyGains(AVFrame& frame) const
{
    const std::int64_t first = m_position;
    const std::int64_t last = m_position + frame.nb_samples;
    const bool inFadeIn = m_shape.fadeIn > 0 && first < m_shape.fadeIn;
    const bool inFadeOut =
        m_shape.total >= 0 && last > m_shape.total - std::max(m_shape.fadeOut, m_cut ? m_shape.cutFade : 0);
    if (!inFadeIn && !inFadeOut)
        return;
    for (int i = 0; i < frame.nb_samples; ++i) {
        const double g = m_shape.gain(first + i, m_cut);
        if (g >= 1)
            continue;
        switch (m_format) {
        case AV_SAMPLE_FMT_S16: {
            auto* s = reinterpret_cast<std::int16_t*>(frame.data[0]) + static_cast<std::ptrdiff_t>(i) * m_channels;
            for (int c = 0; c < m_channels; ++c)
                s[c] = static_cast<std::int16_t>(std::lround(s[c] * g));
            break;
        }
        case AV_SAMPLE_FMT_S32: {
            auto* s = reinterpret_cast<std::int32_t*>(frame.data[0]) + static_cast<std::ptrdiff_t>(i) * m_channels;
            for (int c = 0; c < m_channels; ++c)
                s[c] = static_cast<std::int32_t>(std::llround(s[c] * g));
            break;
        }
        default:  // planar float
            for (int c = 0; c < m_channels; ++c)
                reinterpret_cast<float*>(frame.extended_data[c])[i] *= static_cast<float>(g);
            break;
        }
    }
}

platform::Result<std::unique_ptr<AudioTrack>> AudioTrack::open(const std::string& path, AudioCodec codec)
{
    std::unique_ptr<AudioTrack> track(new AudioTrack);
    auto input = AudioInput::open(path);
    if (!input)
        return input.failure();
    track->m_input = std::move(input).value();
    track->m_plan = planAudio(codec, track->m_input->source());
    auto encoder = AudioEncoder::open(track->m_plan);
    if (!encoder)
        return encoder.failure();
    track->m_encoder = std::move(encoder).value();
    if (auto converting = track->m_input->convertTo(track->m_plan, track->m_encoder->sampleFormat()); !converting)
        return converting.failure();
    return track;
}

AudioTrack::~AudioTrack()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
}

void AudioTrack::start(const AudioShape& shape)
{
    m_shaped = std::make_unique<ShapedAudio>(*m_input, shape, m_encoder->sampleFormat(), m_plan);
    m_end = shape.total;
    m_thread = std::jthread([this] { produce(); });
}

void AudioTrack::videoReached(std::int64_t samples)
{
    {
        const std::lock_guard lock(m_mutex);
        m_reached = std::max(m_reached, samples);
    }
    m_changed.notify_all();
}

void AudioTrack::videoEnds(std::int64_t samples)
{
    {
        const std::lock_guard lock(m_mutex);
        m_end = samples;
        m_reached = samples;
    }
    m_changed.notify_all();
}

void AudioTrack::produce()
{
    try {
        produceAll();
    } catch (const std::exception&) {
        const std::lock_guard lock(m_mutex);
        m_failure = "memoria insufficiente per l'audio";
    }
    {
        const std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_changed.notify_all();
}

void AudioTrack::produceAll()
{
    const int frameSize = m_encoder->stream().frameSize > 0 ? m_encoder->stream().frameSize : kPcmPacketSamples;
    AVFrame* frame = av_frame_alloc();
    const std::unique_ptr<AVFrame, void (*)(AVFrame*)> owned(frame, [](AVFrame* f) { av_frame_free(&f); });
    std::vector<AudioPacket> made;
    bool totalSet = m_shaped->shape().total >= 0;
    while (true) {
        std::int64_t count = 0;
        {
            std::unique_lock lock(m_mutex);
            // Until the end is known, only whole packets clear of the end's fades are made.
            const auto room = [&] {
                if (m_end >= 0)
                    return std::min<std::int64_t>(frameSize, m_end - m_shaped->position());
                const std::int64_t bound = m_reached - m_shaped->shape().endReach();
                return bound - m_shaped->position() >= frameSize ? std::int64_t{frameSize} : 0;
            };
            while (!m_stop && (m_queuedBytes > kMostQueuedBytes || (m_end < 0 && room() == 0))) {
                m_waiting = m_queuedBytes <= kMostQueuedBytes;
                m_changed.notify_all();
                m_changed.wait(lock);
            }
            m_waiting = false;
            if (m_stop)
                return;
            if (m_end >= 0 && !totalSet) {
                m_shaped->setTotal(m_end);
                totalSet = true;
            }
            count = room();
        }
        made.clear();
        if (count > 0) {
            const int got = m_shaped->next(*frame, static_cast<int>(count));
            if (got < 0) {
                const std::lock_guard lock(m_mutex);
                m_failure = "non si decodifica fino in fondo (" + m_input->error() + ")";
                return;
            }
            if (const auto encoded = m_encoder->encode(frame, made); !encoded) {
                const std::lock_guard lock(m_mutex);
                m_failure = encoded.error();
                return;
            }
        } else if (const auto encoded = m_encoder->encode(nullptr, made); !encoded) {
            const std::lock_guard lock(m_mutex);
            m_failure = encoded.error();
            return;
        }
        {
            const std::lock_guard lock(m_mutex);
            for (AudioPacket& packet : made) {
                m_queuedBytes += packet.data.size();
                m_madeTo = std::max(m_madeTo, packet.pts + packet.duration);
                m_packets.push_back(std::move(packet));
            }
            m_cut = m_shaped->cut();
            if (count == 0)
                return;  // the end reached and the encoder flushed
        }
        m_changed.notify_all();
    }
}

bool AudioTrack::take(std::int64_t samples, std::vector<AudioPacket>& out)
{
    std::unique_lock lock(m_mutex);
    while (true) {
        bool took = false;
        while (!m_packets.empty() && m_packets.front().pts < samples) {
            m_queuedBytes -= m_packets.front().data.size();
            out.push_back(std::move(m_packets.front()));
            m_packets.pop_front();
            took = true;
        }
        if (took)
            m_changed.notify_all();
        if (!m_failure.empty())
            return false;
        if (m_done || m_madeTo >= samples || m_waiting)
            return true;
        m_changed.wait(lock);
    }
}

bool AudioTrack::takeAll(std::vector<AudioPacket>& out)
{
    std::unique_lock lock(m_mutex);
    const std::int64_t end = m_end;
    while (true) {
        bool took = false;
        while (!m_packets.empty()) {
            AudioPacket& packet = m_packets.front();
            m_queuedBytes -= packet.data.size();
            // The video ended before the audio made for it (frames left out): nothing past its end,
            // but the encoder's last word (FLAC's final header) comes after every sample.
            if ((end >= 0 && packet.pts < end) || (packet.data.empty() && !packet.newConfiguration.empty())) {
                if (m_plan.codec == AudioCodec::Pcm16 && packet.pts + packet.duration > end) {
                    packet.duration = end - packet.pts;
                    packet.data.resize(static_cast<std::size_t>(packet.duration) * 2 * m_plan.channels);
                }
                out.push_back(std::move(packet));
            }
            m_packets.pop_front();
            took = true;
        }
        if (took)
            m_changed.notify_all();
        if (!m_failure.empty())
            return false;
        if (m_done)
            return true;
        m_changed.wait(lock);
    }
}

std::string AudioTrack::failure() const
{
    const std::lock_guard lock(m_mutex);
    return m_failure;
}

bool AudioTrack::cut() const
{
    const std::lock_guard lock(m_mutex);
    return m_cut;
}

}  // namespace kelvora::audio

#include "video/SlideshowSave.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kelvora::video {

namespace {

// An AVI's audio chunk holds at most this much: a slow video's frame may last minutes.
constexpr double kLongestChunkSeconds = 1.0;

audio::AudioCodec audioCodecFor(Container container)
{
    switch (container) {
    case Container::Mp4:
        return audio::AudioCodec::Aac;
    case Container::Matroska:
        return audio::AudioCodec::Flac;
    case Container::Avi:
        break;
    }
    return audio::AudioCodec::Pcm16;
}

// "48 kHz", "44,1 kHz", "22,05 kHz".
std::string rateText(int rate)
{
    std::string text = std::to_string(rate / 1000);
    std::string decimals = std::to_string(1000 + rate % 1000).substr(1);
    while (!decimals.empty() && decimals.back() == '0')
        decimals.pop_back();
    if (!decimals.empty())
        text += "," + decimals;
    return text + " kHz";
}

}  // namespace

std::string clockText(std::int64_t samples, int rate)
{
    const std::int64_t seconds = rate > 0 ? (samples + rate / 2) / rate : 0;
    char text[40];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    return text;
}

// The sink of the container, each picture held for its frames and the music between them.
class SlideshowSave::TimedSink final : public VideoSink {
public:
    TimedSink(SlideshowSave& save, std::unique_ptr<VideoSink> inner)
        : m_save(save), m_inner(std::move(inner)), m_avi(save.m_request.container == Container::Avi),
          m_track(save.m_track.get()), m_clock(save.m_rate)
    {
        if (m_save.m_fitFrames > 0)
            m_clock.spreadOver(m_save.m_show.durations, m_save.m_fitFrames);
    }
    ~TimedSink() override { (void)finish(); }

    SinkResult open(const std::string& path) override { return m_inner->open(path); }

    SinkResult addStream(const SinkStream& stream) override
    {
        SinkStream described = stream;
        described.audioFollows = m_track != nullptr;
        if (const SinkResult result = m_inner->addStream(described); !result.ok())
            return result;
        if (!m_track)
            return {};
        if (const SinkResult result = m_inner->addAudio(m_track->stream()); !result.ok())
            return result;
        m_sampleRate = m_track->stream().sampleRate;
        m_blockAlign = 2 * m_track->stream().channels;
        m_track->start(shape());
        m_audioStarted = true;
        return {};
    }

    SinkResult changeFormat(std::int64_t frame, std::span<const std::uint8_t> format) override
    {
        return m_inner->changeFormat(spanOf(static_cast<std::size_t>(frame)).start, format);
    }

    SinkResult writeFrames(std::int64_t first, std::span<const SinkFrame> frames) override
    {
        SinkResult result;
        for (const SinkFrame& frame : frames) {
            const slideshow::Span span = spanOf(static_cast<std::size_t>(first) + result.written);
            result.failure = (m_avi ? writeAviPicture(span, frame) : writeHeld(span, frame)).failure;
            if (!result.ok())
                break;
            ++result.written;
        }
        return result;
    }

    SinkResult writePacket(const SinkPacket& packet) override
    {
        // The codec's times are the pictures' numbers; the file's, their frames.
        const slideshow::Span span = spanOf(static_cast<std::size_t>(packet.pts));
        const std::int64_t dts = packet.dts < 0 ? packet.dts : spanOf(static_cast<std::size_t>(packet.dts)).start;
        if (const SinkResult result = audioUntil(samplesOf(std::max<std::int64_t>(dts, 0))); !result.ok())
            return result;
        SinkPacket timed = packet;
        timed.pts = span.start;
        timed.dts = dts;
        timed.duration = span.frames;
        const SinkResult result = m_inner->writePacket(timed);
        if (!result.ok())
            return fail(result);
        reached(span.end());
        return {};
    }

    SinkResult finish() override
    {
        if (m_finished)
            return m_finishResult;
        m_finished = true;
        repeatLastPicture();
        SinkResult audio;
        if (m_audioStarted) {
            // The music to the last frame written: a save stopped early keeps both to there.
            const std::int64_t end = samplesOf(m_end);
            m_track->videoEnds(end);
            std::vector<audio::AudioPacket> rest;
            if (!m_track->takeAll(rest))
                audio = {SinkFailure::SourceRead};
            if (audio.ok() && m_end > 0)
                audio = writeAudioPackets(rest, end);
        }
        const SinkResult finished = m_inner->finish();
        m_save.m_written.frames = m_end;
        if (const slideshow::ShowSequence* sequence = m_save.sequence())
            m_save.m_written.pictures = m_spans.empty() ? 0 : sequence->shown()[m_spans.size() - 1].picture + 1;
        if (const std::optional<std::size_t> kept = framesInFile()) {
            m_save.m_written.frames = *kept > 0 ? m_spans[*kept - 1].end() : 0;
            if (const slideshow::ShowSequence* sequence = m_save.sequence())
                m_save.m_written.pictures = *kept > 0 ? sequence->shown()[*kept - 1].picture + 1 : 0;
            m_save.m_written.audioSamples = std::min(m_save.m_written.audioSamples, samplesOf(m_save.m_written.frames));
        }
        m_finishResult = !finished.ok() ? finished : audio;
        return m_finishResult;
    }

    platform::FileIdentity renewedFile() const override { return m_inner->renewedFile(); }

    // A file cut back to its last whole part holds the pictures of its packets (Matroska's
    // picture written again at the end is no picture of its own).
    std::optional<std::size_t> framesInFile() const override
    {
        const std::optional<std::size_t> kept = m_inner->framesInFile();
        if (!kept)
            return kept;
        return std::min(*kept, m_spans.size());
    }

private:
    [[nodiscard]] std::int64_t samplesOf(std::int64_t frames) const
    {
        return audio::samplesOfFrames(frames, m_save.m_rate.rate, m_save.m_rate.scale, m_sampleRate);
    }

    // The span of the video's picture `frame`, the ones before it laid out first; with fades,
    // of its frame `frame` (a held picture or a fade's frame), as the writer has laid them out.
    slideshow::Span spanOf(std::size_t frame)
    {
        if (const slideshow::ShowSequence* sequence = m_save.sequence()) {
            const std::vector<slideshow::Shown>& shown = sequence->shown();
            while (m_spans.size() <= frame && m_spans.size() < shown.size())
                m_spans.push_back({shown[m_spans.size()].slot, shown[m_spans.size()].frames});
            return frame < m_spans.size() ? m_spans[frame] : slideshow::Span{m_end, 1};
        }
        while (m_spans.size() <= frame)
            m_spans.push_back(m_clock.next(m_save.m_show.durationOf(m_spans.size())));
        return m_spans[frame];
    }

    // The music's shape: its length once the pictures' are all known, its fades.
    audio::AudioShape shape() const
    {
        audio::AudioShape shape;
        const slideshow::FadeFrames fades = slideshow::fadeFrames(m_save.m_show.fades, m_save.m_rate);
        shape.fadeIn = samplesOf(fades.fadeIn);
        shape.fadeOut = samplesOf(fades.fadeOut);
        shape.cutFade = static_cast<std::int64_t>(std::llround(audio::kCutFadeSeconds * m_sampleRate));
        if (m_save.m_pictures >= 0) {
            slideshow::PictureClock all(m_save.m_rate);
            if (m_save.m_fitFrames > 0)
                all.spreadOver(m_save.m_show.durations, m_save.m_fitFrames);
            for (int i = 0; i < m_save.m_pictures; ++i)
                (void)all.next(m_save.m_show.durationOf(static_cast<std::size_t>(i)));
            shape.total = samplesOf(all.frames());
        }
        return shape;
    }

    void reached(std::int64_t end)
    {
        m_end = std::max(m_end, end);
        if (m_audioStarted)
            m_track->videoReached(samplesOf(m_end));
    }

    // Matroska and MP4: one packet of the picture's duration.
    SinkResult writeHeld(const slideshow::Span& span, const SinkFrame& frame)
    {
        if (const SinkResult result = audioUntil(samplesOf(span.start)); !result.ok())
            return fail(result);
        const SinkResult result = m_inner->writeHeld(span.start, frame, span.frames);
        if (!result.ok())
            return fail(result);
        reached(span.end());
        keepLast(span, frame);
        return {};
    }

    // AVI: the picture's chunk then empty ones, each after the audio of its time; the picture's
    // last frame waits, to be the picture again if it ends the video.
    SinkResult writeAviPicture(const slideshow::Span& span, const SinkFrame& frame)
    {
        if (const SinkResult result = writeTail(SinkFrame{}); !result.ok())
            return result;
        reached(span.end());
        const SinkResult result = writeSlots(span.start, span.frames > 1 ? span.frames - 1 : 1, frame);
        if (!result.ok())
            return result;
        m_tail = span.frames > 1 ? span.end() - 1 : -1;
        keepLast(span, frame);
        return {};
    }

    // `frames` frames from `slot` on: `frame`, then empty chunks; with audio, each frame's audio before it.
    SinkResult writeSlots(std::int64_t slot, std::int64_t frames, const SinkFrame& frame)
    {
        if (!m_audioStarted) {
            const SinkResult result = m_inner->writeHeld(slot, frame, frames);
            if (!result.ok())
                m_end = slot;
            return !result.ok() ? fail(result) : SinkResult{};
        }
        for (std::int64_t at = slot; at < slot + frames; ++at) {
            if (const SinkResult result = audioUntil(samplesOf(at + 1)); !result.ok())
                return fail(result);
            const SinkFrame slotFrame = at == slot ? frame : SinkFrame{};
            if (const SinkResult result = m_inner->writeFrames(at, {&slotFrame, 1}); !result.ok()) {
                m_end = at;
                return fail(result);
            }
        }
        return {};
    }

    // The last frame of the picture before: an empty chunk, or the picture again at the end.
    SinkResult writeTail(const SinkFrame& frame)
    {
        if (m_tail < 0)
            return {};
        const std::int64_t slot = std::exchange(m_tail, -1);
        return writeSlots(slot, 1, frame);
    }

    // The frame's bytes stay valid to the end of the save: the save's frame loop keeps its last frame.
    void keepLast(const slideshow::Span& span, const SinkFrame& frame)
    {
        m_lastFrame = frame;
        m_lastSpan = span;
    }

    // A reader ends a picture one frame after its last frame: AVI's empty chunks, and Matroska
    // as libavformat 5.1 writes it (no frame's own duration), would end the last picture a frame
    // after it starts. It is written again at the video's last frame, so it lasts to the end.
    void repeatLastPicture()
    {
        if (m_failed || m_lastSpan.frames <= 1 || m_lastSpan.end() != m_end)
            return;
        if (m_avi) {
            (void)writeTail(m_lastFrame);
            return;
        }
        if (m_save.m_request.container != Container::Matroska || !audioUntil(samplesOf(m_end - 1)).ok())
            return;
        (void)m_inner->writeHeld(m_end - 1, m_lastFrame, 1);
    }

    SinkResult fail(SinkResult result)
    {
        m_failed = true;
        return result;
    }

    // The music up to sample `until`, as far as it is made.
    SinkResult audioUntil(std::int64_t until)
    {
        if (!m_audioStarted)
            return {};
        std::vector<audio::AudioPacket> packets;
        if (!m_track->take(until, packets))
            return {SinkFailure::SourceRead};
        return writeAudioPackets(packets, until);
    }

    // Packets to the sink: for AVI gathered into chunks of whole samples up to `until`, the
    // rest kept for the next chunk.
    SinkResult writeAudioPackets(std::vector<audio::AudioPacket>& packets, std::int64_t until)
    {
        if (!m_avi) {
            for (const audio::AudioPacket& packet : packets)
                m_save.m_written.audioSamples = std::max(m_save.m_written.audioSamples, packet.pts + packet.duration);
            return packets.empty() ? SinkResult{} : m_inner->writeAudio(packets);
        }
        for (audio::AudioPacket& packet : packets)
            m_pending.insert(m_pending.end(), packet.data.begin(), packet.data.end());
        const auto most = static_cast<std::int64_t>(kLongestChunkSeconds * m_sampleRate);
        std::vector<audio::AudioPacket> chunks;
        std::int64_t at = m_pendingStart;
        std::size_t used = 0;
        const auto pendingSamples =
            static_cast<std::int64_t>(m_pending.size() / static_cast<std::size_t>(m_blockAlign));
        const std::int64_t end = std::min(until, m_pendingStart + pendingSamples);
        while (at < end) {
            const std::int64_t count = std::min(most, end - at);
            const std::size_t bytes = static_cast<std::size_t>(count) * static_cast<std::size_t>(m_blockAlign);
            audio::AudioPacket& chunk = chunks.emplace_back();
            chunk.data.assign(m_pending.begin() + static_cast<std::ptrdiff_t>(used),
                              m_pending.begin() + static_cast<std::ptrdiff_t>(used + bytes));
            chunk.pts = at;
            chunk.duration = count;
            used += bytes;
            at += count;
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(used));
        m_pendingStart = at;
        m_save.m_written.audioSamples = at;
        return chunks.empty() ? SinkResult{} : m_inner->writeAudio(chunks);
    }

    SlideshowSave& m_save;
    std::unique_ptr<VideoSink> m_inner;
    bool m_avi;
    audio::AudioTrack* m_track;
    slideshow::PictureClock m_clock;
    std::vector<slideshow::Span> m_spans;
    std::int64_t m_end = 0;  // the frames written
    int m_sampleRate = 48000;
    int m_blockAlign = 4;
    bool m_audioStarted = false;
    bool m_finished = false;
    bool m_failed = false;
    SinkFrame m_lastFrame{};  // the last picture's frame, and its span
    slideshow::Span m_lastSpan;
    std::int64_t m_tail = -1;  // AVI: the last frame of the picture before, not yet written
    SinkResult m_finishResult;
    std::vector<std::uint8_t> m_pending;  // AVI: PCM not yet in a chunk, from m_pendingStart on
    std::int64_t m_pendingStart = 0;
};

SlideshowSave::SlideshowSave(const SaveRequest& request, int pictures)
    : m_request(request), m_show(*request.slideshow), m_rate{request.rate, request.scale}, m_pictures(pictures)
{
}

SlideshowSave::~SlideshowSave() = default;

bool SlideshowSave::prepare(SaveOutcome& out)
{
    if (!prepareAudio(out))
        return false;
    if (m_show.fades.any()) {
        slideshow::PictureClock clock(m_rate);
        if (m_fitFrames > 0)
            clock.spreadOver(m_show.durations, m_fitFrames);
        m_sequence.emplace(clock, m_show.fades, m_rate);
    }
    return true;
}

bool SlideshowSave::prepareAudio(SaveOutcome& out)
{
    if (m_show.audio.empty())
        return true;
    auto opened = audio::AudioTrack::open(m_show.audio, audioCodecFor(m_request.container));
    if (!opened) {
        out.refused = true;
        out.result = avifile::AVIERR_BADFORMAT;
        out.reason = "La musica " + m_show.audio + " " + opened.error() + ".";
        return false;
    }
    m_track = std::move(opened).value();
    if (m_show.fitToAudio) {
        // Frames enough for the whole music: its last sample within the last frame.
        m_fitFrames = audio::framesForMusic(m_show.audio, m_rate.rate, m_rate.scale);
        if (m_fitFrames < std::max(m_pictures, 1)) {
            out.refused = true;
            out.result = avifile::AVIERR_BADPARAM;
            out.reason = "La musica " + m_show.audio + " è troppo breve per dare a ogni immagine almeno un fotogramma.";
            return false;
        }
    }
    return true;
}

std::unique_ptr<VideoSink> SlideshowSave::wrap(std::unique_ptr<VideoSink> sink)
{
    return std::make_unique<TimedSink>(*this, std::move(sink));
}

void SlideshowSave::describe(SaveOutcome& out) const
{
    out.slideshowFrames = m_written.frames;
    if (m_written.pictures)
        out.framesWritten = static_cast<int>(*m_written.pictures);
    if (m_track && !m_track->failure().empty())
        out.reason = "La musica " + m_show.audio + " " + m_track->failure() + ".";
    if (!m_track || m_written.audioSamples <= 0)
        return;
    const audio::AudioPlan& plan = m_track->plan();
    const audio::SourceAudio& source = m_track->source();
    out.audio = std::string("con audio ") + audio::codecLabel(plan.codec) + " " +
                clockText(m_written.audioSamples, plan.sampleRate);
    std::vector<std::string> notes;
    if (plan.downmixedFrom > 0)
        notes.push_back("l'audio a " + std::to_string(plan.downmixedFrom) + " canali è mixato in stereo");
    if (plan.sampleRate != source.sampleRate)
        notes.push_back("l'audio è portato da " + rateText(source.sampleRate) + " a " + rateText(plan.sampleRate));
    if (m_track->cut())
        notes.push_back("la musica è tagliata alla fine del video, con mezzo secondo di dissolvenza");
    for (const std::string& note : notes)
        out.notice += (out.notice.empty() ? "" : "; ") + note;
}

}  // namespace kelvora::video

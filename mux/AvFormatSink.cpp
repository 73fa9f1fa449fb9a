#include "mux/AvFormatSink.h"

#include "mux/DescriptorIo.h"
#include "mux/Faststart.h"
#include "platform/filesystem/Descriptor.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

namespace kelvora::mux {

using video::SinkFailure;
using video::SinkResult;

namespace {

// Frames as their files store them, and AVI's empty frames, go to AVI only.
bool heldInMemory(const video::SinkFrame& frame) { return !frame.inFile() && frame.bytes.data() != nullptr; }

struct FreePacket {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// The options of the container's writer: Matroska clusters of at most a second, so a kill
// loses little; MP4 fragmented with its (empty) index first.
AVDictionary* writerOptions(video::Container container, bool audio)
{
    AVDictionary* options = nullptr;
    if (container == video::Container::Mp4) {
        // With a soundtrack the index waits for the first fragment: only then can it say that
        // AAC's first samples are the encoder's priming, not music (an edit list).
        av_dict_set(&options, "movflags",
                    audio ? "frag_keyframe+delay_moov+default_base_moof" : "frag_keyframe+empty_moov+default_base_moof",
                    0);
        av_dict_set(&options, "frag_duration", "1000000", 0);
    } else {
        av_dict_set(&options, "cluster_time_limit", "1000", 0);
    }
    return options;
}

void describeCodec(AVCodecParameters& par, const video::SinkStream& stream)
{
    par.codec_type = AVMEDIA_TYPE_VIDEO;
    par.width = stream.width;
    par.height = stream.height < 0 ? -stream.height : stream.height;
    par.sample_aspect_ratio = AVRational{1, 1};
    par.field_order = AV_FIELD_PROGRESSIVE;
    if (stream.codec == codec::Codec::H264) {
        par.codec_id = AV_CODEC_ID_H264;
        par.format = AV_PIX_FMT_YUV420P;
        // The colours as the encoder made them, for players that read the container.
        par.color_range = AVCOL_RANGE_MPEG;
        par.color_primaries = AVCOL_PRI_BT709;
        par.color_trc = AVCOL_TRC_BT709;
        par.color_space = AVCOL_SPC_BT709;
        par.chroma_location = AVCHROMA_LOC_CENTER;
        par.video_delay = stream.reorderDepth;
    } else {
        par.codec_id = AV_CODEC_ID_FFV1;
        par.format = AV_PIX_FMT_BGR0;
        par.bits_per_coded_sample = 32;
        if (stream.fullRange)
            par.color_range = AVCOL_RANGE_JPEG;
    }
}

}  // namespace

struct AvFormatSink::Muxer {
    platform::Descriptor file;  // the video this save writes, opened once
    std::unique_ptr<DescriptorIo> io;
    AVFormatContext* context = nullptr;
    AVStream* stream = nullptr;
    AVRational frameTime{1, 25};
    AVStream* audio = nullptr;
    AVRational sampleTime{1, 48000};
    // The header waits for the audio stream when there is one: it is written before the first packet.
    bool headerPending = false;
    video::Container container = video::Container::Mp4;
    std::unique_ptr<AVPacket, FreePacket> packet{av_packet_alloc()};
    bool headerWritten = false;
    int handed = 0;  // frames given to the writer

    ~Muxer() { release(); }

    void release()
    {
        avformat_free_context(std::exchange(context, nullptr));
        io.reset();
    }

    [[nodiscard]] bool failed() const { return io->writeError() != 0 || context->pb->error < 0; }

    SinkResult write(std::span<const std::uint8_t> data, std::int64_t pts, std::int64_t dts, bool key,
                     std::int64_t duration = 1)
    {
        if (const SinkResult header = writeHeader(); !header.ok())
            return header;
        if (failed())
            return {SinkFailure::Write};
        AVPacket& p = *packet;
        // Not reference counted: libavformat writes it at once and keeps nothing of it.
        p.data = const_cast<std::uint8_t*>(data.data());
        p.size = static_cast<int>(data.size());
        p.stream_index = stream->index;
        p.pts = pts;
        p.dts = dts;
        p.duration = duration;
        p.flags = key ? AV_PKT_FLAG_KEY : 0;
        av_packet_rescale_ts(&p, frameTime, stream->time_base);
        const int result = passOn(&p);
        p.data = nullptr;
        p.size = 0;
        if (result < 0 || failed())
            return {SinkFailure::Write};
        ++handed;
        return {};
    }

    // A frame to the writer, or null: the fragment or cluster under way out. Both writers put
    // out only whole parts, each holding every frame given before the call that wrote it.
    int passOn(AVPacket* p)
    {
        const std::int64_t before = avio_tell(context->pb);
        const int result = av_write_frame(context, p);
        if (const std::int64_t after = avio_tell(context->pb); after != before)
            io->wholeUpTo(after, handed);
        return result;
    }

    // The last part and the trailer; a failure cuts the file back to its last whole part.
    SinkResult close(std::optional<std::size_t>& kept)
    {
        if (const SinkResult header = writeHeader(); !header.ok())
            return header;
        if (!headerWritten)
            return {};  // the failure that kept the header out is told already
        headerWritten = false;
        if (!failed()) {
            (void)passOn(nullptr);
            avio_flush(context->pb);
            if (!failed() && av_write_trailer(context) >= 0)
                avio_flush(context->pb);
        }
        if (!failed())
            return {};
        const DescriptorIo::Whole whole = io->lastWhole();
        kept = static_cast<std::size_t>(whole.frames);
        (void)!::ftruncate(file.get(), whole.end);
        return {SinkFailure::Write};
    }

    SinkResult writeAudio(const audio::AudioPacket& sound)
    {
        if (const SinkResult header = writeHeader(); !header.ok())
            return header;
        if (failed())
            return {SinkFailure::Write};
        AVPacket& p = *packet;
        p.data = const_cast<std::uint8_t*>(sound.data.data());
        p.size = static_cast<int>(sound.data.size());
        p.stream_index = audio->index;
        p.pts = sound.pts;
        p.dts = sound.pts;
        p.duration = sound.duration;
        p.flags = AV_PKT_FLAG_KEY;
        // FLAC's final header (its length and checksum), which Matroska puts back at the start.
        if (!sound.newConfiguration.empty()) {
            std::uint8_t* extra = av_packet_new_side_data(&p, AV_PKT_DATA_NEW_EXTRADATA, sound.newConfiguration.size());
            if (extra)
                std::memcpy(extra, sound.newConfiguration.data(), sound.newConfiguration.size());
        }
        av_packet_rescale_ts(&p, sampleTime, audio->time_base);
        const int result = passOn(&p);
        av_packet_free_side_data(&p);
        p.data = nullptr;
        p.size = 0;
        return result < 0 || failed() ? SinkResult{SinkFailure::Write} : SinkResult{};
    }

    SinkResult writeHeader()
    {
        if (!headerPending)
            return {};
        headerPending = false;
        AVDictionary* options = writerOptions(container, audio != nullptr);
        const int result = avformat_write_header(context, &options);
        av_dict_free(&options);
        if (result < 0)
            return result == AVERROR(EINVAL) ? SinkResult{SinkFailure::Format} : SinkResult{SinkFailure::Write};
        headerWritten = true;
        avio_flush(context->pb);
        if (failed())
            return {SinkFailure::Write};
        io->wholeUpTo(avio_tell(context->pb), 0);
        return {};
    }
};

AvFormatSink::AvFormatSink(video::Container container, const std::atomic<bool>& stop)
    : m_container(container), m_stop(stop), m_muxer(std::make_unique<Muxer>())
{
    m_muxer->container = container;
}

AvFormatSink::~AvFormatSink() { (void)finish(); }

SinkResult AvFormatSink::open(const std::string& path)
{
    static std::once_flag quiet;  // failures are told in our own words
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    Muxer& muxer = *m_muxer;
    const char* name = m_container == video::Container::Mp4 ? "mp4" : "matroska";
    if (avformat_alloc_output_context2(&muxer.context, nullptr, name, path.c_str()) < 0 || !muxer.packet)
        return {SinkFailure::Memory};
    // Read as well: an MP4 is copied from it once finished.
    muxer.file = platform::Descriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    struct stat info {};
    if (!muxer.file.valid() || ::fstat(muxer.file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {SinkFailure::Open};
    muxer.io = std::make_unique<DescriptorIo>(muxer.file.get(), DescriptorIo::Mode::Write);
    if (!muxer.io->context())
        return {SinkFailure::Memory};
    muxer.context->pb = muxer.io->context();
    muxer.context->flags |= AVFMT_FLAG_CUSTOM_IO;
    return {};
}

SinkResult AvFormatSink::addStream(const video::SinkStream& stream)
{
    AVFormatContext& context = *m_muxer->context;
    AVStream* st = avformat_new_stream(&context, nullptr);
    if (!st)
        return {SinkFailure::Memory};
    m_muxer->stream = st;
    m_muxer->frameTime = AVRational{static_cast<int>(stream.scale), static_cast<int>(stream.rate)};
    st->time_base = m_muxer->frameTime;
    st->avg_frame_rate = AVRational{static_cast<int>(stream.rate), static_cast<int>(stream.scale)};
    st->r_frame_rate = st->avg_frame_rate;
    describeCodec(*st->codecpar, stream);
    if (!stream.configuration.empty()) {
        const std::size_t size = stream.configuration.size();
        st->codecpar->extradata = static_cast<std::uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!st->codecpar->extradata)
            return {SinkFailure::Memory};
        std::memcpy(st->codecpar->extradata, stream.configuration.data(), size);
        st->codecpar->extradata_size = static_cast<int>(size);
    }
    // With a soundtrack to come the header goes out with the first packet, once both streams are there.
    m_muxer->headerPending = true;
    return stream.audioFollows ? SinkResult{} : m_muxer->writeHeader();
}

SinkResult AvFormatSink::addAudio(const audio::AudioStream& stream)
{
    AVStream* st = avformat_new_stream(m_muxer->context, nullptr);
    if (!st)
        return {SinkFailure::Memory};
    m_muxer->audio = st;
    m_muxer->sampleTime = AVRational{1, stream.sampleRate};
    st->time_base = m_muxer->sampleTime;
    AVCodecParameters& par = *st->codecpar;
    par.codec_type = AVMEDIA_TYPE_AUDIO;
    par.codec_id = stream.codec == audio::AudioCodec::Aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_FLAC;
    if (stream.codec == audio::AudioCodec::Pcm16)
        return {SinkFailure::Unsupported};
    par.sample_rate = stream.sampleRate;
    av_channel_layout_default(&par.ch_layout, stream.channels);
    par.frame_size = stream.frameSize;
    par.initial_padding = stream.initialPadding;
    par.bit_rate = stream.bitRate;
    par.bits_per_raw_sample = stream.codec == audio::AudioCodec::Flac ? stream.bitsPerSample : 0;
    par.format = stream.codec == audio::AudioCodec::Aac ? AV_SAMPLE_FMT_FLTP
                 : stream.bitsPerSample > 16            ? AV_SAMPLE_FMT_S32
                                                        : AV_SAMPLE_FMT_S16;
    if (!stream.configuration.empty()) {
        const std::size_t size = stream.configuration.size();
        par.extradata = static_cast<std::uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!par.extradata)
            return {SinkFailure::Memory};
        std::memcpy(par.extradata, stream.configuration.data(), size);
        par.extradata_size = static_cast<int>(size);
    }
    return {};
}

SinkResult AvFormatSink::writeAudio(std::span<const audio::AudioPacket> packets)
{
    if (!m_muxer->audio)
        return {SinkFailure::Unsupported};
    for (const audio::AudioPacket& packet : packets)
        if (const SinkResult result = m_muxer->writeAudio(packet); !result.ok())
            return result;
    return {};
}

SinkResult AvFormatSink::writeHeld(std::int64_t start, const video::SinkFrame& frame, std::int64_t frames)
{
    if (!heldInMemory(frame))
        return {SinkFailure::Unsupported};
    return m_muxer->write(frame.bytes, start, start, frame.key, std::max<std::int64_t>(frames, 1));
}

SinkResult AvFormatSink::changeFormat(std::int64_t, std::span<const std::uint8_t>)
{
    // Each compressed frame carries its own colours: nothing to change in the stream.
    return {};
}

SinkResult AvFormatSink::writeFrames(std::int64_t first, std::span<const video::SinkFrame> frames)
{
    SinkResult result;
    for (const video::SinkFrame& frame : frames) {
        if (!heldInMemory(frame)) {
            result.failure = SinkFailure::Unsupported;
            break;
        }
        const std::int64_t time = first + static_cast<std::int64_t>(result.written);
        result.failure = m_muxer->write(frame.bytes, time, time, frame.key).failure;
        if (!result.ok())
            break;
        ++result.written;
    }
    return result;
}

SinkResult AvFormatSink::writePacket(const video::SinkPacket& packet)
{
    return m_muxer->write(packet.data, packet.pts, packet.dts, packet.key, packet.duration);
}

SinkResult AvFormatSink::finish()
{
    Muxer& muxer = *m_muxer;
    if (!muxer.context)
        return {};
    const SinkResult result = muxer.close(m_kept);
    const int frames = m_kept ? static_cast<int>(*m_kept) : muxer.handed;
    const std::string path = muxer.context->url ? muxer.context->url : "";
    muxer.release();
    // The fragmented file plays as it is; where it can, it gets its index first as well.
    if (result.ok() && frames > 0 && m_container == video::Container::Mp4 && !m_stop.load())
        m_renewed = moveIndexFirst(muxer.file.get(), path, m_stop);
    muxer.file.reset();
    return result;
}

}  // namespace kelvora::mux

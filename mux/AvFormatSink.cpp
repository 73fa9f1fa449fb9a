#include "mux/AvFormatSink.h"

#include "mux/DescriptorIo.h"
#include "mux/Faststart.h"
#include "platform/filesystem/Descriptor.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <utility>

namespace kelvora::mux {

using video::AVISAMPLE;
using video::HRESULT;
using video::LONG;

namespace {

struct FreePacket {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// The options of the container's writer: Matroska clusters of at most a second, so a kill
// loses little; MP4 fragmented with its (empty) index first.
AVDictionary* writerOptions(video::Container container)
{
    AVDictionary* options = nullptr;
    if (container == video::Container::Mp4) {
        av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
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

    HRESULT write(std::span<const std::uint8_t> data, std::int64_t pts, std::int64_t dts, bool key)
    {
        if (failed())
            return avifile::AVIERR_FILEWRITE;
        AVPacket& p = *packet;
        // Not reference counted: libavformat writes it at once and keeps nothing of it.
        p.data = const_cast<std::uint8_t*>(data.data());
        p.size = static_cast<int>(data.size());
        p.stream_index = 0;
        p.pts = pts;
        p.dts = dts;
        p.duration = 1;
        p.flags = key ? AV_PKT_FLAG_KEY : 0;
        av_packet_rescale_ts(&p, frameTime, stream->time_base);
        const int result = passOn(&p);
        p.data = nullptr;
        p.size = 0;
        if (result < 0 || failed())
            return avifile::AVIERR_FILEWRITE;
        ++handed;
        return 0;
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
    HRESULT close(std::optional<std::size_t>& kept)
    {
        if (!headerWritten)
            return 0;  // the failure that kept the header out is told already
        headerWritten = false;
        if (!failed()) {
            (void)passOn(nullptr);
            avio_flush(context->pb);
            if (!failed() && av_write_trailer(context) >= 0)
                avio_flush(context->pb);
        }
        if (!failed())
            return 0;
        const DescriptorIo::Whole whole = io->lastWhole();
        kept = static_cast<std::size_t>(whole.frames);
        (void)!::ftruncate(file.get(), whole.end);
        return avifile::AVIERR_FILEWRITE;
    }
};

AvFormatSink::AvFormatSink(video::Container container, const std::atomic<bool>& stop)
    : m_container(container), m_stop(stop), m_muxer(std::make_unique<Muxer>())
{
}

AvFormatSink::~AvFormatSink() { (void)finish(); }

HRESULT AvFormatSink::open(const std::string& path)
{
    static std::once_flag quiet;  // failures are told in our own words
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    Muxer& muxer = *m_muxer;
    const char* name = m_container == video::Container::Mp4 ? "mp4" : "matroska";
    if (avformat_alloc_output_context2(&muxer.context, nullptr, name, path.c_str()) < 0 || !muxer.packet)
        return avifile::AVIERR_MEMORY;
    // Read as well: an MP4 is copied from it once finished.
    muxer.file = platform::Descriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    struct stat info {};
    if (!muxer.file.valid() || ::fstat(muxer.file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return avifile::AVIERR_FILEOPEN;
    muxer.io = std::make_unique<DescriptorIo>(muxer.file.get(), DescriptorIo::Mode::Write);
    if (!muxer.io->context())
        return avifile::AVIERR_MEMORY;
    muxer.context->pb = muxer.io->context();
    muxer.context->flags |= AVFMT_FLAG_CUSTOM_IO;
    return 0;
}

HRESULT AvFormatSink::addStream(const video::SinkStream& stream)
{
    AVFormatContext& context = *m_muxer->context;
    AVStream* st = avformat_new_stream(&context, nullptr);
    if (!st)
        return avifile::AVIERR_MEMORY;
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
            return avifile::AVIERR_MEMORY;
        std::memcpy(st->codecpar->extradata, stream.configuration.data(), size);
        st->codecpar->extradata_size = static_cast<int>(size);
    }
    AVDictionary* options = writerOptions(m_container);
    const int result = avformat_write_header(&context, &options);
    av_dict_free(&options);
    if (result < 0)
        return result == AVERROR(EINVAL) ? avifile::AVIERR_BADFORMAT : avifile::AVIERR_FILEWRITE;
    m_muxer->headerWritten = true;
    avio_flush(context.pb);
    if (m_muxer->failed())
        return avifile::AVIERR_FILEWRITE;
    m_muxer->io->wholeUpTo(avio_tell(context.pb), 0);
    return 0;
}

HRESULT AvFormatSink::changeFormat(LONG, std::span<const std::uint8_t>)
{
    // Each compressed frame carries its own colours: nothing to change in the stream.
    return 0;
}

HRESULT AvFormatSink::writeFrames(LONG start, std::span<const AVISAMPLE> samples, LONG* written)
{
    LONG done = 0;
    HRESULT result = 0;
    for (const AVISAMPLE& sample : samples) {
        if (sample.inFile.file || !sample.lpBuffer) {
            result = avifile::AVIERR_UNSUPPORTED;  // frames as their files store them go to AVI only
            break;
        }
        const std::int64_t time = std::int64_t{start} + done;
        result = m_muxer->write(
            {static_cast<const std::uint8_t*>(sample.lpBuffer), static_cast<std::size_t>(sample.cbBuffer)}, time, time,
            true);
        if (result != 0)
            break;
        ++done;
    }
    if (written)
        *written = done;
    return result;
}

HRESULT AvFormatSink::writePacket(const video::SinkPacket& packet)
{
    return m_muxer->write(packet.data, packet.pts, packet.dts, packet.key);
}

HRESULT AvFormatSink::finish()
{
    Muxer& muxer = *m_muxer;
    if (!muxer.context)
        return 0;
    const HRESULT result = muxer.close(m_kept);
    const int frames = m_kept ? static_cast<int>(*m_kept) : muxer.handed;
    const std::string path = muxer.context->url ? muxer.context->url : "";
    muxer.release();
    // The fragmented file plays as it is; where it can, it gets its index first as well.
    if (result == 0 && frames > 0 && m_container == video::Container::Mp4 && !m_stop.load())
        m_renewed = moveIndexFirst(muxer.file.get(), path, m_stop);
    muxer.file.reset();
    return result;
}

}  // namespace kelvora::mux

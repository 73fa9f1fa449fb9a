#include "mux/PacketTimes.h"

#include <algorithm>

namespace kelvora::mux {

PacketTimes::PacketTimes(const AVFormatContext& output)
    : m_held(output.nb_streams, nullptr), m_firstDts(output.nb_streams, AV_NOPTS_VALUE),
      m_firstPts(output.nb_streams, AV_NOPTS_VALUE)
{
}

PacketTimes::~PacketTimes()
{
    for (AVPacket*& packet : m_held)
        av_packet_free(&packet);
}

int PacketTimes::write(AVFormatContext& output, AVPacket& packet)
{
    const auto stream = static_cast<std::size_t>(packet.stream_index);
    if (stream >= m_held.size())
        return AVERROR(EINVAL);
    AVPacket* next = av_packet_alloc();
    if (!next)
        return AVERROR(ENOMEM);
    av_packet_move_ref(next, &packet);
    if (m_firstDts[stream] == AV_NOPTS_VALUE)
        m_firstDts[stream] = next->dts;
    if (next->pts != AV_NOPTS_VALUE && (m_firstPts[stream] == AV_NOPTS_VALUE || next->pts < m_firstPts[stream]))
        m_firstPts[stream] = next->pts;
    AVPacket* held = m_held[stream];
    m_held[stream] = next;
    if (!held)
        return 0;
    if (held->dts != AV_NOPTS_VALUE && next->dts != AV_NOPTS_VALUE && next->dts > held->dts)
        held->duration = next->dts - held->dts;
    const int written = av_interleaved_write_frame(&output, held);
    av_packet_free(&held);
    return written;
}

int PacketTimes::flush(AVFormatContext& output, const std::vector<std::int64_t>& ends)
{
    int result = 0;
    for (std::size_t i = 0; i < m_held.size(); ++i) {
        AVPacket*& held = m_held[i];
        if (!held)
            continue;
        // The stream's decoding times span its length plus the reordering delay before it.
        const std::int64_t delay = m_firstDts[i] != AV_NOPTS_VALUE && m_firstPts[i] != AV_NOPTS_VALUE
                                       ? std::max<std::int64_t>(m_firstPts[i] - m_firstDts[i], 0)
                                       : 0;
        if (i < ends.size() && ends[i] != AV_NOPTS_VALUE && held->dts != AV_NOPTS_VALUE && ends[i] - delay > held->dts)
            held->duration = ends[i] - delay - held->dts;
        const int written = av_interleaved_write_frame(&output, held);
        av_packet_free(&held);
        if (written < 0 && result >= 0)
            result = written;
    }
    return result;
}

std::vector<std::int64_t> streamEnds(const AVFormatContext& input, const AVFormatContext& output)
{
    std::vector<std::int64_t> ends(output.nb_streams, AV_NOPTS_VALUE);
    for (unsigned i = 0; i < input.nb_streams && i < output.nb_streams; ++i) {
        const AVStream& in = *input.streams[i];
        if (in.duration == AV_NOPTS_VALUE)
            continue;
        // The copy's times start where the remux puts them: a video's first frame at 0.
        const std::int64_t start =
            in.codecpar->codec_type == AVMEDIA_TYPE_VIDEO && in.start_time != AV_NOPTS_VALUE ? 0 : in.start_time;
        const std::int64_t end = (start == AV_NOPTS_VALUE ? 0 : start) + in.duration;
        ends[i] = av_rescale_q(end, in.time_base, output.streams[i]->time_base);
    }
    return ends;
}

}  // namespace kelvora::mux

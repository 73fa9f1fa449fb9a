#include "mux/Faststart.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "platform/filesystem/PendingOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace kelvora::mux {

namespace {

struct CloseInput {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct FreeOutput {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct FreePacket {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// Copies every packet of `input` into `url` as an MP4 with its index first.
bool remux(AVFormatContext& input, const std::string& url)
{
    AVFormatContext* made = nullptr;
    if (avformat_alloc_output_context2(&made, nullptr, "mp4", url.c_str()) < 0)
        return false;
    const std::unique_ptr<AVFormatContext, FreeOutput> output(made);
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        AVStream* in = input.streams[i];
        AVStream* out = avformat_new_stream(output.get(), nullptr);
        if (!out || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
            return false;
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
        out->avg_frame_rate = in->avg_frame_rate;
        out->r_frame_rate = in->r_frame_rate;
    }
    if (avio_open(&output->pb, url.c_str(), AVIO_FLAG_WRITE) < 0)
        return false;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "faststart", 0);
    const int header = avformat_write_header(output.get(), &options);
    av_dict_free(&options);
    if (header < 0)
        return false;
    const std::unique_ptr<AVPacket, FreePacket> packet(av_packet_alloc());
    if (!packet)
        return false;
    while (av_read_frame(&input, packet.get()) >= 0) {
        const AVStream* in = input.streams[packet->stream_index];
        // The first frame is shown at 0, as the fragments' frames were counted; the frames the
        // codec reorders are decoded before it (the index's edit list says so).
        const std::int64_t start = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts -= start;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts -= start;
        av_packet_rescale_ts(packet.get(), in->time_base, output->streams[packet->stream_index]->time_base);
        packet->pos = -1;
        const int written = av_interleaved_write_frame(output.get(), packet.get());
        av_packet_unref(packet.get());
        if (written < 0)
            return false;
    }
    return av_write_trailer(output.get()) >= 0 && avio_closep(&output->pb) >= 0;
}

}  // namespace

bool moveIndexFirst(const std::string& path)
{
    // Unnamed until finished, with the old file's owner and rights: a kill leaves nothing behind.
    platform::PendingOutput renewed(path, platform::Placement::Unnamed);
    if (!renewed.created())
        return false;
    const std::string url = renewed.path().string();
    {
        AVFormatContext* opened = nullptr;
        if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
            return false;
        const std::unique_ptr<AVFormatContext, CloseInput> input(opened);
        if (avformat_find_stream_info(input.get(), nullptr) < 0 || !remux(*input, url))
            return false;
    }
    const platform::Descriptor written(::open(url.c_str(), O_RDONLY | O_CLOEXEC));
    if (!written.valid() || ::fsync(written.get()) != 0)
        return false;
    // The old file's name in one step.
    return renewed.commit(platform::Replace::Always);
}

}  // namespace kelvora::mux

#include "mux/Faststart.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "mux/DescriptorIo.h"
#include "mux/PacketTimes.h"
#include "platform/filesystem/PendingOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
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

platform::FileIdentity identityOf(const struct stat& info)
{
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// Copies every packet of `input` into `url` as an MP4 with its index first; false as soon as
// `stop` is set.
bool remux(AVFormatContext& input, const std::string& url, const std::atomic<bool>& stop)
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
    PacketTimes timed(*output);
    while (av_read_frame(&input, packet.get()) >= 0) {
        if (stop.load()) {
            av_packet_unref(packet.get());
            return false;
        }
        const AVStream* in = input.streams[packet->stream_index];
        // The first frame is shown at 0, as the fragments' frames were counted; the frames the
        // codec reorders are decoded before it (the index's edit list says so). Audio keeps its
        // encoder's priming before 0, which the index's edit list skips.
        const bool video = in->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        const std::int64_t start = video && in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts -= start;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts -= start;
        av_packet_rescale_ts(packet.get(), in->time_base, output->streams[packet->stream_index]->time_base);
        packet->pos = -1;
        const int written = timed.write(*output, *packet);
        av_packet_unref(packet.get());
        if (written < 0)
            return false;
    }
    return timed.flush(*output, streamEnds(input, *output)) >= 0 && av_write_trailer(output.get()) >= 0 &&
           avio_closep(&output->pb) >= 0;
}

}  // namespace

platform::FileIdentity moveIndexFirst(int file, const std::string& path, const std::atomic<bool>& stop)
{
    struct stat written {};
    struct stat named {};
    if (::fstat(file, &written) != 0 || ::lstat(path.c_str(), &named) != 0 || identityOf(named) != identityOf(written))
        return {};  // the name leads elsewhere now: nothing of ours to renew there
    const platform::FileIdentity fragmented = identityOf(written);
    // Unnamed until finished, with the old file's owner and rights: a kill leaves nothing behind.
    platform::PendingOutput renewed(path, platform::Placement::Unnamed);
    if (!renewed.created())
        return {};
    const std::string url = renewed.path().string();
    {
        DescriptorIo io(file, DescriptorIo::Mode::Read);
        std::unique_ptr<AVFormatContext, CloseInput> input(avformat_alloc_context());
        if (!io.context() || !input)
            return {};
        input->pb = io.context();
        input->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVFormatContext* opened = input.get();
        if (avformat_open_input(&opened, nullptr, nullptr, nullptr) < 0) {
            (void)input.release();  // freed by the failed open
            return {};
        }
        if (avformat_find_stream_info(input.get(), nullptr) < 0 || !remux(*input, url, stop))
            return {};
    }
    const platform::Descriptor copy(::open(url.c_str(), O_RDONLY | O_CLOEXEC));
    if (!copy.valid() || ::fsync(copy.get()) != 0 || stop.load())
        return {};
    // The old file's name in one step, and only in place of the old file.
    if (!renewed.commitOver(fragmented))
        return {};
    return renewed.identity();
}

}  // namespace kelvora::mux

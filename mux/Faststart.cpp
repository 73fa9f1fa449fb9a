#include "mux/Faststart.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

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

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const { return m_fd; }

private:
    int m_fd;
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
    struct stat old {};
    if (::stat(path.c_str(), &old) != 0)
        return false;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    // Unnamed until finished: a kill leaves nothing behind.
    const Descriptor file(::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (file.get() < 0)
        return false;
    if (::fchown(file.get(), old.st_uid, old.st_gid) != 0)
        (void)::fchown(file.get(), static_cast<uid_t>(-1), old.st_gid);
    if (::fchmod(file.get(), old.st_mode & 07777) != 0)
        return false;
    const std::string url = "/proc/self/fd/" + std::to_string(file.get());
    {
        AVFormatContext* opened = nullptr;
        if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
            return false;
        const std::unique_ptr<AVFormatContext, CloseInput> input(opened);
        if (avformat_find_stream_info(input.get(), nullptr) < 0 || !remux(*input, url))
            return false;
    }
    if (::fsync(file.get()) != 0)
        return false;
    // A name of its own beside the old file, then the old file's name in one step.
    const std::string named = path + ".moov";
    if (::linkat(AT_FDCWD, url.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return false;
    if (::rename(named.c_str(), path.c_str()) != 0) {
        (void)::unlink(named.c_str());
        return false;
    }
    return true;
}

}  // namespace kelvora::mux

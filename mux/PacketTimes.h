#pragma once

// Packets copied from a fragmented MP4 into a classic one with the durations they had. The
// fragments' reader gives each packet the stream's frame duration, whatever the fragment says,
// so a slideshow's pictures (each a packet lasting seconds) would end a frame after they start
// in the copy: each packet is held until the next of its stream comes, and takes the time to
// it; the last of a stream lasts to the stream's end.

extern "C" {
#include <libavformat/avformat.h>
}

#include <memory>
#include <vector>

namespace kelvora::mux {

class PacketTimes {
public:
    explicit PacketTimes(const AVFormatContext& output);
    ~PacketTimes();
    PacketTimes(const PacketTimes&) = delete;
    PacketTimes& operator=(const PacketTimes&) = delete;

    // `packet` (its times in its output stream's base) is held; the one it follows is written
    // with its duration to it. libavformat's result; the packet is taken either way.
    [[nodiscard]] int write(AVFormatContext& output, AVPacket& packet);
    // The packets still held, each lasting to its stream's end: `ends`, in each output stream's
    // base (AV_NOPTS_VALUE where unknown, the duration then kept).
    [[nodiscard]] int flush(AVFormatContext& output, const std::vector<std::int64_t>& ends);

private:
    std::vector<AVPacket*> m_held;
    // Each stream's first decoding time and earliest showing time: the codec's reordering
    // delay between them, which the copy's edit list takes off its decoding times' span.
    std::vector<std::int64_t> m_firstDts;
    std::vector<std::int64_t> m_firstPts;
};

// Each stream's end in its output stream's base: its start and duration in `input`.
[[nodiscard]] std::vector<std::int64_t> streamEnds(const AVFormatContext& input, const AVFormatContext& output);

}  // namespace kelvora::mux

#pragma once

// The H.264 encoder of a save to share: libx264 through libavcodec, High profile, 4:2:0,
// BT.709 limited range, tagged so in the stream. One encoder takes the frames in order and
// spreads its work over its own frame threads; frames come out later than they go in, and
// in decoding order, so each packet carries its own times.

#include "codec/Yuv420.h"
#include "platform/types/Result.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvora::codec {

struct EncodedPacket {
    std::vector<std::uint8_t> data;
    std::int64_t pts = 0;  // in frames
    std::int64_t dts = 0;
    bool key = false;
};

class H264Encoder {
public:
    // An encoder for pictures of `size` at rate / scale frames a second, quality `crf`
    // (libx264's constant rate factor, 1 to 51; lower is better); the reason when libavcodec
    // has no libx264 or refuses. Without `reorder`, no B-frames: every
    // frame comes out in order, as frames of uneven durations (a slideshow's) need to.
    [[nodiscard]] static platform::Result<std::unique_ptr<H264Encoder>> open(EvenSize size, std::uint32_t rate,
                                                                             std::uint32_t scale, int crf,
                                                                             bool reorder = true);
    ~H264Encoder();
    H264Encoder(const H264Encoder&) = delete;
    H264Encoder& operator=(const H264Encoder&) = delete;

    // The stream's parameter sets (SPS, PPS) as MP4 keeps them.
    [[nodiscard]] std::span<const std::uint8_t> configuration() const;
    // How many frames the decoder holds back to put them in order.
    [[nodiscard]] int reorderDepth() const;

    // Sends picture `frame` (planes as Yuv420 gives them); appends the packets now ready.
    platform::Status encode(std::span<const std::uint8_t> planes, std::int64_t frame,
                            std::vector<EncodedPacket>& packets);
    // No more pictures: appends every packet still held.
    platform::Status flush(std::vector<EncodedPacket>& packets);

private:
    struct Context;
    explicit H264Encoder(std::unique_ptr<Context> context);
    platform::Status drain(std::vector<EncodedPacket>& packets);

    std::unique_ptr<Context> m_context;
};

}  // namespace kelvora::codec

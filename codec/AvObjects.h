#pragma once

// libavcodec's objects as the encoders and decoders hold them: owned, freed with the
// library's own functions, made together or not at all. Private to codec/.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

#include <memory>
#include <string>

namespace kelvora::codec::detail {

struct FreeCodecContext {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FreeFrame {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct FreePacket {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// A codec's context with the frame and the packet that go through it.
struct AvObjects {
    std::unique_ptr<AVCodecContext, FreeCodecContext> codec;
    std::unique_ptr<AVFrame, FreeFrame> frame;
    std::unique_ptr<AVPacket, FreePacket> packet;

    // All three for `codec`; false (and nothing held) when memory runs out.
    [[nodiscard]] bool allocate(const AVCodec* codecToUse)
    {
        codec.reset(avcodec_alloc_context3(codecToUse));
        frame.reset(av_frame_alloc());
        packet.reset(av_packet_alloc());
        if (codec && frame && packet)
            return true;
        codec.reset();
        frame.reset();
        packet.reset();
        return false;
    }
};

// libavcodec's text for an error code.
inline std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace kelvora::codec::detail

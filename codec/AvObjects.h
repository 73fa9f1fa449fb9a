#pragma once

// libavcodec's objects as the encoders and decoders hold them: owned, freed with the
// library's own functions, made together or not at all. The codecs' and the checks' decoders
// hold them alike.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
}

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

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

// Decodes `data` as one key frame into `frame`, copied first into `input` with the zeroed tail
// decoders may read into; a colour table (AVPALETTE_SIZE bytes, or null) travels with it as a
// demuxer hands a change on. libavcodec's result; after a failure the decoder is flushed, since
// a decoder that failed part-way may hold state of the frame and every frame stands alone.
// `data` holds fewer than INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE bytes.
[[nodiscard]] inline int decodeKeyFrame(AvObjects& x, std::vector<std::uint8_t>& input,
                                        std::span<const std::uint8_t> data, const void* palette)
{
    input.assign(data.begin(), data.end());
    input.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    AVPacket& in = *x.packet;
    in.data = input.data();
    in.size = static_cast<int>(data.size());
    in.flags = AV_PKT_FLAG_KEY;
    int result = 0;
    if (palette) {
        if (std::uint8_t* entries = av_packet_new_side_data(&in, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE))
            std::memcpy(entries, palette, AVPALETTE_SIZE);
        else
            result = AVERROR(ENOMEM);
    }
    if (result >= 0)
        result = avcodec_send_packet(x.codec.get(), &in);
    if (result >= 0)
        result = avcodec_receive_frame(x.codec.get(), x.frame.get());
    av_packet_free_side_data(&in);
    in.data = nullptr;
    in.size = 0;
    if (result < 0)
        avcodec_flush_buffers(x.codec.get());
    return result;
}

// The picture as ffmpeg's raw video packs it: each plane's rows one after the other with no
// padding, then for a palette picture its 256 entries. Empty when the format has no such size.
inline void packedPicture(const AVFrame& frame, std::vector<std::uint8_t>& out)
{
    out.clear();
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const int size = av_image_get_buffer_size(format, frame.width, frame.height, 1);
    if (size <= 0)
        return;
    out.resize(static_cast<std::size_t>(size));
    if (av_image_copy_to_buffer(out.data(), size, frame.data, frame.linesize, format, frame.width, frame.height, 1) < 0)
        out.clear();
}

// A decoder of a stream whose header gives its pictures' sides: a picture larger than that
// (beyond a margin for codecs that pad) is no frame of it, refused before anything is allocated.
inline void expectPictureSides(AVCodecContext& decoder, int width, int height)
{
    decoder.width = width;
    decoder.height = height;
    decoder.max_pixels = (std::int64_t{width} + 128) * (std::int64_t{height} + 128);
}

// libavcodec's text for an error code.
inline std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace kelvora::codec::detail

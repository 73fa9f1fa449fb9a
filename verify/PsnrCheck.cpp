#include "verify/PsnrCheck.h"

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "codec/PictureDecoder.h"
#include "codec/AvObjects.h"
#include "codec/CodecPixels.h"
#include "platform/msgbox/MessageBox.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <cmath>
#include <cstdio>
#include <memory>

namespace kelvora::verify {

namespace {

// A frame that no longer loads has told the user why through its bitmap object: here it is
// just a frame that does not match.
class SilentMessages final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string&, int, const std::string&) override {}
};

struct CloseInput {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using codec::detail::FreeFrame;
using codec::detail::FreePacket;
using FreeDecoder = codec::detail::FreeCodecContext;

// The decoded picture's colour at (x, y) as 8-bit RGB, for the layouts our videos decode to.
struct PictureColours {
    const AVFrame& frame;

    void at(int x, int y, double rgb[3]) const
    {
        const auto format = static_cast<AVPixelFormat>(frame.format);
        if (format == AV_PIX_FMT_YUV420P) {
            // BT.709 limited range, the chroma of the 2 x 2 block.
            const double luma = (frame.data[0][y * frame.linesize[0] + x] - 16) / 219.0;
            const double cb = (frame.data[1][(y / 2) * frame.linesize[1] + x / 2] - 128) / 224.0;
            const double cr = (frame.data[2][(y / 2) * frame.linesize[2] + x / 2] - 128) / 224.0;
            const double red = luma + 1.5748 * cr;
            const double blue = luma + 1.8556 * cb;
            const double green = (luma - 0.2126 * red - 0.0722 * blue) / 0.7152;
            rgb[0] = std::clamp(std::round(red * 255), 0.0, 255.0);
            rgb[1] = std::clamp(std::round(green * 255), 0.0, 255.0);
            rgb[2] = std::clamp(std::round(blue * 255), 0.0, 255.0);
            return;
        }
        // Packed blue, green, red, unused (FFV1's RGB).
        const std::uint8_t* p = frame.data[0] + y * frame.linesize[0] + x * 4;
        rgb[0] = p[2];
        rgb[1] = p[1];
        rgb[2] = p[0];
    }
};

// The PSNR of the decoded picture against the file's colours; infinite when equal. Negative
// when the file no longer makes a frame of this size.
// A PNG or JPEG file's colours as the save takes them for H.264 (8 bits, no alpha); false
// when the file is no picture file or no longer decodes.
bool pictureRgb(const std::string& path, std::vector<std::uint8_t>& rgb, int& width, int& rows)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(error || size > (1u << 30) ? 0 : size);
    if (bytes.empty() || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        return false;
    const auto type = bytes[0] == 0x89 ? bitmap::PictureType::Png : bitmap::PictureType::Jpeg;
    std::string reason;
    const auto decoder = codec::PictureDecoder::open(type, reason);
    if (!decoder || !decoder->decode(bytes, reason))
        return false;
    const AVFrame& picture = decoder->picture();
    width = picture.width;
    rows = picture.height;
    rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows) * 3);
    AVFrame target{};
    target.format = AV_PIX_FMT_RGB24;
    target.width = width;
    target.height = rows;
    target.data[0] = rgb.data();
    target.linesize[0] = width * 3;
    return codec::convertPicture(picture, codec::Codec::H264, target, reason);
}

double framePsnr(const AVFrame& frame, const std::string& path, std::vector<std::uint8_t>& rgb)
{
    SilentMessages silent;
    bitmap::cDIB dib(silent);
    int width = 0;
    int rows = 0;
    if (dib.CreateFromFile(path)) {
        const bitmap::FramePlan plan = bitmap::planFrame(dib);
        width = plan.shape.width;
        rows = plan.shape.height < 0 ? -plan.shape.height : plan.shape.height;
        if (!plan.accepted() || width > frame.width || rows > frame.height)
            return -1;
        rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows) * 3);
        codec::CodecPalette unused{};
        codec::toCodecPixels(plan.shape, dib.bits(), plan.palette, codec::PixelLayout::Rgb24, {rgb.data(), width * 3},
                             unused);
    } else if (!pictureRgb(path, rgb, width, rows) || width > frame.width || rows > frame.height) {
        return -1;
    }
    const PictureColours colours{frame};
    double squares = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x) {
            double shown[3];
            colours.at(x, y, shown);
            const std::uint8_t* want = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            for (int c = 0; c < 3; ++c)
                squares += (shown[c] - want[c]) * (shown[c] - want[c]);
        }
    if (squares == 0)
        return std::numeric_limits<double>::infinity();
    const double mse = squares / (3.0 * width * rows);
    return 10 * std::log10(255.0 * 255.0 / mse);
}

std::string decimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string out = text;
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

}  // namespace

PsnrOutcome measurePsnr(const std::string& video, const std::vector<std::string>& frames, double floorDb,
                        const std::atomic<bool>& cancel)
{
    PsnrOutcome out;
    out.listFrames = static_cast<int>(frames.size());
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, video.c_str(), nullptr, nullptr) < 0) {
        out.reason = "non si apre come video";
        return out;
    }
    const std::unique_ptr<AVFormatContext, CloseInput> input(opened);
    const AVCodec* codec = nullptr;
    const int stream = avformat_find_stream_info(input.get(), nullptr) < 0
                           ? -1
                           : av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream < 0 || !codec) {
        out.reason = "non contiene un video che si sappia decodificare";
        return out;
    }
    const std::unique_ptr<AVCodecContext, FreeDecoder> decoder(avcodec_alloc_context3(codec));
    const std::unique_ptr<AVFrame, FreeFrame> frame(av_frame_alloc());
    const std::unique_ptr<AVPacket, FreePacket> packet(av_packet_alloc());
    if (!decoder || !frame || !packet ||
        avcodec_parameters_to_context(decoder.get(), input->streams[stream]->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        out.reason = "non si decodifica";
        return out;
    }
    out.lossless = codec->id == AV_CODEC_ID_FFV1;
    std::vector<std::uint8_t> rgb;
    double sum = 0;
    int finite = 0;
    const auto takeFrames = [&]() {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            const int index = out.videoFrames++;
            const auto format = static_cast<AVPixelFormat>(frame->format);
            if (index >= out.listFrames)
                continue;  // extra: counted
            double db = (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_BGR0)
                            ? framePsnr(*frame, frames[static_cast<std::size_t>(index)], rgb)
                            : -1;
            if (db < 0) {
                db = 0;  // the file no longer makes a frame like it: as far off as can be
                if (out.unmatched++ == 0)
                    out.firstUnmatched = index;
            }
            if (out.lossless && std::isfinite(db))
                ++out.inexact;
            if (std::isfinite(db)) {
                sum += db;
                ++finite;
            }
            if (out.worst < 0 || db < out.worstDb) {
                out.worst = index;
                out.worstDb = db;
            }
            if (floorDb > 0 && db < floorDb)
                ++out.belowFloor;
        }
    };
    while (!cancel.load(std::memory_order_relaxed) && av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream)
            (void)avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        takeFrames();
    }
    out.cancelled = cancel.load(std::memory_order_relaxed);
    (void)avcodec_send_packet(decoder.get(), nullptr);
    takeFrames();
    out.meanDb = finite > 0 ? sum / finite : std::numeric_limits<double>::infinity();
    out.readable = true;
    return out;
}

std::string psnrText(const PsnrOutcome& outcome, const std::vector<std::string>& frames)
{
    if (outcome.worst < 0 || std::isinf(outcome.worstDb))
        return "ogni fotogramma uguale al suo file";
    return "PSNR minimo " + decimal(outcome.worstDb) + " dB (fotogramma " + std::to_string(outcome.worst + 1) + ", " +
           frames[static_cast<std::size_t>(outcome.worst)] + "), medio " + decimal(outcome.meanDb) + " dB";
}

}  // namespace kelvora::verify

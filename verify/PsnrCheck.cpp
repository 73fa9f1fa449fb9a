#include "verify/PsnrCheck.h"

#include "verify/ShownReference.h"

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "codec/AvLog.h"
#include "codec/PictureDecoder.h"
#include "codec/AvObjects.h"
#include "codec/CodecPixels.h"
#include "platform/msgbox/MessageBox.h"
#include "verify/ContainerClaims.h"
#include "verify/DisplayTurn.h"
#include "verify/FittedReference.h"
#include "verify/FrameColours.h"
#include "verify/PictureLimits.h"
#include "verify/PictureCompare.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

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

// A frame's PSNR against its file, and the PSNR a picture of the file's mean colour alone
// would have: a frame no nearer its file than that shows another picture.
struct FramePsnr {
    double db = -1;  // negative when the file no longer makes a frame of this size
    double flatDb = std::numeric_limits<double>::infinity();
};

double psnrOf(double squares, double samples)
{
    return squares <= 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255.0 * samples / squares);
}

FramePsnr psnrAgainst(std::span<const std::uint8_t> shown, int shownWidth, std::span<const std::uint8_t> rgb, int width,
                      int rows);

// `shown` is the decoded picture in RGB (`shownWidth` wide, rows top-down), as players show it.
FramePsnr framePsnr(std::span<const std::uint8_t> shown, int shownWidth, int shownHeight, const std::string& path,
                    std::vector<std::uint8_t>& rgb)
{
    SilentMessages silent;
    bitmap::cDIB dib(silent);
    int width = 0;
    int rows = 0;
    // The picture is the file's size, or one more where H.264 padded an odd side to even.
    const auto fits = [&] {
        const auto side = [](int file, int picture) {
            return picture == file || (picture == file + 1 && file % 2 == 1);
        };
        return side(width, shownWidth) && side(rows, shownHeight);
    };
    if (dib.CreateFromFile(path)) {
        const bitmap::FramePlan plan = bitmap::planFrame(dib);
        width = plan.shape.width;
        rows = plan.shape.height < 0 ? -plan.shape.height : plan.shape.height;
        if (!plan.accepted() || !fits())
            return {};
        rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows) * 3);
        codec::CodecPalette unused{};
        codec::toCodecPixels(plan.shape, dib.bits(), plan.palette, codec::PixelLayout::Rgb24, {rgb.data(), width * 3},
                             unused);
    } else {
        PictureRgb picture = pictureRgb(path);
        width = picture.width;
        rows = picture.height;
        if (!picture.picture || !picture.problem.empty() || !fits())
            return {};
        rgb = std::move(picture.rgb);
    }
    return psnrAgainst(shown, shownWidth, rgb, width, rows);
}

// `shown` (`shownWidth` wide) against `rgb`, `width` x `rows`, 3 bytes a pixel.
FramePsnr psnrAgainst(std::span<const std::uint8_t> shown, int shownWidth, std::span<const std::uint8_t> rgb, int width,
                      int rows)
{
    double squares = 0;
    double sums[3] = {0, 0, 0};
    double sumSquares[3] = {0, 0, 0};
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t* got = shown.data() + static_cast<std::size_t>(y) * shownWidth * 3;
        const std::uint8_t* want = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        for (int i = 0; i < width * 3; ++i) {
            const double d = static_cast<double>(got[i]) - want[i];
            squares += d * d;
            sums[i % 3] += want[i];
            sumSquares[i % 3] += static_cast<double>(want[i]) * want[i];
        }
    }
    const double pixels = static_cast<double>(width) * rows;
    double spread = 0;  // the squares of the file's colours about their means
    for (int c = 0; c < 3; ++c)
        spread += std::max(0.0, sumSquares[c] - sums[c] * sums[c] / pixels);
    return {psnrOf(squares, 3 * pixels), psnrOf(spread, 3 * pixels)};
}

// The times ffmpeg's command line gives the frames it hashes: its time base is the stream's
// rate as ffmpeg guesses it, and each frame's time (less the file's start) is taken to that
// base by its rule for variable rates: a frame that falls up to a frame before the next free
// time takes that time, one further behind is dropped, any other keeps its own, rounded.
class FfmpegClock {
public:
    FfmpegClock(AVFormatContext& input, AVStream& stream)
        : m_rate(av_guess_frame_rate(&input, &stream, nullptr)), m_base(stream.time_base)
    {
        if (m_rate.num <= 0 || m_rate.den <= 0)
            m_rate = {25, 1};
        if (input.start_time != AV_NOPTS_VALUE)
            m_offset = av_rescale_q(input.start_time, AV_TIME_BASE_Q, stream.time_base);
    }

    [[nodiscard]] AVRational rate() const { return m_rate; }

    // The frame's time in frames of the rate; nullopt for a frame ffmpeg drops.
    [[nodiscard]] std::optional<std::int64_t> place(std::int64_t timestamp)
    {
        double at = static_cast<double>(m_next);
        if (timestamp != AV_NOPTS_VALUE) {
            at = static_cast<double>(timestamp - m_offset) * m_base.num * m_rate.num /
                 (static_cast<double>(m_base.den) * m_rate.den);
            at += (at > 0 ? 1.0 : at < 0 ? -1.0 : 0.0) / (1 << 17);
        }
        const double late = at - static_cast<double>(m_next);
        const double delta = late + 1;
        if (late < 0 && delta > 0)
            at = static_cast<double>(m_next);
        if (delta <= -0.6)
            return std::nullopt;
        if (delta > 0.6)
            m_next = std::llrint(at);
        return m_next++;
    }

private:
    AVRational m_rate;
    AVRational m_base;
    std::int64_t m_offset = 0;
    std::int64_t m_next = 0;
};

// The frames of one video stream as libavcodec decodes them, each measured, hashed and counted.
class Measurer {
public:
    Measurer(const PsnrRequest& request, PsnrOutcome& out, AVCodecContext& decoder, AVFrame& frame,
             CheckObserver& observer, const std::atomic<bool>& cancel, FrameMd5* hashes, FfmpegClock& clock,
             AVRational streamSar, int quarters)
        : m_request(request), m_out(out), m_decoder(decoder), m_frame(frame), m_observer(observer), m_cancel(cancel),
          m_hashes(hashes), m_clock(clock), m_streamSar(streamSar), m_quarters(quarters), m_log(&decoder),
          m_turned(av_frame_alloc())
    {
        if (request.show)
            m_show.emplace(*request.show, 1);
        if (request.show && request.fitted)
            m_reference.emplace(request.frames, *request.fitted);
        m_out.pictures = request.show != nullptr;
    }

    // A slideshow's frames are placed by their times: `base` the stream's time base, `offset`
    // the file's start in it.
    void placeBy(AVRational base, std::int64_t offset)
    {
        m_base = base;
        m_offset = offset;
    }

    // The frame of the rate a time falls on.
    [[nodiscard]] std::int64_t slotOf(std::int64_t timestamp) const
    {
        const slideshow::Rate rate = m_request.show->rate();
        return av_rescale_q_rnd(timestamp - m_offset, m_base,
                                AVRational{static_cast<int>(rate.scale), static_cast<int>(rate.rate)},
                                static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    }

    // The video ends at `timestamp` (in the stream's base): a slideshow must end where its pictures do.
    void endAt(std::int64_t timestamp)
    {
        if (!m_show)
            return;
        m_show->end(timestamp == AV_NOPTS_VALUE ? m_lastSlot + 1 : std::max(slotOf(timestamp), m_lastSlot + 1));
        m_out.timing = m_show->differences();
    }

    void send(const AVPacket* packet)
    {
        (void)avcodec_send_packet(&m_decoder, packet);
        // The decoder logs a packet's damage while it takes the packet in.
        if (std::string logged = m_log.take(); !logged.empty() && m_pendingDamage.empty())
            m_pendingDamage = std::move(logged);
        // A decoder that held frames back may give several at once: each may be the last asked for.
        while (!m_cancel.load(std::memory_order_relaxed) && avcodec_receive_frame(&m_decoder, &m_frame) >= 0)
            take();
    }

    void finish()
    {
        m_out.meanDb = m_finite > 0 ? m_sum / m_finite : std::numeric_limits<double>::infinity();
        if (m_hashes && !m_hashes->headerWritten())
            m_hashes->header({static_cast<std::uint32_t>(m_clock.rate().num),
                              static_cast<std::uint32_t>(m_clock.rate().den),
                              m_quarters % 2 == 1 ? m_decoder.height : m_decoder.width,
                              m_quarters % 2 == 1 ? m_decoder.width : m_decoder.height, 0, 1});
        if (m_request.compare && m_out.videoFrames < m_out.listFrames)
            m_observer.frameChecked(m_out.listFrames - 1);
    }

private:
    void take()
    {
        const int index = m_out.videoFrames++;
        std::string damage = std::exchange(m_pendingDamage, std::string());
        if (damage.empty() && (m_frame.decode_error_flags != 0 || (m_frame.flags & AV_FRAME_FLAG_CORRUPT) != 0))
            damage = "il decodificatore ha nascosto un danno";
        if (!damage.empty() && m_out.damaged++ == 0) {
            m_out.firstDamaged = index;
            m_out.damageReason = std::move(damage);
        }
        m_shownFrame = &m_frame;
        if (m_quarters != 0) {
            // Turned as ffmpeg turns it for the display matrix, before it is hashed or compared.
            av_frame_unref(m_turned.get());
            m_shownFrame = m_turned && turnFrame(m_frame, m_quarters, *m_turned) ? m_turned.get() : nullptr;
        }
        if (m_hashes)
            hash();
        if (m_show) {
            takeShown();
            return;
        }
        if (m_request.compare && index < m_out.listFrames)
            measure(index);
        m_observer.frameChecked(std::min(index, std::max(m_out.listFrames - 1, 0)));
    }

    // A slideshow's frame: measured against the picture it should show at its time; the frames
    // of a fade against the mix the save drew where it fitted the pictures (it draws fades only then).
    void takeShown()
    {
        m_lastSlot = slotOf(m_frame.best_effort_timestamp);
        const std::optional<slideshow::Shown> shown = m_show->frame(m_lastSlot);
        if (!shown)
            return;
        if (m_request.compare && (shown->kind == slideshow::Shown::Kind::Held || m_reference))
            measure(static_cast<int>(shown->picture), &*shown);
        m_observer.frameChecked(static_cast<int>(shown->picture));
    }

    void hash()
    {
        const std::optional<std::int64_t> at = m_clock.place(m_frame.best_effort_timestamp);
        if (!at)
            return;
        if (!m_shownFrame) {
            if (m_out.reason.empty())
                m_out.reason = turnRefusal();
            return;
        }
        const AVFrame& shown = *m_shownFrame;
        if (!m_hashes->headerWritten()) {
            // ffmpeg takes the container's aspect ratio over the picture's where it gives one,
            // turned with the picture.
            AVRational sar = m_streamSar.num != 0 ? m_streamSar : m_frame.sample_aspect_ratio;
            if (m_quarters % 2 == 1 && sar.num > 0 && sar.den > 0)
                sar = av_inv_q(sar);
            m_hashes->header({static_cast<std::uint32_t>(m_clock.rate().num),
                              static_cast<std::uint32_t>(m_clock.rate().den), shown.width, shown.height,
                              sar.den > 0 ? sar.num : 0, sar.den > 0 ? sar.den : 1});
        }
        codec::detail::packedPicture(shown, m_picture);
        m_hashes->frame(*at, m_picture);
    }

    // The shown picture against the fitting of its file; a picture of another size is as far
    // off as can be.
    FramePsnr fittedPsnr(const FittedPicture& want, const photo::Framing& framing, int shownWidth, int shownHeight)
    {
        const photo::OutputSize size = framing.size;
        const auto side = [](int file, int picture) {
            return picture == file || (picture == file + 1 && file % 2 == 1);
        };
        if (!side(size.width, shownWidth) || !side(size.height, shownHeight))
            return {};
        return psnrAgainst(m_shown, shownWidth, want.rgb, size.width, size.height);
    }

    [[nodiscard]] std::string turnRefusal() const
    {
        const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(m_frame.format));
        return "chiede ai lettori di ruotarlo di " + std::to_string(90 * m_quarters) + "°, e i suoi pixel (" +
               (name ? name : "?") + ") non si ruotano qui come li ruota ffmpeg";
    }

    // `shown`: what a slideshow's frame shows, a picture or a fade's mix.
    void measure(int index, const slideshow::Shown* shown = nullptr)
    {
        const std::string& path = m_request.frames[static_cast<std::size_t>(index)];
        // A picture file in a lossless video is its own decode, put in the frame's form exactly
        // as the save put it: equal (an infinite PSNR) or not (counted apart, no PSNR).
        std::optional<std::string> pictureDiffers;
        std::optional<FittedPicture> own;
        const FittedPicture* fitted = nullptr;
        if (m_request.fitted) {
            fitted =
                shown && m_reference ? &m_reference->of(*shown) : &own.emplace(fittedPicture(path, *m_request.fitted));
            if (!fitted->problem.empty())
                pictureDiffers = fitted->problem;
        } else if (m_out.lossless && m_shownFrame) {
            codec::detail::packedPicture(*m_shownFrame, m_picture);
            pictureDiffers = pictureDifference(path, codec::Codec::Ffv1, *m_shownFrame, m_picture);
        }
        if (pictureDiffers && !pictureDiffers->empty()) {
            if (m_out.picturesDiffer++ == 0) {
                m_out.firstPictureDiffers = index;
                m_out.pictureReason = std::move(*pictureDiffers);
            }
            return;
        }
        FramePsnr measured;
        if (pictureDiffers) {
            measured.db = std::numeric_limits<double>::infinity();
        } else if (std::string refusal = coloursRefusal(m_frame); !refusal.empty()) {
            if (m_out.reason.empty())
                m_out.reason = "fotogramma " + std::to_string(index + 1) + ": " + refusal;
            return;
        } else {
            frameRgb(m_frame, m_shown);
            const bool across = m_quarters % 2 == 1;
            if (m_quarters != 0) {
                turnRgb(m_shown, m_frame.width, m_frame.height, m_quarters, m_turnedRgb);
                std::swap(m_shown, m_turnedRgb);
            }
            const int shownWidth = across ? m_frame.height : m_frame.width;
            const int shownHeight = across ? m_frame.width : m_frame.height;
            if (fitted)
                measured = fittedPsnr(*fitted, *m_request.fitted, shownWidth, shownHeight);
            else
                measured = framePsnr(m_shown, shownWidth, shownHeight, path, m_rgb);
            if (fitted && m_out.lossless && measured.db != std::numeric_limits<double>::infinity()) {
                if (m_out.picturesDiffer++ == 0) {
                    m_out.firstPictureDiffers = index;
                    m_out.pictureReason = shown && shown->kind != slideshow::Shown::Kind::Held
                                              ? "i pixel della sua dissolvenza a " +
                                                    secondsText(shown->slot, m_request.show->rate()) + " sono diversi"
                                              : std::string("i pixel sono diversi");
                }
                return;
            }
        }
        double db = measured.db;
        if (db < 0) {
            db = 0;  // the file no longer makes a frame like it: as far off as can be
            if (m_out.unmatched++ == 0)
                m_out.firstUnmatched = index;
        } else if (m_request.floorDb <= 0 && !m_out.lossless && db < std::min(kNearDb, measured.flatDb) &&
                   m_out.otherPictures++ == 0) {
            m_out.firstOther = index;
            m_out.otherDb = db;
            m_out.otherFloorDb = std::min(kNearDb, measured.flatDb);
        }
        if (std::isfinite(db)) {
            m_sum += db;
            ++m_finite;
            if (m_out.lossless)
                ++m_out.inexact;
        }
        if (m_out.worst < 0 || db < m_out.worstDb) {
            m_out.worst = index;
            m_out.worstDb = db;
        }
        if (m_request.floorDb > 0 && db < m_request.floorDb)
            ++m_out.belowFloor;
    }

    const PsnrRequest& m_request;
    PsnrOutcome& m_out;
    AVCodecContext& m_decoder;
    AVFrame& m_frame;
    CheckObserver& m_observer;
    const std::atomic<bool>& m_cancel;
    FrameMd5* m_hashes;
    FfmpegClock& m_clock;
    AVRational m_streamSar;
    int m_quarters;  // the display matrix's clockwise quarter turns
    codec::AvLogCapture m_log;
    std::unique_ptr<AVFrame, FreeFrame> m_turned;
    const AVFrame* m_shownFrame = nullptr;  // the frame turned; null when its format cannot turn
    std::vector<std::uint8_t> m_turnedRgb;
    std::string m_pendingDamage;
    std::vector<std::uint8_t> m_rgb;
    std::vector<std::uint8_t> m_shown;
    std::vector<std::uint8_t> m_picture;
    double m_sum = 0;
    int m_finite = 0;
    std::optional<ShowTracker> m_show;
    std::optional<ShownReference> m_reference;  // a fitted slideshow's: what each frame should show
    AVRational m_base{1, 1};
    std::int64_t m_offset = 0;
    std::int64_t m_lastSlot = -1;
};

// The pixels a decoder may make of a stream: its claimed sides and a margin for codecs that
// pad; where the header gives none, what any file may have (PictureLimits.h).
std::int64_t largestPicture(const AVCodecParameters& claimed)
{
    if (claimed.width <= 0 || claimed.height <= 0)
        return kPictureBytesAnyFile / 4;
    return (std::int64_t{claimed.width} + 128) * (std::int64_t{claimed.height} + 128);
}

// Options for avformat_find_stream_info's decoders, a dictionary a stream.
class Options {
public:
    explicit Options(unsigned streams) : m_dictionaries(streams, nullptr) {}
    ~Options()
    {
        for (AVDictionary*& d : m_dictionaries)
            av_dict_free(&d);
    }
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    void limit(unsigned stream, std::int64_t pixels)
    {
        (void)av_dict_set_int(&m_dictionaries[stream], "max_pixels", pixels, 0);
    }
    [[nodiscard]] AVDictionary** get() { return m_dictionaries.empty() ? nullptr : m_dictionaries.data(); }

private:
    std::vector<AVDictionary*> m_dictionaries;
};

}  // namespace

PsnrOutcome measurePsnr(const PsnrRequest& request, CheckObserver& observer, const std::atomic<bool>& cancel,
                        FrameMd5* hashes)
{
    PsnrOutcome out;
    out.listFrames = static_cast<int>(request.frames.size());
    codec::keepLibraryLogQuiet();
    std::error_code sizeError;
    const auto length = static_cast<std::int64_t>(std::filesystem::file_size(request.video, sizeError));
    if (std::string refusal = sampleClaimsRefusal(request.video, sizeError ? 0 : length); !refusal.empty()) {
        out.reason = std::move(refusal);
        return out;
    }
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, request.video.c_str(), nullptr, nullptr) < 0) {
        out.reason = "non si apre come video";
        return out;
    }
    const std::unique_ptr<AVFormatContext, CloseInput> input(opened);
    // Every picture the header claims is weighed before a decoder makes one: the decoders that
    // look for the streams' parameters, and ours, make none larger.
    Options options(input->nb_streams);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVCodecParameters& claimed = *input->streams[i]->codecpar;
        if (claimed.codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        if (claimed.width > 0 || claimed.height > 0) {
            if (std::string refusal = decodedPictureRefusal(claimed.width, claimed.height, sizeError ? 0 : length);
                !refusal.empty()) {
                out.reason = std::move(refusal);
                return out;
            }
        }
        options.limit(i, largestPicture(claimed));
    }
    const AVCodec* codec = nullptr;
    const int stream = avformat_find_stream_info(input.get(), options.get()) < 0
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
        avcodec_parameters_to_context(decoder.get(), input->streams[stream]->codecpar) < 0) {
        out.reason = "non si decodifica";
        return out;
    }
    decoder->max_pixels = largestPicture(*input->streams[stream]->codecpar);
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        out.reason = "non si decodifica";
        return out;
    }
    out.lossless = codec->id == AV_CODEC_ID_FFV1;
    const DisplayTurn turn = displayTurnOf(*input->streams[stream]);
    if (!turn.refusal.empty()) {
        out.reason = turn.refusal;
        return out;
    }
    out.turnDegrees = 90 * turn.quarters;
    FfmpegClock clock(*input, *input->streams[stream]);
    Measurer measurer(request, out, *decoder, *frame, observer, cancel, hashes, clock,
                      input->streams[stream]->sample_aspect_ratio, turn.quarters);
    const AVStream& video = *input->streams[stream];
    const std::int64_t offset =
        input->start_time != AV_NOPTS_VALUE ? av_rescale_q(input->start_time, AV_TIME_BASE_Q, video.time_base) : 0;
    measurer.placeBy(video.time_base, offset);
    while (!cancel.load(std::memory_order_relaxed) && av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream)
            measurer.send(packet.get());
        av_packet_unref(packet.get());
    }
    if (!cancel.load(std::memory_order_relaxed))
        measurer.send(nullptr);
    out.cancelled = cancel.load(std::memory_order_relaxed);
    if (out.cancelled)
        return out;
    measurer.finish();
    // Where the video ends: the stream's own end, else the file's.
    std::int64_t end = AV_NOPTS_VALUE;
    if (video.duration != AV_NOPTS_VALUE)
        end = (video.start_time != AV_NOPTS_VALUE ? video.start_time : offset) + video.duration;
    else if (input->duration != AV_NOPTS_VALUE)
        end = offset + av_rescale_q(input->duration, AV_TIME_BASE_Q, video.time_base);
    measurer.endAt(end);
    // A frame in a form the check cannot read leaves the video unchecked, its reason said.
    out.readable = out.reason.empty();
    return out;
}

}  // namespace kelvora::verify

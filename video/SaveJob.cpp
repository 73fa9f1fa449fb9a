#include "video/SaveJob.h"

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "codec/H264Encoder.h"
#include "codec/LosslessEncoder.h"
#include "codec/PictureDecoder.h"
#include "video/FadeDrawer.h"
#include "video/FrameFitter.h"
#include "video/FramePipeline.h"
#include "photo/SourcePicture.h"
#include "video/Fitting.h"
#include "video/FrameSource.h"
#include "video/SaveFailure.h"
#include "video/SaveSummary.h"
#include "platform/binary/BitmapRecords.h"
#include "video/Slideshow.h"
#include "video/SlideshowSave.h"
#include "platform/system/Cores.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <utility>

namespace kelvora::video {

namespace {

const char* const kWriteError = "C'è stato un errore durante la scrittura del file!";
const char* const kNoFadesUncompressed =
    "Un AVI non compresso tiene ogni immagine com'è nel suo file e non può disegnare le dissolvenze: "
    "per farle scegli un video che decodifica le immagini, per esempio FFV1 in Matroska (.mkv) o H.264 in MP4 (.mp4).";
const char* const kTargetIsAFrame =
    "Il file scelto è uno dei fotogrammi della lista: il filmato non è stato salvato, per non distruggerlo.";

// The last frame that loaded: written again for an entry that no longer loads.
struct LastFrame {
    std::unique_ptr<bitmap::cDIB> dib;
    std::unique_ptr<PictureFrame> picture = std::make_unique<PictureFrame>();
    bitmap::FramePlan plan;
    std::vector<std::uint8_t> packet;
    std::vector<std::uint8_t> rgb;
    std::string path;

    [[nodiscard]] std::int64_t storedBytes() const { return picture->isPicture() ? picture->size : dib->SizeImage(); }

    // Takes the frame's contents; the frame keeps the previous ones' storage for reuse.
    void takeFrom(PreparedFrame& frame)
    {
        std::swap(dib, frame.dib);
        std::swap(picture, frame.picture);
        std::swap(plan, frame.plan);
        std::swap(packet, frame.packet);
        std::swap(rgb, frame.rgb);
        path.assign(frame.path);
    }
};

// Small frames ready at once are gathered into one write: for them the cost of a system call
// outweighs that of their bytes. A larger frame goes out on its own, so a cancel stops the
// save right after the frame being written.
constexpr std::size_t kBatchFrames = 256;
constexpr std::int32_t kBatchFrameBytes = 32 * 1024;

// Every frame in list order, as the pipeline hands them over, written as they are: the
// frames ready at once are taken together and written in one go.
struct FrameLoop {
    VideoSink& sink;
    const SaveRequest& request;
    const bitmap::FramePlan& first;  // of the stream: the first frame's, or the fitted pictures'
    bool fitted;                     // every frame fitted into the video's size: any shape goes in
    codec::H264Encoder* h264;        // a codec that reorders frames, encoded here in order; null for others
    SaveObserver& observer;
    const std::atomic<bool>& cancel;
    SaveOutcome& out;
    LastFrame last;
    std::vector<std::uint8_t> palette = first.palette;
    // A picture file's frame uncompressed (all share one size); 0 for bitmaps, whose pixel
    // block as stored is their uncompressed frame.
    std::uint64_t pictureFrameBytes = 0;
    std::uint64_t frameBytes = 0;   // the frames' pixel blocks as stored
    std::uint64_t sampleBytes = 0;  // what was written for them
    std::size_t written = 0;        // frames in the file
    // The frames not yet written, from frame `written` on, their stored sizes and, for those
    // copied from their files, the file.
    std::vector<SinkFrame> pending{};
    std::vector<std::uint64_t> sourceBytes{};
    std::vector<std::string> copiedFrom{};
    std::int64_t sent = 0;  // frames given to the reordering codec
    std::vector<codec::EncodedPacket> packets{};
    bool sinkFailed = false;  // the file itself refused a write: nothing more goes in
    int failedAt = -1;        // the frame the save stopped at, shown as the one in hand
    // A slideshow's fades: each picture becomes its held frame and its fades' frames, the file's
    // frames counted by `written` and the progress by pictures. Null without fades.
    FadeDrawer* fades = nullptr;

    // The picture the file's frame `item` shows, as the progress counts.
    [[nodiscard]] int pictureOf(std::size_t item) const
    {
        return static_cast<int>(fades ? fades->pictureOf(item) : item);
    }

    // The frames written; out says why the loop stopped early.
    std::size_t run(FramePipeline& pipeline)
    {
        std::vector<PreparedFrame*> batch;
        for (std::size_t next = 0;;) {
            const bool stopped = next > 0 && cancel.load(std::memory_order_relaxed);
            PreparedFrame* frame = stopped ? nullptr : pipeline.take(next);
            if (!frame) {
                // No frame left: the source has ended, the user stopped the save, or the
                // frames could not be prepared.
                if (pipeline.broken()) {
                    out.result = avifile::AVIERR_MEMORY;
                    out.reason = pipeline.brokenReason();
                } else {
                    out.cancelled = cancel.load(std::memory_order_relaxed);
                }
                break;
            }
            batch.assign(1, frame);
            if (frame->storedBytes() < kBatchFrameBytes)
                pipeline.takeFollowing(next + 1, kBatchFrames - 1, kBatchFrameBytes, batch);
            const bool ok = writeBatch(batch);
            pipeline.giveBack(batch);
            next += batch.size();
            if (!ok)
                break;
        }
        return written;
    }

    bool writeBatch(const std::vector<PreparedFrame*>& batch)
    {
        for (PreparedFrame* frame : batch) {
            const int index = static_cast<int>(frame->index);
            if (!addFrame(*frame, index)) {
                // The frames before it still go into the file; the reason stays this frame's,
                // and the window shows it as the one in hand.
                const HRESULT result = out.result;
                std::string reason = std::move(out.reason);
                if (flush()) {
                    out.result = result;
                    out.reason = std::move(reason);
                    failedAt = index;
                    observer.frameStarting(index);
                }
                return false;
            }
        }
        return flush();
    }

    // The frame joins those to be written; false when the save must stop at it.
    bool addFrame(PreparedFrame& frame, int index)
    {
        if (!frame.failure.empty()) {
            out.result = avifile::AVIERR_COMPRESSOR;
            out.reason = frame.failure;
            return false;
        }
        if (frame.isTarget) {
            out.refused = true;
            out.result = avifile::AVIERR_BADPARAM;
            out.reason = kTargetIsAFrame;
            return false;
        }
        if (frame.loaded) {
            // Only a frame whose bytes no longer mean what the stream's format says stops the
            // save: another size, depth or compression, or rows the file lacks.
            if (!fitted && (!frame.plan.accepted() || frame.plan.shape != first.shape)) {
                out.result = avifile::AVIERR_BADFORMAT;
                out.reason = changedFrameReason(frame.path, frame.plan);
                return false;
            }
            // The frame's storage stays alive in `last` or in its slot until the batch is written.
            last.takeFrom(frame);
        } else {
            // The video keeps one frame per entry: this one shows the last frame that loaded.
            out.substituted.push_back(index);
        }
        if (fades)
            return addFaded(index);
        if (h264)
            return encodeInOrder(index);
        if (request.codec == codec::Codec::Raw && !fitted) {
            if (last.plan.palette != palette && !changePalette(index))  // the frame shows its own colours
                return false;
            if (last.picture->isPicture() && !last.picture->bytes.empty()) {
                // The picture's bytes as they are, held since they were checked (a PNG).
                PictureFrame& picture = *last.picture;
                pending.push_back({{picture.bytes.data(), static_cast<std::size_t>(picture.size)}, {}, true});
            } else if (last.picture->isPicture()) {
                // The picture's bytes as they are: copied from the file to the video.
                PictureFrame& picture = *last.picture;
                const auto size = static_cast<std::size_t>(picture.size);
                pending.push_back({{}, {&picture.file, 0, size, size}, true});
                copiedFrom.resize(pending.size());
                copiedFrom.back() = last.path;
            } else if (platform::File* pixels = last.dib->pixelFile()) {
                pending.push_back({{},
                                   {pixels, last.dib->BitOffset(), last.dib->storedBits(),
                                    static_cast<std::size_t>(last.dib->SizeImage())},
                                   true});
                copiedFrom.resize(pending.size());
                copiedFrom.back() = last.path;
            } else {
                pending.push_back(
                    {{last.dib->PointerToBits(), static_cast<std::size_t>(last.dib->SizeImage())}, {}, true});
            }
        } else {
            // Each encoded frame carries its own colours.
            pending.push_back({last.packet, {}, true});
        }
        sourceBytes.push_back(uncompressedBytes());
        return true;
    }

    // A slideshow's picture with fades: the frames it completes (the held frame and crossfade of
    // the picture before, or its own fade in) are written at once, each with its own bytes.
    bool addFaded(int index)
    {
        if (const auto drawn = fades->add(last.rgb, last.packet); !drawn) {
            out.result = avifile::AVIERR_COMPRESSOR;
            out.reason = "La compressione della dissolvenza dopo il fotogramma " + std::to_string(index + 1) +
                         " non è riuscita (" + drawn.error() + ").";
            return false;
        }
        return writeFaded();
    }

    // The last picture's held frame and fade out, once no picture follows: after a stop or a
    // frame's failure too, so that the video ends as its last picture does. The save's own
    // failure, if it had one, stays the one told.
    void endFades()
    {
        if (!fades || sinkFailed || out.refused)
            return;
        const HRESULT earlier = out.result;
        const std::string reason = out.reason;
        out.result = 0;
        if (const auto drawn = fades->end(); !drawn) {
            out.result = avifile::AVIERR_COMPRESSOR;
            out.reason = "La compressione della dissolvenza finale non è riuscita (" + drawn.error() + ").";
        } else {
            (void)writeFaded();
        }
        if (earlier != 0) {
            out.result = earlier;
            out.reason = reason;
        }
    }

    bool writeFaded()
    {
        for (const std::vector<std::uint8_t>& frame : fades->frames()) {
            if (h264) {
                packets.clear();
                if (const auto encoded = h264->encode(frame, sent, packets); !encoded) {
                    out.result = avifile::AVIERR_COMPRESSOR;
                    out.reason = "La compressione del fotogramma non è riuscita (" + encoded.error() + ").";
                    return false;
                }
                ++sent;
                frameBytes += uncompressedBytes();
                if (!writePackets())
                    return false;
                continue;
            }
            pending.push_back({frame, {}, true});
            sourceBytes.push_back(uncompressedBytes());
        }
        // The frames' bytes are the drawer's until its next picture: written now.
        return flush();
    }

    // What the last frame loaded comes to uncompressed, for the size a finished save compares with.
    [[nodiscard]] std::uint64_t uncompressedBytes() const
    {
        return (fitted || last.picture->isPicture()) && pictureFrameBytes > 0
                   ? pictureFrameBytes
                   : static_cast<std::uint64_t>(last.storedBytes());
    }

    // A palette change takes effect at the next frame written: the frames before it go first.
    bool changePalette(int index)
    {
        if (!flush())
            return false;
        const auto format = bitmap::formatWithPalette(first.format, last.plan.palette);
        if (const SinkResult changed = sink.changeFormat(index, format); !changed.ok()) {
            out.result = resultCode(changed.failure);
            sinkFailed = true;
            out.reason = formatFailureReason(changed.failure);
            return false;
        }
        out.result = 0;
        palette = last.plan.palette;
        return true;
    }

    bool flush()
    {
        if (pending.empty())
            return true;
        // The window shows the frame being written as the one in hand.
        observer.frameStarting(pictureOf(written + pending.size() - 1));
        const SinkResult wrote = sink.writeFrames(static_cast<std::int64_t>(written), pending);
        out.result = resultCode(wrote.failure);
        for (std::size_t i = 0; i < wrote.written; ++i) {
            frameBytes += sourceBytes[i];
            sampleBytes += pending[i].size();
            observer.frameWritten(pictureOf(written++));
        }
        if (!wrote.ok()) {
            sinkFailed = true;
            failedAt = static_cast<int>(written);
            const std::size_t failed = std::min(wrote.written, pending.size() - 1);
            // A file cut short or rewritten under its copy: the frame is not in the video.
            if (wrote.failure == SinkFailure::SourceRead && failed < copiedFrom.size() && !copiedFrom[failed].empty())
                out.reason = changedDuringCopyReason(copiedFrom[failed]);
            else
                out.reason =
                    writeFailureReason(request.path, static_cast<std::int64_t>(pending[failed].size()), wrote.failure);
            observer.frameStarting(pictureOf(written));  // the frame the write stopped at
        }
        pending.clear();
        sourceBytes.clear();
        copiedFrom.clear();
        return out.result == 0;
    }

    // The last frame's picture goes to the codec; what it gives back is written.
    bool encodeInOrder(int index)
    {
        packets.clear();
        if (const auto encoded = h264->encode(last.packet, sent, packets); !encoded) {
            out.result = avifile::AVIERR_COMPRESSOR;
            out.reason = "La compressione del fotogramma non è riuscita (" + encoded.error() + ").";
            failedAt = index;
            observer.frameStarting(index);
            return false;
        }
        ++sent;
        frameBytes += uncompressedBytes();
        return writePackets();
    }

    // The frames the codec still holds, once no more come: a save stopped, or cut short by a
    // frame, keeps every frame sent, unless on a stop encoding them would keep the user waiting
    // (the codec encodes its whole look-ahead first: seconds for a few camera-sized frames).
    // Not once the file itself refused a write, nor when refused.
    void drainCodec()
    {
        if (!h264 || sinkFailed || out.refused)
            return;
        constexpr std::int64_t kDrainPixelsOnStop = 16'000'000;  // about 8 full-HD frames: a blink
        const std::int64_t pixels = std::int64_t{first.shape.width} * std::abs(first.shape.height);
        if (out.cancelled && (sent - static_cast<std::int64_t>(written)) * pixels > kDrainPixelsOnStop)
            return;
        // The save's own failure, if it had one, stays the one told.
        const HRESULT earlier = out.result;
        const std::string reason = out.reason;
        out.result = 0;
        packets.clear();
        if (const auto flushed = h264->flush(packets)) {
            (void)writePackets();
        } else {
            out.result = avifile::AVIERR_COMPRESSOR;
            out.reason = "La compressione del fotogramma non è riuscita (" + flushed.error() + ").";
        }
        if (earlier != 0) {
            out.result = earlier;
            out.reason = reason;
            if (failedAt >= 0)
                observer.frameStarting(failedAt);
        }
    }

    // Each packet is one frame, in the codec's order; the progress counts them as they go out.
    bool writePackets()
    {
        for (const codec::EncodedPacket& packet : packets) {
            observer.frameStarting(pictureOf(written));
            const SinkResult wrote = sink.writePacket({packet.data, packet.pts, packet.dts, packet.key});
            out.result = resultCode(wrote.failure);
            if (!wrote.ok()) {
                sinkFailed = true;
                failedAt = static_cast<int>(written);
                out.reason =
                    writeFailureReason(request.path, static_cast<std::int64_t>(packet.data.size()), wrote.failure);
                return false;
            }
            sampleBytes += packet.data.size();
            observer.frameWritten(pictureOf(written++));
        }
        return true;
    }
};

// The stream's format, and for a compressed video the first encoder, which gave it.
struct StreamFormat {
    std::vector<std::uint8_t> format;
    codec::EncoderPlan plan;
    std::unique_ptr<codec::LosslessEncoder> encoder;
    std::unique_ptr<codec::H264Encoder> h264;
    AVPixelFormat pictureFormat = AV_PIX_FMT_NONE;
    std::string failure;
    bool frameFailed = false;  // the failure is the first frame's (it does not decode), not the codec's
};

// The first frame's name and number as the save's messages give a frame's.
std::string firstFrameText(const PreparedFrame& first) { return "Il fotogramma 1 (" + first.path + ")"; }

// The pixel format a stream of picture files is encoded in, from the first picture, decoded
// here before anything is opened: a picture that does not decode is named with its reason.
bool choosePictureFormat(const SaveRequest& request, const PreparedFrame& firstFrame, StreamFormat& out)
{
    const PictureFrame& picture = *firstFrame.picture;
    auto opened = codec::PictureDecoder::open(*picture.type);
    if (!opened) {
        out.failure =
            "La compressione " + std::string(codecLabel(request.codec)) + " non è disponibile: " + opened.error() + ".";
        return false;
    }
    const auto decoder = std::move(opened).value();
    out.frameFailed = true;
    if (const auto decoded = decoder->decode(picture.bytes); !decoded) {
        out.failure = firstFrameText(firstFrame) + " non si decodifica (" + decoded.error() + ").";
        return false;
    }
    out.pictureFormat = codec::pictureStreamFormat(request.codec, decoder->picture(), request.background());
    if (out.pictureFormat == AV_PIX_FMT_NONE) {
        out.failure = firstFrameText(firstFrame) + " si decodifica in una forma che la compressione " +
                      std::string(codecLabel(request.codec)) + " non prende.";
        return false;
    }
    out.frameFailed = false;
    return true;
}

// The stream's H.264 encoder, or why there is none. A slideshow's pictures are held for
// uneven durations: their frames go without B-frames.
void openH264(const SaveRequest& request, codec::EvenSize size, StreamFormat& out)
{
    auto opened = codec::H264Encoder::open(size, request.rate, request.scale, request.crf,
                                           !(request.slideshow && request.slideshow->holdsPictures()));
    if (opened)
        out.h264 = std::move(opened).value();
    else
        out.failure = "La compressione H.264 non è disponibile: " + opened.error() + ".";
}

// The stream's lossless encoder, or why there is none.
void takeEncoder(platform::Result<std::unique_ptr<codec::LosslessEncoder>> opened, codec::Codec codec,
                 StreamFormat& out)
{
    if (opened)
        out.encoder = std::move(opened).value();
    else
        out.failure =
            "La compressione " + std::string(codecLabel(codec)) + " non è disponibile: " + opened.error() + ".";
}

StreamFormat streamFormatFor(const SaveRequest& request, const PreparedFrame& firstFrame)
{
    const bitmap::FramePlan& first = firstFrame.plan;
    const codec::Codec codec = request.codec;
    StreamFormat out;
    if (!containerHolds(request.container, codec)) {
        out.failure = "Questo tipo di file non può contenere fotogrammi " + std::string(codecLabel(codec)) + ".";
        return out;
    }
    if (codec == codec::Codec::Raw) {
        // The first frame's own block where that plays, else a standard one that means the same.
        out.format = first.format;
        return out;
    }
    if (firstFrame.isPicture() && !choosePictureFormat(request, firstFrame, out))
        return out;
    if (codec == codec::Codec::H264) {
        // Encoded in order by one encoder on threads of its own; the pipeline's threads convert colours.
        out.plan = codec::planEncoders(codec, first.shape, platform::usableCores());
        openH264(request, codec::evenSize(first.shape), out);
        return out;
    }
    if (firstFrame.isPicture()) {
        out.plan =
            codec::planEncoders(codec, first.shape, platform::usableCores(), codec::ffv1FormOf(out.pictureFormat));
        takeEncoder(codec::LosslessEncoder::openForPictures(codec, first.shape, out.pictureFormat, out.plan.threadsEach,
                                                            request.background()),
                    codec, out);
    } else {
        out.plan = codec::planEncoders(codec, first.shape, platform::usableCores());
        takeEncoder(codec::LosslessEncoder::open(codec, first.shape, out.plan.threadsEach), codec, out);
    }
    if (out.encoder)
        out.format = out.encoder->streamFormat(first.palette);
    return out;
}

// The stream of a fitted video: every frame an 8-bit RGB picture of `shape`'s size, top-down,
// or for an uncompressed video a 24-bit bitmap of it.
StreamFormat fittedStreamFormat(const SaveRequest& request, const bitmap::StreamShape& shape)
{
    const codec::Codec codec = request.codec;
    StreamFormat out;
    if (!containerHolds(request.container, codec)) {
        out.failure = "Questo tipo di file non può contenere fotogrammi " + std::string(codecLabel(codec)) + ".";
        return out;
    }
    if (codec == codec::Codec::Raw) {
        binary::BITMAPINFOHEADER header;
        header.biSize = static_cast<std::int32_t>(binary::kInfoHeaderSize);
        header.biWidth = shape.width;
        header.biHeight = shape.height < 0 ? -shape.height : shape.height;  // rows bottom-up
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = binary::BI_RGB;
        header.biSizeImage = static_cast<std::int32_t>(fittedBitmapBytes({shape.width, header.biHeight}));
        const auto bytes = binary::infoHeaderBytes(header);
        out.format.assign(bytes.begin(), bytes.end());
        return out;
    }
    if (codec == codec::Codec::H264) {
        out.plan = codec::planEncoders(codec, shape, platform::usableCores());
        openH264(request, codec::evenSize(shape), out);
        return out;
    }
    out.pictureFormat = codec == codec::Codec::Ffv1 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_RGB24;
    out.plan = codec::planEncoders(codec, shape, platform::usableCores(), codec::ffv1FormOf(out.pictureFormat));
    takeEncoder(codec::LosslessEncoder::openForPictures(codec, shape, out.pictureFormat, out.plan.threadsEach,
                                                        request.background()),
                codec, out);
    if (out.encoder)
        out.format = out.encoder->streamFormat({});
    return out;
}

// Whether FFV1 keeps a JPEG's planes as Y'CbCr (grey, YCbCr, YCCK's), not as RGB components.
bool jpegPlanesAreYcc(const bitmap::JpegFacts& jpeg)
{
    const auto& c = jpeg.components;
    const bool rgbIds = c[0].id == 'R' && c[1].id == 'G' && c[2].id == 'B';
    switch (jpeg.componentCount) {
    case 1:
        return true;
    case 3:
        return !rgbIds && !(jpeg.adobe && jpeg.adobeTransform == 0);
    case 4:
        return jpeg.adobe && jpeg.adobeTransform == 2;
    default:
        return false;
    }
}

SinkStream sinkStream(const SaveRequest& request, const PreparedFrame& first, const StreamFormat& format)
{
    SinkStream stream;
    stream.codec = request.codec;
    const bitmap::StreamShape& shape = first.plan.shape;
    stream.width = shape.width;
    // A picture's rows are top-down whatever the codec: its sides are as the picture gives them.
    stream.height = first.isPicture() ? -shape.height : shape.height;
    stream.rate = request.rate;
    stream.scale = request.scale;
    stream.aviFormat = format.format;
    stream.suggestedBufferSize =
        request.codec == codec::Codec::Raw ? static_cast<std::uint32_t>(first.storedBytes()) : 0;
    if (first.isPicture() && request.codec == codec::Codec::Raw)
        stream.handler = static_cast<std::uint32_t>(shape.compression);
    stream.fullRange = request.codec == codec::Codec::Ffv1 && first.isPicture() &&
                       first.picture->header.type == bitmap::PictureType::Jpeg &&
                       jpegPlanesAreYcc(first.picture->header.jpeg);
    if (format.encoder) {
        stream.configuration = format.encoder->configuration();
    } else if (format.h264) {
        const codec::EvenSize even = codec::evenSize(shape);
        stream.width = even.width;
        stream.height = even.height;
        stream.configuration = format.h264->configuration();
        stream.reorderDepth = format.h264->reorderDepth();
    }
    return stream;
}

// Frames of odd width or height go into H.264 padded to even: the user is told.
std::string paddingNotice(codec::Codec codec, const bitmap::StreamShape& shape)
{
    const codec::EvenSize even = codec::evenSize(shape);
    const int rows = shape.height < 0 ? -shape.height : shape.height;
    if (codec != codec::Codec::H264 || (even.width == shape.width && even.height == rows))
        return {};
    return "fotogrammi di " + std::to_string(shape.width) + " x " + std::to_string(rows) + " portati a " +
           std::to_string(even.width) + " x " + std::to_string(even.height) +
           " ripetendo l'ultima colonna o riga (H.264 vuole misure pari)";
}

// The file at `path`, when there is one.
platform::FileIdentity identityOf(const std::string& path)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return {};
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// The video's first frame: the first entry admitted, which must load and make a frame.
struct FirstFrame {
    bool found = false;
    std::size_t entry = 0;
};

FirstFrame findFirstFrame(FrameSource& source, FrameAdmission* admission, PreparedFrame& frame, codec::Codec codec,
                          bool fitted, platform::MessageBoxService& messages, SaveObserver& observer, SaveOutcome& out)
{
    FirstFrame first;
    for (;; ++first.entry) {
        std::optional<std::string> path = source.next();
        if (!path) {
            out.refused = true;
            out.result = avifile::AVIERR_NODATA;
            out.reason = "La lista dei fotogrammi è vuota.";
            return first;
        }
        observer.frameLoading(static_cast<int>(first.entry));
        observer.frameStarting(0);
        frame.path = std::move(*path);
        loadFrameFile(frame, {codec, false, fitted}, messages);
        if (!frame.loaded)
            frame.plan = {};
        if (!admission || admission->admit(first.entry, frame.loaded, *frame.dib, *frame.picture, frame.plan))
            break;
    }
    if (!frame.loaded) {
        // The bitmap object (or the picture's loader) has told the user why; nothing was opened.
        out.refused = true;
        out.firstFrameUnreadable = true;
        out.reason = "Il primo fotogramma non si legge più.";
        return first;
    }
    if (!frame.plan.accepted()) {
        out.refused = true;
        out.result = avifile::AVIERR_BADFORMAT;
        out.reason = changedFrameReason(frame.path, frame.plan);
        return first;
    }
    first.found = true;
    return first;
}

// The first frame's look, from what its load read.
FrameLook lookOfFrame(const PreparedFrame& frame)
{
    FrameLook look;
    look.read = true;
    look.shape = frame.plan.shape;
    if (frame.isPicture()) {
        // Judged as every other frame's file is (and as the check judges it): by its header.
        const bitmap::PictureHeader& header = frame.picture->header;
        look.shape = planPicture(header, codec::Codec::Png).shape;
        look.jpeg = header.type == bitmap::PictureType::Jpeg;
        look.orientation = look.jpeg ? header.jpeg.orientation : 1;
        look.profiled = header.profiled;
    }
    return look;
}

// Reads the entries after the first (into `rest`, for the save to take them from there) and
// tells whether every one can go into the video as its file holds it. Stops, false, once
// `cancel` is set.
bool everyFrameKept(FrameSource& source, std::vector<std::string>& rest, codec::Codec codec, Container container,
                    const FrameLook& first, SaveObserver& observer, const std::atomic<bool>& cancel)
{
    bool kept = true;
    while (std::optional<std::string> path = source.next()) {
        if (cancel.load(std::memory_order_relaxed))
            return false;
        // Once one frame must be fitted all are: the rest need only be read.
        kept = kept && keptAsStored(codec, container, first, lookOfFile(*path));
        rest.push_back(std::move(*path));
        observer.preparing(static_cast<int>(rest.size()));
    }
    return kept;
}

// The entries read ahead, given again in order as the source's own.
class ReadAheadFrames final : public FrameSource {
public:
    ReadAheadFrames(FrameSource& source, const std::vector<std::string>& paths) : m_source(source), m_paths(paths) {}
    [[nodiscard]] int count() const override { return m_source.count(); }
    [[nodiscard]] std::optional<std::string> next() override
    {
        if (m_next == m_paths.size())
            return std::nullopt;
        m_source.givenAgain(m_paths[m_next]);
        return m_paths[m_next++];
    }

private:
    FrameSource& m_source;
    const std::vector<std::string>& m_paths;
    std::size_t m_next = 0;
};

// The stream of a fitted video: its pictures' shape, top-down RGB (an uncompressed one's
// bitmaps bottom-up).
bitmap::FramePlan fittedPlan(codec::Codec codec, photo::OutputSize size)
{
    bitmap::FramePlan plan;
    plan.form = bitmap::FramePlan::Form::StandardHeader;
    plan.shape = {size.width, codec == codec::Codec::Raw ? size.height : -size.height, 24, binary::BI_RGB, 0};
    return plan;
}

SinkStream fittedSinkStream(const SaveRequest& request, photo::OutputSize size, const StreamFormat& format)
{
    SinkStream stream;
    stream.codec = request.codec;
    stream.width = size.width;
    stream.height = size.height;
    stream.rate = request.rate;
    stream.scale = request.scale;
    stream.aviFormat = format.format;
    if (request.codec == codec::Codec::Raw)
        stream.suggestedBufferSize = static_cast<std::uint32_t>(fittedBitmapBytes(size));
    if (format.encoder) {
        stream.configuration = format.encoder->configuration();
    } else if (format.h264) {
        const codec::EvenSize even = codec::evenSize({size.width, size.height, 24, 0, 0});
        stream.width = even.width;
        stream.height = even.height;
        stream.configuration = format.h264->configuration();
        stream.reorderDepth = format.h264->reorderDepth();
    }
    return stream;
}

std::string joined(std::initializer_list<std::string> parts)
{
    std::string out;
    for (const std::string& part : parts)
        if (!part.empty())
            out += (out.empty() ? "" : "; ") + part;
    return out;
}

}  // namespace

SaveJob::SaveJob(mAVIDecs& avi, platform::MessageBoxService& frameMessages, SinkFactory sinks)
    : m_avi(avi), m_frameMessages(frameMessages), m_sinks(std::move(sinks))
{
}

SaveOutcome SaveJob::run(const SaveRequest& request, SaveObserver& observer, const std::atomic<bool>& cancel)
{
    ListedFrames listed(request.frames);
    FrameSource& source = request.source ? *request.source : listed;
    const platform::FileIdentity target = identityOf(request.target);
    SaveOutcome out;
    out.frameCount = source.count();
    // The first frame is found and checked before the output is opened: a save that cannot
    // write a single frame leaves the file it was to replace as it was.
    PreparedFrame firstFrame;
    firstFrame.dib = std::make_unique<bitmap::cDIB>(m_frameMessages);
    const bool sizeChosen = !request.framing.size.original();
    const FirstFrame first = findFirstFrame(source, request.admission, firstFrame, request.codec, sizeChosen,
                                            m_frameMessages, observer, out);
    if (!first.found)
        return out;
    const bool faded = request.slideshow && request.slideshow->fades.any();
    if (faded && request.codec == codec::Codec::Raw) {
        out.refused = true;
        out.result = avifile::AVIERR_BADPARAM;
        out.reason = kNoFadesUncompressed;
        return out;
    }
    if (target.known() && firstFrame.identity() == target) {
        out.refused = true;
        out.result = avifile::AVIERR_BADPARAM;
        out.reason = kTargetIsAFrame;
        return out;
    }
    // Whether the frames go in as their files hold them or fitted into the video's size; where
    // that depends on every frame, the entries are read ahead (their headers only) to decide.
    std::vector<std::string> rest;
    bool readAhead = false;
    const Fitting fitting =
        planFitting(request.codec, request.container, request.framing, lookOfFrame(firstFrame), [&] {
            // A list still arriving (from a pipe) is not read ahead: its frames go in as the
            // first does, and one that cannot is left out for its format, as ever.
            if (faded)
                return false;  // fades are drawn from fitted pictures
            if (source.count() < 0)
                return true;
            readAhead = true;
            return everyFrameKept(source, rest, request.codec, request.container, lookOfFrame(firstFrame), observer,
                                  cancel);
        });
    if (cancel.load(std::memory_order_relaxed)) {
        out.refused = true;
        out.cancelled = true;
        return out;
    }
    // A first picture that does not decode refuses the save before anything is written, as it
    // does where the codec takes the file's own pixels.
    if (fitting.on && firstFrame.isPicture() && !firstFrame.picture->bytes.empty()) {
        const photo::SourcePicture::Result decoded =
            photo::SourcePicture::decode(firstFrame.picture->bytes, {fitting.framing, fitting.framing.size});
        if (!decoded.picture) {
            out.refused = true;
            out.result = avifile::AVIERR_BADFORMAT;
            out.reason = "Il fotogramma 1 (" + firstFrame.path + ") non si decodifica (" + decoded.error + ").";
            return out;
        }
    }
    ReadAheadFrames readAgain(source, rest);
    FrameSource& frames = readAhead ? readAgain : source;
    const bitmap::FramePlan streamPlan =
        fitting.on ? fittedPlan(request.codec, fitting.framing.size) : bitmap::FramePlan(firstFrame.plan);
    StreamFormat format =
        fitting.on ? fittedStreamFormat(request, streamPlan.shape) : streamFormatFor(request, firstFrame);
    if (!format.failure.empty()) {
        out.refused = true;
        out.result = format.frameFailed ? avifile::AVIERR_BADFORMAT : avifile::AVIERR_NOCOMPRESSOR;
        out.reason = std::move(format.failure);
        return out;
    }
    // A slideshow's music is opened, and its pictures' times planned, before anything is written.
    std::optional<SlideshowSave> slideshow;
    if (request.slideshow && !slideshow.emplace(request, source.count()).prepare(out))
        return out;
    const std::unique_ptr<VideoSink> sink = slideshow ? slideshow->wrap(m_sinks(request.container, m_avi, cancel))
                                                      : m_sinks(request.container, m_avi, cancel);
    if (const SinkResult opened = sink->open(request.path); !opened.ok()) {
        out.result = resultCode(opened.failure);
        out.reason = openFailureReason(request.path);
        return out;
    }
    const platform::FileIdentity ownFile = identityOf(request.path);
    const SinkResult added = sink->addStream(fitting.on ? fittedSinkStream(request, fitting.framing.size, format)
                                                        : sinkStream(request, firstFrame, format));
    out.result = resultCode(added.failure);
    if (!added.ok())
        out.reason = formatFailureReason(added.failure);
    const bitmap::FramePlan& firstPlan = streamPlan;
    std::optional<FadeDrawer> fades;
    if (slideshow && slideshow->sequence()) {
        std::unique_ptr<codec::LosslessEncoder> encoder;
        if (request.codec != codec::Codec::H264) {
            auto opened = codec::LosslessEncoder::openForPictures(request.codec, streamPlan.shape, format.pictureFormat,
                                                                  format.plan.threadsEach, request.background());
            if (!opened) {
                out.refused = true;
                out.result = avifile::AVIERR_NOCOMPRESSOR;
                out.reason = "La compressione " + std::string(codecLabel(request.codec)) +
                             " non è disponibile per le dissolvenze: " + opened.error() + ".";
                return out;
            }
            encoder = std::move(opened).value();
        }
        fades.emplace(*slideshow->sequence(), *request.slideshow, request.codec, fitting.framing.size,
                      std::move(encoder));
    }
    FrameLoop loop{*sink, request, firstPlan, fitting.on, format.h264.get(), observer, cancel, out, {}};
    loop.fades = fades ? &*fades : nullptr;
    loop.last.dib = std::make_unique<bitmap::cDIB>(m_frameMessages);
    if (fitting.on) {
        const photo::OutputSize size = fitting.framing.size;
        loop.pictureFrameBytes = request.codec == codec::Codec::Raw
                                     ? fittedBitmapBytes(size)
                                     : uncompressedFrameBytes(size.width, size.height, 3);
    } else if (firstFrame.isPicture()) {
        // Compared with its pixels uncompressed, as the codec keeps them (an alpha channel too).
        const AVPixFmtDescriptor* kept = av_pix_fmt_desc_get(format.pictureFormat);
        const bool alpha = kept && (kept->flags & AV_PIX_FMT_FLAG_ALPHA) != 0 && request.codec != codec::Codec::H264;
        loop.pictureFrameBytes = uncompressedFrameBytes(firstPlan.shape.width, firstPlan.shape.height, alpha ? 4 : 3);
    }
    if (out.result == 0) {
        const auto frameBytes = static_cast<std::size_t>(firstFrame.storedBytes());
        auto pipeline = std::make_unique<FramePipeline>(
            PipelineFrames{frames, request.admission, first.entry + 1, target}, std::move(firstFrame), m_frameMessages,
            observer,
            PipelineEncoding{request.codec, firstPlan.shape, format.plan, std::move(format.encoder),
                             format.pictureFormat, request.background(),
                             fitting.on ? std::optional(fitting.framing) : std::nullopt, fades.has_value()},
            frameBytes, cancel);
        (void)loop.run(*pipeline);
        // A stop answers at once: the frames still being encoded are not waited for.
        if (out.cancelled)
            abandon(std::move(pipeline));
    }
    loop.endFades();
    loop.drainCodec();
    const codec::EvenSize even = codec::evenSize(firstPlan.shape);
    if (fitting.on)
        out.fitted = fitting.framing;
    out.notice = joined({fitting.notice,
                         request.codec == codec::Codec::H264
                             ? levelNotice({even.width, even.height}, request.rate, request.scale)
                             : std::string(),
                         paddingNotice(request.codec, firstPlan.shape)});
    if (request.admission || out.frameCount < 0)
        out.frameCount = std::max(out.frameCount, static_cast<int>(loop.written));
    const SinkResult finished = sink->finish();
    out.renewedFile = sink->renewedFile();
    // A file cut short holds what a reader reads: its whole parts.
    const std::size_t written = std::min(loop.written, sink->framesInFile().value_or(loop.written));
    out.framesWritten = static_cast<int>(written);
    if (out.result == 0 && !finished.ok()) {
        out.result = resultCode(finished.failure);
        out.reason = writeFailureReason(request.path, 0, finished.failure);
    }
    // A stop that came while the file was being finished stops the run all the same; the file
    // is finished (a step left undone leaves it as it was before that step).
    if (out.result == 0 && cancel.load(std::memory_order_relaxed))
        out.cancelled = true;
    if (slideshow)
        slideshow->describe(out);
    out.finished = out.result == 0 && !out.cancelled && written > 0;
    std::error_code error;
    if (written == 0) {
        // A video without a frame is no video: nothing of it is left behind, and nothing another
        // writer has put at the name meanwhile is taken for it.
        if (!ownFile.known() || identityOf(request.path) == ownFile)
            std::filesystem::remove(request.path, error);
    } else if (const std::uintmax_t size = std::filesystem::file_size(request.path, error); !error) {
        out.fileBytes = size;
        out.uncompressedBytes = size - loop.sampleBytes + loop.frameBytes;
    }
    return out;
}

std::string failureMessage(const SaveOutcome& outcome)
{
    std::string text = outcome.refused ? std::string() : std::string(kWriteError);
    if (!outcome.reason.empty())
        text += (text.empty() ? "" : "\r\n") + outcome.reason;
    return text;
}

}  // namespace kelvora::video

#include "verify/VideoCheck.h"

#include "verify/ShownReference.h"

#include "photo/Orientation.h"

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "codec/LosslessDecoder.h"
#include "verify/AviFrames.h"
#include "verify/FittedReference.h"
#include "verify/ForeignDecoder.h"
#include "verify/FrameCompare.h"
#include "verify/PictureLimits.h"
#include "verify/PictureCompare.h"
#include "verify/PngChunks.h"
#include "verify/RawPicture.h"
#include "verify/ShowCheck.h"
#include "platform/system/Cores.h"

#include <cstdlib>
#include <new>
#include <optional>
#include <stdexcept>

namespace kelvora::verify {

namespace {

using platform::FourCC;

// How a stream stores its frames: as bitmaps' pixel blocks, or by a codec we can decode.
std::optional<codec::Codec> codecOf(const VideoStream& stream)
{
    const std::int32_t compression = stream.header.biCompression;
    if (compression == binary::BI_RGB || compression == binary::BI_RLE8 || compression == binary::BI_RLE4 ||
        compression == binary::BI_BITFIELDS)
        return codec::Codec::Raw;
    const FourCC code = FourCC::fromValue(static_cast<std::uint32_t>(compression));
    if (code == FourCC("FFV1") || code == FourCC("ffv1"))
        return codec::Codec::Ffv1;
    if (code == FourCC("MPNG") || code == FourCC("PNG ") || code == FourCC("png "))
        return codec::Codec::Png;
    return std::nullopt;
}

// FFV1's configuration record follows the 40-byte header, counted in its size.
std::span<const std::uint8_t> configurationOf(const VideoStream& stream)
{
    const std::span<const std::uint8_t> format = stream.format;
    const auto size = static_cast<std::size_t>(std::max(stream.header.biSize, 0));
    const std::size_t end = size > binary::kInfoHeaderSize && size <= format.size() ? size : format.size();
    return format.subspan(binary::kInfoHeaderSize, end - binary::kInfoHeaderSize);
}

// The bitmap object's message for a frame that no longer loads, kept as the frame's reason.
class KeptMessage final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string& text, int, const std::string&) override
    {
        last = text;
        for (std::size_t at = last.find("\r\n"); at != std::string::npos; at = last.find("\r\n", at))
            last.replace(at, 2, " ");
    }
    std::string last;
};

class Checker {
public:
    // `foreign`, when given, decodes what our own decoders do not: with `foreignOnly` every
    // frame (a codec of another writer), otherwise uncompressed frames in another layout than
    // their files'.
    Checker(const CheckRequest& request, AviFrames& video, codec::Codec codec, codec::LosslessDecoder* decoder,
            std::unique_ptr<codec::LosslessDecoder> rleDecoder, std::unique_ptr<ForeignDecoder> foreign,
            bool foreignOnly, FrameMd5* hashes, std::optional<photo::Framing> fitted)
        : m_request(request), m_fitted(std::move(fitted)), m_video(video), m_codec(codec), m_decoder(decoder),
          m_hashes(hashes), m_rleDecoder(std::move(rleDecoder)), m_foreign(std::move(foreign)),
          m_foreignOnly(foreignOnly), m_dib(m_message)
    {
        if (m_fitted && request.show)
            m_reference.emplace(request.frames, *m_fitted);
    }

    // The frame just read from the video, at place `index`.
    // `file`: the list's entry it shows, when not the frame's own place (a slideshow's picture);
    // -1 for a frame nothing is compared with.
    void take(int index, CheckOutcome& out, std::optional<int> file = std::nullopt)
    {
        if (m_foreignOnly) {
            takeForeign(index, out);
            return;
        }
        bool decoded = false;
        std::string damage;
        if (m_decoder) {
            const auto& h = m_video.stream().header;
            const PngCheck png = m_codec == codec::Codec::Png ? checkPng(m_chunk, h.biWidth, h.biHeight) : PngCheck{};
            std::string decodeError;
            if (!png.tooLarge) {
                const auto status = m_decoder->decode(m_chunk);
                decoded = status.ok();
                if (!decoded)
                    decodeError = status.error();
            }
            damage = !png.damage.empty() ? png.damage
                     : !decoded          ? "non si decodifica (" + decodeError + ")"
                                         : m_decoder->damage();
        }
        if (!damage.empty() && out.damaged++ == 0) {
            out.firstDamaged = index;
            out.damageReason = damage;
        }
        if (m_hashes)
            hash(index, decoded);
        const int place = file.value_or(index);
        if (!m_request.compare || place < 0)
            return;
        if (static_cast<std::size_t>(place) >= m_request.frames.size()) {
            note(out, place, "è in più nel video");
            return;
        }
        if (!damage.empty()) {
            note(out, place, decoded ? "è danneggiato (" + damage + ")" : damage);
            return;
        }
        if (std::string why = compare(m_request.frames[static_cast<std::size_t>(place)]); !why.empty())
            note(out, place, file ? why + " (" + std::to_string(index) + "° fotogramma del video)" : why);
    }

    [[nodiscard]] std::vector<std::uint8_t>& chunk() { return m_chunk; }
    // Whether a fitted slideshow's fades are compared: with the mix the save drew (it draws
    // fades only from fitted pictures).
    [[nodiscard]] bool comparesFades() const { return m_reference.has_value(); }
    // What the next frame taken shows, for a fitted slideshow; null for any other frame.
    void showing(const slideshow::Shown* shown) { m_showing = shown; }
    // Whether a frame of a lossy codec was compared by its picture, not its bytes (picture
    // files stored as they are compare exactly, whatever their codec).
    [[nodiscard]] bool comparedClosely() const { return m_comparedClosely; }

    // Once the last frame is read: the pictures a codec held back, and the places none came for.
    void finish(CheckOutcome& out)
    {
        if (m_foreignOnly) {
            m_foreign->drain();
            while (m_foreign->receive())
                takePicture(out, {});
            while (m_shown < out.videoFrames)
                takePicture(out, "non si decodifica (nessuna immagine)");
        }
        finishHashes();
    }

    // Header lines for a video without a single frame to take them from.
    void finishHashes()
    {
        if (m_hashes && !m_hashes->headerWritten()) {
            const auto& h = m_video.stream().header;
            m_hashes->header({m_video.stream().rate, m_video.stream().scale, h.biWidth,
                              h.biHeight < 0 ? -h.biHeight : h.biHeight, 0, 1});
        }
    }

    static void note(CheckOutcome& out, int index, std::string why)
    {
        if (out.differing++ == 0) {
            out.first = index;
            out.firstReason = std::move(why);
        }
    }

private:
    // Another writer's codec: the frame goes in, and the pictures that come out (in display
    // order, a codec with B-frames holding some back) take the places from the first on.
    void takeForeign(int index, CheckOutcome& out)
    {
        if (const auto sent = m_foreign->send(m_chunk, m_video.palette(), index); !sent) {
            takePicture(out, "non si decodifica (" + sent.error() + ")");
            return;
        }
        bool any = false;
        while (m_foreign->receive()) {
            any = true;
            takePicture(out, {});
        }
        if (!any && !m_foreign->delays())
            takePicture(out, "non si decodifica (nessuna immagine)");
    }

    // The next place's picture (the decoder's current one), or why it has none.
    void takePicture(CheckOutcome& out, const std::string& damage)
    {
        const int index = m_shown++;
        if (!damage.empty() && out.damaged++ == 0) {
            out.firstDamaged = index;
            out.damageReason = damage;
        }
        if (m_hashes && damage.empty())
            hashForeign();
        if (!m_request.compare)
            return;
        if (static_cast<std::size_t>(index) >= m_request.frames.size())
            note(out, index, "è in più nel video");
        else if (!damage.empty())
            note(out, index, damage);
        else if (std::string why = compare(m_request.frames[static_cast<std::size_t>(index)]); !why.empty())
            note(out, index, why);
    }

    // As ffmpeg hashes it: at the time the decoder gives it, the container's place where it
    // gives none, with the picture's own aspect ratio (the AVI header has none).
    // A JPEG stored whole is turned by its EXIF orientation: ffmpeg's decoder gives each picture
    // its display matrix, and ffmpeg turns each as it asks. (A picture turned to other sides
    // than the first's ffmpeg also scales to the first's; it is hashed here as turned.)
    void hashForeign()
    {
        std::int64_t at = m_foreign->time();
        if (at < m_nextLine)
            at = m_nextLine;
        m_nextLine = at + 1;
        const OrientationTurn turn = m_foreign->stores(bitmap::PictureType::Jpeg)
                                         ? turnOfOrientation(photo::jpegOrientation(m_chunk))
                                         : OrientationTurn{};
        const bool across = turn.quarters % 2 == 1;
        if (!m_hashes->headerWritten())
            m_hashes->header(
                {m_video.stream().rate, m_video.stream().scale, across ? m_foreign->height() : m_foreign->width(),
                 across ? m_foreign->width() : m_foreign->height(), m_foreign->sarNum(), m_foreign->sarDen()});
        if (m_foreign->packed(m_picture, turn))
            m_hashes->frame(at, m_picture);
    }

    std::string compare(const std::string& path)
    {
        // PNG files stored as they are and PNG frames of ours share a stream's format: a first
        // frame that is its file's bytes tells a stored video, which no save fitted.
        if (m_fitted && m_codec == codec::Codec::Png && m_shownFiles++ == 0)
            if (const std::optional<PictureFile> file = readPictureFile(path);
                file && file->problem.empty() && std::ranges::equal(file->bytes, m_chunk))
                m_fitted.reset();
        if (m_fitted)
            return fittedDifference(path);
        // Another writer's codec of a picture file's pictures (H.264 of PNG files...) shows its
        // colours; only a codec that stores such files whole (Motion-JPEG) holds their bytes.
        if (m_foreignOnly) {
            if (const PictureRgb file = pictureRgb(path); file.picture && !m_foreign->stores(file.type)) {
                if (!file.problem.empty())
                    return file.problem;
                m_comparedClosely = true;
                return rgbDifference(m_foreign->rgb(), m_foreign->width(), m_foreign->height(), m_foreign->lossless(),
                                     file.rgb, file.width, file.height);
            }
        }
        // A picture file stands in the video as its bytes, or as its picture encoded.
        if (std::optional<std::string> picture =
                pictureDifference(path, m_chunk, m_foreignOnly ? codec::Codec::Raw : m_codec, m_decoder, m_png))
            return *picture;
        m_message.last.clear();
        if (!m_dib.CreateFromFile(path))
            return "il file non si legge più" + (m_message.last.empty() ? std::string() : " (" + m_message.last + ")");
        const bitmap::FramePlan plan = bitmap::planFrame(m_dib);
        if (!plan.accepted())
            return "il file non è più un fotogramma del video (" + plan.reason + ")";
        if (m_foreignOnly) {
            m_comparedClosely = true;
            return foreignDifference(m_foreign->rgb(), m_foreign->width(), m_foreign->height(), m_foreign->lossless(),
                                     plan, m_dib.bits(), m_scratch);
        }
        if (m_codec != codec::Codec::Raw)
            return decodedDifference(m_decoder->picture(), plan, m_dib.bits(), m_scratch);
        const binary::BITMAPINFOHEADER& h = m_video.stream().header;
        const bitmap::StreamShape& shape = plan.shape;
        const bool sameSize =
            h.biWidth == shape.width && std::abs(std::int64_t{h.biHeight}) == std::abs(std::int64_t{shape.height});
        const bool sameLayout =
            h.biHeight == shape.height && h.biBitCount == shape.bitCount && h.biCompression == shape.compression;
        if (!m_foreign || !sameSize || sameLayout)
            return rawDifference(h, m_chunk, m_video.palette(), plan, m_dib.bits());
        // Another writer's layout of the same picture (rows top-down, another depth): what counts
        // is the colours each pixel shows, as a player decodes them.
        if (const auto decoded = m_foreign->decode(m_chunk, m_video.palette()); !decoded)
            return "non si decodifica (" + decoded.error() + ")";
        return foreignDifference(m_foreign->rgb(), m_foreign->width(), m_foreign->height(), true, plan, m_dib.bits(),
                                 m_scratch);
    }

    // A fitted frame is the fitting of its file done again, exactly (every codec of ours that
    // fits frames is lossless: RGB in FFV1 and PNG, 24-bit bitmaps uncompressed).
    std::string fittedDifference(const std::string& path)
    {
        std::optional<FittedPicture> own;
        const FittedPicture& want =
            m_showing && m_reference ? m_reference->of(*m_showing) : own.emplace(fittedPicture(path, *m_fitted));
        if (!want.problem.empty())
            return want.problem;
        const photo::OutputSize size = m_fitted->size;
        if (m_codec == codec::Codec::Raw) {
            const binary::BITMAPINFOHEADER& h = m_video.stream().header;
            if (h.biBitCount != 24 || h.biCompression != binary::BI_RGB)
                return "il video non tiene pixel di 24 bit, come li scrive un salvataggio che adatta le immagini";
            if (!rgbOfBitmapRows(m_chunk, h.biWidth, h.biHeight, m_picture))
                return "il fotogramma è più corto dei suoi pixel";
            return rgbDifference(m_picture, h.biWidth, std::abs(h.biHeight), true, want.rgb, size.width, size.height);
        }
        const codec::DecodedPicture picture = m_decoder->picture();
        if (!rgbOfDecoded(picture, m_picture))
            return "il fotogramma decodificato ha pixel di un'altra forma";
        return rgbDifference(m_picture, picture.width, picture.height, true, want.rgb, size.width, size.height);
    }

    // The frame as ffmpeg decodes it; a frame it would drop (cut short, undecodable) has no line.
    void hash(int index, bool decoded)
    {
        const VideoStream& stream = m_video.stream();
        FrameMd5Stream shown{stream.rate,
                             stream.scale,
                             stream.header.biWidth,
                             stream.header.biHeight < 0 ? -stream.header.biHeight : stream.header.biHeight,
                             0,
                             1};
        if (m_decoder) {
            if (!decoded)
                return;
            const codec::DecodedPicture picture = m_decoder->picture();
            shown.width = picture.width;
            shown.height = picture.height;
            shown.sarNum = picture.sarNum;
            shown.sarDen = picture.sarDen;
            m_decoder->packed(m_picture);
        } else if (m_rleDecoder) {
            if (!m_rleDecoder->decode(m_chunk, m_video.palette()))
                return;
            m_rleDecoder->packed(m_picture);
        } else if (!rawPicture(stream.header, m_chunk, m_video.palette(), m_picture)) {
            return;
        }
        if (!m_hashes->headerWritten())
            m_hashes->header(shown);
        m_hashes->frame(index, m_picture);
    }

    const CheckRequest& m_request;
    std::optional<photo::Framing> m_fitted;
    std::optional<ShownReference> m_reference;  // a fitted slideshow's: what each frame should show
    const slideshow::Shown* m_showing = nullptr;
    AviFrames& m_video;
    codec::Codec m_codec;
    codec::LosslessDecoder* m_decoder;
    FrameMd5* m_hashes;
    std::unique_ptr<codec::LosslessDecoder> m_rleDecoder;  // ffmpeg draws each RLE frame over the one before
    std::unique_ptr<ForeignDecoder> m_foreign;
    bool m_foreignOnly;
    KeptMessage m_message;
    bitmap::cDIB m_dib;
    std::vector<std::uint8_t> m_chunk;
    std::vector<std::uint8_t> m_picture;
    std::vector<std::uint8_t> m_scratch;
    PngStream m_png;
    bool m_comparedClosely = false;
    int m_shownFiles = 0;         // frames compared with their files so far
    int m_shown = 0;              // another writer's codec: the places its pictures have taken
    std::int64_t m_nextLine = 0;  // and the time of the next checksum line
};

// A slideshow's frame at `index` (its frame of the rate): an empty chunk shows the frame before on;
// any other is compared with the picture it should show there.
void takeShown(Checker& checker, ShowTracker& show, int index, CheckOutcome& out, CheckObserver& observer)
{
    if (checker.chunk().empty()) {
        show.heldOn(index);
        return;
    }
    const std::optional<slideshow::Shown> shown = show.frame(index);
    // The frames of a fade are mixes of pictures, compared with the mix drawn again where the
    // pictures were fitted; otherwise hashed only.
    const bool compared = shown && (shown->kind == slideshow::Shown::Kind::Held || checker.comparesFades());
    checker.showing(compared ? &*shown : nullptr);
    checker.take(index, out, compared ? static_cast<int>(shown->picture) : -1);
    checker.showing(nullptr);
    if (shown)
        observer.frameChecked(static_cast<int>(shown->picture));
}

}  // namespace

namespace {

// Why the frames cannot be decoded (or hashed) here; empty when they can. Every size is
// weighed against the file's before a picture is made of it.
std::string decodeRefusal(const AviFrames& video, codec::Codec codec, bool hashes)
{
    const binary::BITMAPINFOHEADER& h = video.stream().header;
    if (codec != codec::Codec::Raw)
        return pictureRefusal(h.biWidth, h.biHeight, video.length());
    return hashes ? rawRefusal(h, video.length()) : std::string();
}

CheckOutcome runCheck(const CheckRequest& request, CheckObserver& observer, const std::atomic<bool>& cancel,
                      FrameMd5* hashes)
{
    CheckOutcome out;
    out.listFrames = static_cast<int>(request.frames.size());
    bool unreadable = false;
    auto opened = AviFrames::open(request.video, unreadable);
    if (!opened) {
        out.reason = opened.error();
        out.result = unreadable ? CheckResult::Unchecked : CheckResult::NotAVideo;
        return out;
    }
    const std::unique_ptr<AviFrames> video = std::move(opened).value();
    const std::optional<codec::Codec> ours = codecOf(video->stream());
    // Another writer's codec is decoded as any compressed stream is: its pictures made whole.
    const codec::Codec codec = ours.value_or(codec::Codec::Ffv1);
    if (std::string refusal = decodeRefusal(*video, codec, hashes != nullptr); !refusal.empty()) {
        out.reason = std::move(refusal);
        return out;
    }
    std::unique_ptr<ForeignDecoder> foreign;
    if (!ours) {
        auto openedForeign = ForeignDecoder::open(video->stream());
        if (!openedForeign) {
            out.reason = openedForeign.error();
            return out;
        }
        foreign = std::move(openedForeign).value();
    } else if (*ours == codec::Codec::Raw && request.compare &&
               rawRefusal(video->stream().header, video->length()).empty()) {
        // Without it, a frame in another layout is only said to differ.
        if (auto openedForeign = ForeignDecoder::open(video->stream()))
            foreign = std::move(openedForeign).value();
    }
    out.approximate = !ours && !foreign->lossless();
    const auto& h = video->stream().header;
    const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    std::unique_ptr<codec::LosslessDecoder> decoder;
    std::unique_ptr<codec::LosslessDecoder> rleDecoder;
    if (ours && *ours != codec::Codec::Raw) {
        auto opened = codec::LosslessDecoder::open(*ours, configurationOf(video->stream()), h.biWidth, height,
                                                   platform::usableCores());
        if (!opened) {
            out.reason = opened.error();
            return out;
        }
        decoder = std::move(opened).value();
    } else if (ours && hashes && (h.biCompression == binary::BI_RLE8 || h.biCompression == binary::BI_RLE4)) {
        auto opened = codec::LosslessDecoder::openRle(h.biWidth, height, h.biBitCount);
        if (!opened) {
            out.reason = opened.error();
            return out;
        }
        rleDecoder = std::move(opened).value();
    }
    std::optional<photo::Framing> fitted;
    if (ours && request.compare && request.fitting)
        fitted = request.fitting(*ours);
    Checker checker(request, *video, codec, decoder.get(), std::move(rleDecoder), std::move(foreign), !ours, hashes,
                    std::move(fitted));
    std::optional<ShowTracker> show;
    if (request.show)
        show.emplace(*request.show, 0);
    out.pictures = show.has_value();
    for (int index = 0;; ++index) {
        if (cancel.load(std::memory_order_relaxed)) {
            out.result = CheckResult::Cancelled;
            return out;
        }
        if (!video->next(checker.chunk()))
            break;
        ++out.videoFrames;
        if (show)
            takeShown(checker, *show, index, out, observer);
        else
            checker.take(index, out);
        if (!show)
            observer.frameChecked(index);
    }
    checker.finish(out);
    if (show) {
        // A slideshow's places are its pictures, met by their times.
        show->end(out.videoFrames);
        const ShowDifferences& timing = show->differences();
        if (timing.count > 0 && (out.differing == 0 || static_cast<int>(timing.picture) <= out.first)) {
            out.first = static_cast<int>(timing.picture);
            out.firstReason = timing.reason;
        }
        out.differing += timing.count;
        if (!video->problem().empty() && request.compare)
            Checker::note(out, static_cast<int>(request.show->pictures()) - 1, video->problem());
        observer.frameChecked(out.listFrames - 1);
        out.result = video->readFailed()  ? CheckResult::Unchecked
                     : out.differing == 0 ? CheckResult::Same
                                          : CheckResult::Different;
        if (video->readFailed())
            out.reason = video->problem();
        return out;
    }
    out.approximate = out.approximate && checker.comparedClosely();
    const std::string& problem = video->problem();
    if (video->readFailed() || (!request.compare && !problem.empty())) {
        out.result = CheckResult::Unchecked;
        out.reason = problem;
        return out;
    }
    if (request.compare && out.videoFrames < out.listFrames) {
        // The files the video lacks need not be read: nothing in the video can match them.
        Checker::note(out, out.videoFrames,
                      "manca nel video" + (problem.empty() ? std::string() : " (" + problem + ")"));
        out.differing += out.listFrames - out.videoFrames - 1;
        observer.frameChecked(out.listFrames - 1);
    } else if (request.compare && !problem.empty()) {
        // A frame cut short at the end is one the video does not hold whole.
        Checker::note(out, out.videoFrames, problem);
    }
    out.result = out.differing == 0 ? CheckResult::Same : CheckResult::Different;
    return out;
}

}  // namespace

CheckOutcome checkVideo(const CheckRequest& request, CheckObserver& observer, const std::atomic<bool>& cancel,
                        FrameMd5* hashes)
{
    try {
        return runCheck(request, observer, cancel, hashes);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    CheckOutcome out;
    out.listFrames = static_cast<int>(request.frames.size());
    out.reason = "non c'è memoria per leggerne i fotogrammi";
    return out;
}

std::string differenceText(const CheckOutcome& outcome, const std::vector<std::string>& frames)
{
    std::string text = (outcome.pictures ? "immagine " : "fotogramma ") + std::to_string(outcome.first + 1);
    if (outcome.first < outcome.listFrames)
        text += " di " + std::to_string(outcome.listFrames) + ", " + frames[static_cast<std::size_t>(outcome.first)];
    text += ": " + outcome.firstReason + "; ";
    const int rest = outcome.differing - 1;
    text += rest == 0   ? "nessun altro diverso"
            : rest == 1 ? "1 altro diverso"
                        : std::to_string(rest) + " altri diversi";
    if (outcome.videoFrames != outcome.listFrames && !outcome.pictures)
        text += " (fotogrammi nel video: " + std::to_string(outcome.videoFrames) +
                ", file: " + std::to_string(outcome.listFrames) + ")";
    return text;
}

}  // namespace kelvora::verify

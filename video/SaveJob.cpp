#include "video/SaveJob.h"

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "codec/LosslessEncoder.h"
#include "video/FramePipeline.h"
#include "video/FrameSource.h"
#include "video/SaveFailure.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <thread>
#include <utility>

namespace kelvora::video {

namespace {

const char* const kWriteError = "C'è stato un errore durante la scrittura del file!";
const char* const kTargetIsAFrame =
    "Il file scelto è uno dei fotogrammi della lista: il filmato non è stato salvato, per non distruggerlo.";

// The handles of one save, released in the fixed order whatever way the save ends: by
// release(), which reports how finishing the file went, or, on any other way out (an
// exception included), when they go.
class SaveHandles {
public:
    explicit SaveHandles(mAVIDecs& avi) : m_avi(avi) {}
    ~SaveHandles() { (void)release(); }
    SaveHandles(const SaveHandles&) = delete;
    SaveHandles& operator=(const SaveHandles&) = delete;

    // Releases everything; the result of finishing the file (0 when it was finished).
    [[nodiscard]] HRESULT release()
    {
        HRESULT finished = 0;
        if (stream)
            m_avi.AVIStreamRelease(std::exchange(stream, nullptr));
        if (compressed)
            m_avi.AVIStreamRelease(std::exchange(compressed, nullptr));
        if (file)
            m_avi.AVIFileRelease(std::exchange(file, nullptr), &finished);
        return finished;
    }

    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    PAVISTREAM compressed = nullptr;

private:
    mAVIDecs& m_avi;
};

HRESULT createStream(mAVIDecs& avi, SaveHandles& handles, const bitmap::cDIB& dib, codec::Codec codec,
                     std::span<const std::uint8_t> format, DWORD rate, DWORD scale)
{
    AVISTREAMINFOA info{};
    info.fccType = avi.mmioStringToFOURCCA("vids", 0);
    info.fccHandler = codecFourCC(codec).value();
    info.dwScale = scale;
    info.dwRate = rate;
    // An uncompressed frame's size is known now; a compressed stream's largest frame is
    // taken as the frames come.
    info.dwSuggestedBufferSize = codec == codec::Codec::Raw ? static_cast<DWORD>(dib.SizeImage()) : 0;
    avi.SetRect(&info.rcFrame, 0, 0, dib.Width(), dib.Height());
    if (const HRESULT result = avi.AVIFileCreateStreamA(handles.file, &handles.stream, &info))
        return result;
    // No compressor in the library: the pixels, or the codec's frames, go in as they are.
    const AVICOMPRESSOPTIONS options{};
    if (const HRESULT result = avi.AVIMakeCompressedStream(&handles.compressed, handles.stream, &options, nullptr))
        return result;
    return avi.AVIStreamSetFormat(handles.compressed, 0, format.data(), static_cast<LONG>(format.size()));
}

// The last frame that loaded: written again for an entry that no longer loads.
struct LastFrame {
    std::unique_ptr<bitmap::cDIB> dib;
    bitmap::FramePlan plan;
    std::vector<std::uint8_t> packet;
    std::string path;

    // Takes the frame's contents; the frame keeps the previous ones' storage for reuse.
    void takeFrom(PreparedFrame& frame)
    {
        std::swap(dib, frame.dib);
        std::swap(plan, frame.plan);
        std::swap(packet, frame.packet);
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
    mAVIDecs& avi;
    const SaveRequest& request;
    const bitmap::FramePlan& first;
    PAVISTREAM stream;
    SaveObserver& observer;
    const std::atomic<bool>& cancel;
    SaveOutcome& out;
    LastFrame last;
    std::vector<std::uint8_t> palette = first.palette;
    std::uint64_t frameBytes = 0;   // the frames' pixel blocks as stored
    std::uint64_t sampleBytes = 0;  // what was written for them
    std::size_t written = 0;        // frames in the file
    // The samples not yet written, from frame `written` on, their frames' stored sizes and,
    // for those copied from their files, the file.
    std::vector<AVISAMPLE> samples{};
    std::vector<std::uint64_t> sourceBytes{};
    std::vector<std::string> copiedFrom{};

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
            if (frame->dib->SizeImage() < kBatchFrameBytes)
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
                    observer.frameStarting(index);
                }
                return false;
            }
        }
        return flush();
    }

    // The frame's sample joins those to be written; false when the save must stop at it.
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
            if (!frame.plan.accepted() || frame.plan.shape != first.shape) {
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
        if (request.codec == codec::Codec::Raw) {
            if (last.plan.palette != palette && !changePalette(index))  // the frame shows its own colours
                return false;
            if (platform::File* pixels = last.dib->pixelFile()) {
                samples.push_back({nullptr,
                                   last.dib->SizeImage(),
                                   AVIIF_KEYFRAME,
                                   {pixels, last.dib->BitOffset(), last.dib->storedBits()}});
                copiedFrom.resize(samples.size());
                copiedFrom.back() = last.path;
            } else {
                samples.push_back({last.dib->PointerToBits(), last.dib->SizeImage(), AVIIF_KEYFRAME});
            }
        } else {
            // Each encoded frame carries its own colours.
            samples.push_back({last.packet.data(), static_cast<LONG>(last.packet.size()), AVIIF_KEYFRAME});
        }
        sourceBytes.push_back(static_cast<std::uint64_t>(last.dib->SizeImage()));
        return true;
    }

    // A palette change takes effect at the next frame written: the samples before it go first.
    bool changePalette(int index)
    {
        if (!flush())
            return false;
        const auto format = bitmap::formatWithPalette(first.format, last.plan.palette);
        out.result = avi.AVIStreamSetFormat(stream, index, format.data(), static_cast<LONG>(format.size()));
        if (out.result != 0) {
            out.reason = formatFailureReason(out.result);
            return false;
        }
        palette = last.plan.palette;
        return true;
    }

    bool flush()
    {
        if (samples.empty())
            return true;
        // The window shows the frame being written as the one in hand.
        observer.frameStarting(static_cast<int>(written + samples.size() - 1));
        LONG done = 0;
        out.result = avi.AVIStreamWriteSamples(stream, static_cast<LONG>(written), samples, &done);
        for (std::size_t i = 0; i < static_cast<std::size_t>(done); ++i) {
            frameBytes += sourceBytes[i];
            sampleBytes += static_cast<std::uint64_t>(samples[i].cbBuffer);
            observer.frameWritten(static_cast<int>(written++));
        }
        if (out.result != 0) {
            const std::size_t failed = std::min(static_cast<std::size_t>(done), samples.size() - 1);
            // A file cut short or rewritten under its copy: the frame is not in the video.
            if (out.result == avifile::AVIERR_FILEREAD && failed < copiedFrom.size() && !copiedFrom[failed].empty())
                out.reason = changedDuringCopyReason(copiedFrom[failed]);
            else
                out.reason = writeFailureReason(request.path, samples[failed].cbBuffer, out.result);
            observer.frameStarting(static_cast<int>(written));  // the frame the write stopped at
        }
        samples.clear();
        sourceBytes.clear();
        copiedFrom.clear();
        return out.result == 0;
    }
};

// The stream's format, and for a compressed video the first encoder, which gave it.
struct StreamFormat {
    std::vector<std::uint8_t> format;
    codec::EncoderPlan plan;
    std::unique_ptr<codec::LosslessEncoder> encoder;
    std::string failure;
};

StreamFormat streamFormatFor(codec::Codec codec, const bitmap::FramePlan& first)
{
    StreamFormat out;
    if (codec == codec::Codec::Raw) {
        // The first frame's own block where that plays, else a standard one that means the same.
        out.format = first.format;
        return out;
    }
    std::string error;
    out.plan = codec::planEncoders(codec, first.shape, static_cast<int>(std::thread::hardware_concurrency()));
    out.encoder = codec::LosslessEncoder::open(codec, first.shape, out.plan.threadsEach, error);
    if (!out.encoder) {
        out.failure = "La compressione " + std::string(codecLabel(codec)) + " non è disponibile: " + error + ".";
        return out;
    }
    out.format = out.encoder->streamFormat(first.palette);
    return out;
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
    bool loaded = false;
    std::size_t entry = 0;
    std::string path;
    bitmap::FramePlan plan;
};

FirstFrame findFirstFrame(FrameSource& source, FrameAdmission* admission, bitmap::cDIB& dib, SaveObserver& observer,
                          SaveOutcome& out)
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
        first.loaded = dib.CreateFromFile(*path);
        first.plan = first.loaded ? bitmap::planFrame(dib) : bitmap::FramePlan{};
        if (admission && !admission->admit(first.entry, first.loaded, dib, first.plan))
            continue;
        first.path = std::move(*path);
        break;
    }
    if (!first.loaded) {
        // The bitmap object has told the user why; nothing was opened.
        out.refused = true;
        out.firstFrameUnreadable = true;
        out.reason = "Il primo fotogramma non si legge più.";
        return first;
    }
    if (!first.plan.accepted()) {
        out.refused = true;
        out.result = avifile::AVIERR_BADFORMAT;
        out.reason = changedFrameReason(first.path, first.plan);
        return first;
    }
    first.found = true;
    return first;
}

}  // namespace

SaveJob::SaveJob(mAVIDecs& avi, platform::MessageBoxService& frameMessages) : m_avi(avi), m_frameMessages(frameMessages)
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
    auto dib = std::make_unique<bitmap::cDIB>(m_frameMessages);
    FirstFrame first = findFirstFrame(source, request.admission, *dib, observer, out);
    if (!first.found)
        return out;
    if (target.known() && dib->fileIdentity() == target) {
        out.refused = true;
        out.result = avifile::AVIERR_BADPARAM;
        out.reason = kTargetIsAFrame;
        return out;
    }
    StreamFormat format = streamFormatFor(request.codec, first.plan);
    if (!format.failure.empty()) {
        out.refused = true;
        out.result = avifile::AVIERR_NOCOMPRESSOR;
        out.reason = std::move(format.failure);
        return out;
    }
    SaveHandles handles{m_avi};
    out.result = m_avi.AVIFileOpen(&handles.file, request.path.c_str(), OF_WRITE | OF_CREATE, nullptr);
    if (out.result != 0) {
        out.reason = openFailureReason(request.path);
        return out;
    }
    out.result = createStream(m_avi, handles, *dib, request.codec, format.format, request.rate, request.scale);
    if (out.result != 0)
        out.reason = formatFailureReason(out.result);
    FrameLoop loop{m_avi, request, first.plan, handles.compressed, observer, cancel, out, {}};
    loop.last.dib = std::make_unique<bitmap::cDIB>(m_frameMessages);
    if (out.result == 0) {
        const auto frameBytes = static_cast<std::size_t>(dib->SizeImage());
        FramePipeline pipeline({source, request.admission, first.entry + 1, target}, std::move(dib),
                               std::move(first.path), m_frameMessages, observer,
                               {request.codec, first.plan.shape, format.plan, std::move(format.encoder)}, frameBytes,
                               cancel);
        (void)loop.run(pipeline);
    }
    const std::size_t written = loop.written;
    out.framesWritten = static_cast<int>(written);
    if (request.admission || out.frameCount < 0)
        out.frameCount = std::max(out.frameCount, out.framesWritten);
    const HRESULT finished = handles.release();
    if (out.result == 0 && finished != 0) {
        out.result = finished;
        out.reason = writeFailureReason(request.path, 0, finished);
    }
    out.finished = out.result == 0 && !out.cancelled && written > 0;
    std::error_code error;
    if (written == 0) {
        // A video without a frame is no video: nothing of it is left behind.
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

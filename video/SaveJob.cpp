#include "video/SaveJob.h"

#include "bitmap/FramePlan.h"
#include "bitmap/cDIB.h"
#include "video/SaveFailure.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <utility>

namespace kelvora::video {

namespace {

const char* const kWriteError = "C'è stato un errore durante la scrittura del file!";

// The handles of one save, released in the fixed order whatever way the save ends.
struct SaveHandles {
    mAVIDecs& avi;
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    PAVISTREAM compressed = nullptr;

    // Releases everything; the result of finishing the file (0 when it was finished).
    [[nodiscard]] HRESULT release()
    {
        HRESULT finished = 0;
        if (stream)
            avi.AVIStreamRelease(std::exchange(stream, nullptr));
        if (compressed)
            avi.AVIStreamRelease(std::exchange(compressed, nullptr));
        if (file)
            avi.AVIFileRelease(std::exchange(file, nullptr), &finished);
        return finished;
    }
};

HRESULT createStream(mAVIDecs& avi, SaveHandles& handles, const bitmap::cDIB& dib,
                     std::span<const std::uint8_t> format, DWORD rate)
{
    AVISTREAMINFOA info{};
    info.fccType = avi.mmioStringToFOURCCA("vids", 0);
    info.fccHandler = 0;
    info.dwScale = 1;
    info.dwRate = rate;
    info.dwSuggestedBufferSize = static_cast<DWORD>(dib.SizeImage());
    avi.SetRect(&info.rcFrame, 0, 0, dib.Width(), dib.Height());
    if (const HRESULT result = avi.AVIFileCreateStreamA(handles.file, &handles.stream, &info))
        return result;
    const AVICOMPRESSOPTIONS options{};  // no compressor: the pixels go in as they are
    if (const HRESULT result = avi.AVIMakeCompressedStream(&handles.compressed, handles.stream, &options, nullptr))
        return result;
    return avi.AVIStreamSetFormat(handles.compressed, 0, format.data(), static_cast<LONG>(format.size()));
}

// Every frame in list order, each loaded into the one bitmap object and written as it is.
struct FrameLoop {
    mAVIDecs& avi;
    const SaveRequest& request;
    const bitmap::FramePlan& first;
    bitmap::cDIB& dib;
    PAVISTREAM stream;
    SaveObserver& observer;
    const std::atomic<bool>& cancel;
    SaveOutcome& out;
    std::vector<std::uint8_t> palette = first.palette;

    // The frames written; out says why the loop stopped early.
    std::size_t run()
    {
        std::size_t written = 0;
        for (std::size_t i = 0; i < request.frames.size(); ++i) {
            if (i > 0 && cancel.load(std::memory_order_relaxed)) {
                out.cancelled = true;
                break;
            }
            const int index = static_cast<int>(i);
            observer.frameStarting(index);
            // A frame that no longer loads is written with the pixels of the last one that
            // did, so the video keeps one frame per entry.
            if (!dib.CreateFromFile(request.frames[i]))
                out.substituted.push_back(index);
            if (!writeFrame(index))
                break;
            ++written;
            observer.frameWritten(index);
        }
        return written;
    }

    bool writeFrame(int index)
    {
        // Only a frame whose bytes no longer mean what the stream's format says stops the
        // save: another size, depth or compression, or rows the file lacks.
        const bitmap::FramePlan plan = bitmap::planFrame(dib);
        if (!plan.accepted() || plan.shape != first.shape) {
            out.result = avifile::AVIERR_BADFORMAT;
            out.reason = changedFrameReason(request.frames[static_cast<std::size_t>(index)]);
            return false;
        }
        if (plan.palette != palette) {  // the frame is shown with its own colours
            const auto format = bitmap::formatWithPalette(first.format, plan.palette);
            out.result = avi.AVIStreamSetFormat(stream, index, format.data(), static_cast<LONG>(format.size()));
            if (out.result != 0) {
                out.reason = formatFailureReason(out.result);
                return false;
            }
            palette = plan.palette;
        }
        out.result = avi.AVIStreamWrite(stream, index, 1, dib.PointerToBits(), dib.SizeImage(), AVIIF_KEYFRAME,
                                        nullptr, nullptr);
        if (out.result != 0) {
            out.reason = writeFailureReason(request.path, dib.SizeImage(), out.result);
            return false;
        }
        return true;
    }
};

}  // namespace

SaveJob::SaveJob(mAVIDecs& avi, platform::MessageBoxService& frameMessages)
    : m_avi(avi), m_frameMessages(frameMessages)
{
}

SaveOutcome SaveJob::run(const SaveRequest& request, SaveObserver& observer, const std::atomic<bool>& cancel)
{
    SaveOutcome out;
    out.frameCount = static_cast<int>(request.frames.size());
    if (std::string why = refusalBeforeOpen(request.path, request.frames); !why.empty()) {
        out.refused = true;
        out.result = avifile::AVIERR_BADPARAM;
        out.reason = std::move(why);
        return out;
    }
    // The list and the first frame are checked before the output is opened: a save that
    // cannot write a single frame leaves the file it was to replace as it was.
    if (request.frames.empty()) {
        out.refused = true;
        out.result = avifile::AVIERR_NODATA;
        out.reason = "La lista dei fotogrammi è vuota.";
        return out;
    }
    bitmap::cDIB dib(m_frameMessages);
    observer.frameStarting(0);
    if (!dib.CreateFromFile(request.frames[0]))
        return out;  // the bitmap object has told the user why; nothing was opened
    // The stream's format is the first frame's, in the form players show (its own header
    // where that plays, else a standard one with the same meaning).
    const bitmap::FramePlan first = bitmap::planFrame(dib);
    if (!first.accepted()) {
        out.result = avifile::AVIERR_BADFORMAT;
        out.reason = changedFrameReason(request.frames[0]);
        return out;
    }
    SaveHandles handles{m_avi};
    out.result = m_avi.AVIFileOpen(&handles.file, request.path.c_str(), OF_WRITE | OF_CREATE, nullptr);
    if (out.result != 0) {
        out.reason = openFailureReason(request.path);
        return out;
    }
    out.result = createStream(m_avi, handles, dib, first.format, request.rate);
    if (out.result != 0)
        out.reason = formatFailureReason(out.result);
    FrameLoop loop{m_avi, request, first, dib, handles.compressed, observer, cancel, out};
    const std::size_t written = out.result == 0 ? loop.run() : 0;
    out.framesWritten = static_cast<int>(written);
    const HRESULT finished = handles.release();
    if (out.result == 0 && finished != 0) {
        out.result = finished;
        out.reason = writeFailureReason(request.path, 0, finished);
    }
    out.finished = out.result == 0 && !out.cancelled && written == request.frames.size() && written > 0;
    if (written == 0) {
        // A video without a frame is no video: nothing of it is left behind.
        std::error_code ignored;
        std::filesystem::remove(request.path, ignored);
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

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
    SaveHandles handles{m_avi};
    out.result = m_avi.AVIFileOpen(&handles.file, request.path.c_str(), OF_WRITE | OF_CREATE, nullptr);
    if (out.result != 0) {
        out.reason = openFailureReason(request.path);
        return out;
    }
    bitmap::cDIB dib(m_frameMessages);
    std::size_t written = 0;
    if (request.frames.empty()) {
        out.result = avifile::AVIERR_NODATA;
        out.reason = "La lista dei fotogrammi è vuota.";
    } else {
        observer.frameStarting(0);
        if (dib.CreateFromFile(request.frames[0])) {
            // The stream's format is the first frame's, in the form players show (its own
            // header where that plays, else a standard one with the same meaning).
            const bitmap::FramePlan first = bitmap::planFrame(dib);
            std::vector<std::uint8_t> palette = first.palette;
            out.result = first.accepted() ? createStream(m_avi, handles, dib, first.format, request.rate)
                                          : avifile::AVIERR_BADFORMAT;
            if (!first.accepted())
                out.reason = changedFrameReason(request.frames[0]);
            else if (out.result != 0)
                out.reason = formatFailureReason(out.result);
            for (std::size_t i = 0; out.result == 0 && i < request.frames.size(); ++i) {
                if (i > 0 && cancel.load(std::memory_order_relaxed)) {
                    out.cancelled = true;
                    break;
                }
                const int index = static_cast<int>(i);
                observer.frameStarting(index);
                // A frame that no longer loads is written with the pixels of the last one
                // that did, so the video keeps one frame per entry.
                if (!dib.CreateFromFile(request.frames[i]))
                    out.substituted.push_back(index);
                // Only a frame whose bytes no longer mean what the stream's format says stops
                // the save: another size, depth or compression, or rows the file lacks.
                const bitmap::FramePlan plan = bitmap::planFrame(dib);
                if (!plan.accepted() || plan.shape != first.shape) {
                    out.result = avifile::AVIERR_BADFORMAT;
                    out.reason = changedFrameReason(request.frames[i]);
                    break;
                }
                if (plan.palette != palette) {  // the frame is shown with its own colours
                    const auto format = bitmap::formatWithPalette(first.format, plan.palette);
                    out.result = m_avi.AVIStreamSetFormat(handles.compressed, index, format.data(),
                                                          static_cast<LONG>(format.size()));
                    if (out.result != 0) {
                        out.reason = formatFailureReason(out.result);
                        break;
                    }
                    palette = plan.palette;
                }
                out.result = m_avi.AVIStreamWrite(handles.compressed, index, 1, dib.PointerToBits(), dib.SizeImage(),
                                                  AVIIF_KEYFRAME, nullptr, nullptr);
                if (out.result != 0) {
                    out.reason = writeFailureReason(request.path, dib.SizeImage());
                    break;
                }
                ++written;
                observer.frameWritten(index);
            }
        }
    }
    out.framesWritten = static_cast<int>(written);
    const HRESULT finished = handles.release();
    if (out.result == 0 && finished != 0) {
        out.result = finished;
        out.reason = writeFailureReason(request.path, 0);
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

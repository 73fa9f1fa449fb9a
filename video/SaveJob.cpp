#include "video/SaveJob.h"

#include "bitmap/cDIB.h"
#include "video/SaveFailure.h"

#include <filesystem>
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

// What every frame must keep of the first one for its bytes to mean what the format says.
struct FrameShape {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitCount = 0;
    std::int32_t sizeImage = 0;

    static FrameShape of(const bitmap::cDIB& dib)
    {
        return {dib.Width(), dib.Height(), dib.BitCount(), dib.SizeImage()};
    }
    bool operator==(const FrameShape&) const = default;
};

HRESULT createStream(mAVIDecs& avi, SaveHandles& handles, const bitmap::cDIB& dib, DWORD rate)
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
    return avi.AVIStreamSetFormat(handles.compressed, 0, dib.PointerToBitmapInfo(), dib.SizeBitmapInfo());
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
    SaveHandles handles{m_avi};
    out.result = m_avi.AVIFileOpen(&handles.file, request.path.c_str(), OF_WRITE | OF_CREATE, nullptr);
    if (out.result != 0) {
        out.reason = openFailureReason(request.path);
        return out;
    }
    std::size_t written = 0;
    out.result = createStream(m_avi, handles, dib, request.rate);
    if (out.result != 0)
        out.reason = formatFailureReason(out.result);
    const FrameShape first = FrameShape::of(dib);
    for (std::size_t i = 0; out.result == 0 && i < request.frames.size(); ++i) {
        if (i > 0 && cancel.load(std::memory_order_relaxed)) {
            out.cancelled = true;
            break;
        }
        const int index = static_cast<int>(i);
        observer.frameStarting(index);
        // Not tested: a frame that no longer loads is written with the pixels of the
        // last one that did, so the video keeps one frame per entry.
        (void)dib.CreateFromFile(request.frames[i]);
        if (!(FrameShape::of(dib) == first)) {
            out.result = avifile::AVIERR_BADFORMAT;
            out.reason = changedFrameReason(request.frames[i]);
            break;
        }
        out.result = m_avi.AVIStreamWrite(handles.compressed, index, 1, dib.PointerToBits(), dib.SizeImage(),
                                          AVIIF_KEYFRAME, nullptr, nullptr);
        if (out.result != 0) {
            out.reason = writeFailureReason(request.path, dib.SizeImage(), out.result);
            break;
        }
        ++written;
        observer.frameWritten(index);
    }
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

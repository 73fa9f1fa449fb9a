#pragma once

#include "codec/Background.h"
#include "codec/Codec.h"
#include "photo/Framing.h"
#include "platform/msgbox/MessageBox.h"
#include "video/VideoSink.h"
#include "video/mAVIDecs.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::video {

class FrameSource;
class FrameAdmission;
struct Slideshow;

// What one save writes: the output file, the frame files in frame order (paths as the file
// system spells them), the rate (rate / scale frames per second) and how the frames are stored.
struct SaveRequest {
    std::string path;
    std::vector<std::string> frames;
    DWORD rate = 25;
    DWORD scale = 1;
    codec::Codec codec = codec::Codec::Raw;
    // The frames from a source of their own instead of `frames` (not owned), and what decides
    // which of its entries become frames (none: every entry does).
    FrameSource* source = nullptr;
    FrameAdmission* admission = nullptr;
    // The file the video is to replace, written beside it and renamed: none of the frames may
    // be that file, by any name. Empty when there is none to protect.
    std::string target = {};
    // The file's container (the sink the frames go to) and, for H.264, libx264's quality.
    Container container = Container::Avi;
    int crf = codec::kDefaultCrf;
    // The video's size (none: the save's own rule, video/Fitting.h), how each picture fits it,
    // and the background: the bars, and what transparency shows over where the video keeps no
    // alpha (H.264, a stream whose first picture is opaque). Black unless the user names one.
    photo::Framing framing = {};
    [[nodiscard]] codec::Background background() const
    {
        return {framing.background.red, framing.background.green, framing.background.blue};
    }
    // A slideshow: pictures of their own durations, with music and fades (not owned). None:
    // every entry one frame.
    const Slideshow* slideshow = nullptr;
};

// Told of the save's progress, on the thread that runs it.
class SaveObserver {
public:
    virtual ~SaveObserver() = default;
    // Entry index is being read from its file, ahead of the frames being written, on the
    // save's loading thread: a message about the file concerns this entry.
    virtual void frameLoading(int index) { (void)index; }
    // Before the first frame is written, `examined` entries have been read ahead (their headers)
    // to decide how the frames go into the video.
    virtual void preparing(int examined) { (void)examined; }
    // Entry index is about to be written: the frame the user should see as the one in hand.
    virtual void frameStarting(int index) = 0;
    // Entry index is in the file.
    virtual void frameWritten(int index) = 0;
};

struct SaveOutcome {
    // The result of the last library call, or our own refusal; 0 when nothing failed.
    HRESULT result = 0;
    // Every frame written and the file finished on disk.
    bool finished = false;
    // Stopped by the user after framesWritten frames (or while the file was being finished);
    // the file is finished and readable.
    bool cancelled = false;
    // Refused: nothing worth keeping was written (before anything was opened, or at a frame
    // that is the file to be replaced).
    bool refused = false;
    int framesWritten = 0;
    // The frames the video was to hold: the entries, or, when an admission decides, those
    // admitted (known in full only when the save was not stopped early).
    int frameCount = 0;
    // Entries that no longer loaded and were written as the frame before them, in order.
    std::vector<int> substituted;
    // The first frame no longer loads: nothing was opened, and its bitmap object has said why.
    bool firstFrameUnreadable = false;
    // The size of the file written, and what the same video would come to uncompressed
    // (each frame's pixel block as its file stores it in place of the codec's frame).
    std::uint64_t fileBytes = 0;
    std::uint64_t uncompressedBytes = 0;
    // Why it failed or was refused, in Italian, for the user; empty when there is nothing to add.
    std::string reason;
    // What the user should know of a video made (frames padded to an even size), in Italian.
    std::string notice;
    // The fitting the frames were given (photo/: upright, sRGB, resampled into this size); unset
    // when each frame is as its file holds it. The check compares with the same.
    std::optional<photo::Framing> fitted;
    // The file the writer put at the path in place of the one written, a finished copy of it
    // (an MP4 given its index first): the video is another file by its identity. Unknown when
    // the file written is the video.
    platform::FileIdentity renewedFile;
    // A slideshow: the video's frames (its pictures are framesWritten) and what it holds of
    // the music ("con audio AAC 2:03"; empty without).
    std::int64_t slideshowFrames = 0;
    std::string audio;
};

// The save proper, without a window: loads the first frame before anything is opened (an
// empty list or a first frame that does not load leaves the disk as it was), opens the file,
// takes the stream's description and format from the first frame (or from the codec), writes
// every frame as one key frame and releases everything in the fixed order. Frames are read
// ahead of the one being written and, compressed, encoded on every core, but written in
// list order. A frame that no longer loads is written as the last one that did (its bitmap
// object has told the user why); a frame whose format changed on disk stops the save, since
// its bytes would contradict the stream's format. A file left holding no frame is removed.
// Safe to run on any thread: it touches no window.
class SaveJob {
public:
    // `sinks` makes the file's sink for the request's container (mux::sinkFor).
    SaveJob(mAVIDecs& avi, platform::MessageBoxService& frameMessages, SinkFactory sinks);

    [[nodiscard]] SaveOutcome run(const SaveRequest& request, SaveObserver& observer, const std::atomic<bool>& cancel);

private:
    mAVIDecs& m_avi;
    platform::MessageBoxService& m_frameMessages;
    SinkFactory m_sinks;
};

// The writer's message for a failed save, with the reason on a second line when known.
[[nodiscard]] std::string failureMessage(const SaveOutcome& outcome);

}  // namespace kelvora::video

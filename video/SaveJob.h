#pragma once

#include "platform/msgbox/MessageBox.h"
#include "video/mAVIDecs.h"

#include <atomic>
#include <string>
#include <vector>

namespace kelvora::video {

// What one save writes: the output file, the frame files in frame order (paths as the file
// system spells them) and the rate in frames per second.
struct SaveRequest {
    std::string path;
    std::vector<std::string> frames;
    DWORD rate = 25;
};

// Told of the save's progress, on the thread that runs it.
class SaveObserver {
public:
    virtual ~SaveObserver() = default;
    // Entry index is being loaded: the frame the user should see as the one in hand.
    virtual void frameStarting(int index) = 0;
    // Entry index is in the file.
    virtual void frameWritten(int index) = 0;
};

struct SaveOutcome {
    // The result of the last library call, or our own refusal; 0 when nothing failed.
    HRESULT result = 0;
    // Every frame written and the file finished on disk.
    bool finished = false;
    // Stopped by the user after framesWritten frames; the file is finished and readable.
    bool cancelled = false;
    // Refused before anything was opened; nothing on disk was touched.
    bool refused = false;
    int framesWritten = 0;
    int frameCount = 0;
    // Entries that no longer loaded and were written as the frame before them, in order.
    std::vector<int> substituted;
    // Why it failed or was refused, in Italian, for the user; empty when there is nothing to add.
    std::string reason;
};

// The save proper, without a window: loads the first frame before anything is opened (an
// empty list or a first frame that does not load leaves the disk as it was), opens the file,
// takes the stream's description and format from the first frame, writes every frame as one key frame and releases everything
// in the fixed order. A frame that no longer loads is written as the last one that did (its
// bitmap object has told the user why); a frame whose format changed on disk stops the save,
// since its bytes would contradict the stream's format. A file left holding no frame is
// removed. Safe to run on any thread: it touches no window.
class SaveJob {
public:
    SaveJob(mAVIDecs& avi, platform::MessageBoxService& frameMessages);

    [[nodiscard]] SaveOutcome run(const SaveRequest& request, SaveObserver& observer,
                                  const std::atomic<bool>& cancel);

private:
    mAVIDecs& m_avi;
    platform::MessageBoxService& m_frameMessages;
};

// The writer's message for a failed save, with the reason on a second line when known.
[[nodiscard]] std::string failureMessage(const SaveOutcome& outcome);

}  // namespace kelvora::video

#pragma once

#include "video/SaveJob.h"
#include "video/SaveWindow.h"

#include <QElapsedTimer>
#include <atomic>

namespace kelvora::video {

// Carries the worker's progress to the window: the worker only stores two counters; the
// window's thread shows them when it asks, at whatever rate the display allows, so the cost
// on screen does not grow with the number of frames.
class SaveProgress final : public SaveObserver {
public:
    SaveProgress(SaveWindow& window, int frames);

    // Worker side.
    void frameLoading(int index) override { m_loading.store(index, std::memory_order_release); }
    void frameStarting(int index) override { m_current.store(index, std::memory_order_release); }
    void frameWritten(int index) override { m_written.store(index + 1, std::memory_order_release); }
    void preparing(int examined) override { m_examined.store(examined, std::memory_order_release); }

    // Window side: brings the window to the save's latest state: the frame in hand selected,
    // then the number of the last frame written in the status line.
    void show();
    // Window side, before a message about a frame's file: the window shows that frame (the one
    // being read, which may be ahead of the one being written) until endMessage.
    void beginMessage();
    void endMessage();

private:
    [[nodiscard]] int secondsLeft(int written) const;

    SaveWindow& m_window;
    const int m_frames;
    std::atomic<int> m_loading{-1};
    std::atomic<int> m_current{-1};
    int m_held = -1;  // the entry a message is about, while it is shown
    std::atomic<int> m_written{0};
    std::atomic<int> m_examined{0};  // entries read ahead, before the first frame is written
    int m_shownExamined = -1;
    int m_shownCurrent = -1;
    int m_shownWritten = -1;
    QElapsedTimer m_clock;
};

}  // namespace kelvora::video

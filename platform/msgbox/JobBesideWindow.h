#pragma once

#include "platform/msgbox/MessageBox.h"
#include "platform/msgbox/RelayedMessages.h"

#include <QObject>

#include <atomic>
#include <functional>

namespace kelvora::platform {

// Runs one job beside the window: the job on a worker thread, the window's thread in a nested
// event loop that keeps painting and ticks the job's progress, the boxes the job asks for
// relayed to the window's thread. The add, the save and the check of a saved video all run
// this way, so they end alike: when the application is told to quit, the loop ends early, the
// cancel flag is set and the relay closed before the worker is waited for, so the window's
// thread and the worker never wait for each other.
class JobBesideWindow {
public:
    // `cancel` is the flag the job polls; `messages` shows the boxes on the window's thread,
    // with `beforeBox` and `afterBox` run there around each one.
    JobBesideWindow(std::atomic<bool>& cancel, MessageBoxService& messages, std::function<void()> beforeBox = {},
                    std::function<void()> afterBox = {});
    JobBesideWindow(const JobBesideWindow&) = delete;
    JobBesideWindow& operator=(const JobBesideWindow&) = delete;

    // The boxes the job asks for on its worker.
    [[nodiscard]] MessageBoxService& boxes() { return m_relay; }

    // Window's thread: runs `job` on a worker, and `tick` every `tickMs` meanwhile; returns once
    // the worker has ended. `job` must not throw.
    void run(const std::function<void()>& job, const std::function<void()>& tick, int tickMs);

    // Window's thread, while it runs: no box is shown from now on, and a worker waiting for one
    // goes on as if it had been closed.
    void closeBoxes() { m_relay.close(); }

private:
    std::atomic<bool>& m_cancel;
    QObject m_windowThread;  // lives on the window's thread: boxes and ticks are queued to it
    RelayedMessages m_relay;
};

}  // namespace kelvora::platform

#pragma once

#include "adding/AddJob.h"
#include "app/AddWindow.h"
#include "platform/msgbox/JobBesideWindow.h"
#include "platform/msgbox/MessageBox.h"

#include <QStringList>
#include <atomic>
#include <functional>

namespace kelvora::app {

// Lists an add's candidates, handing each path to the sink in turn.
using CandidateSink = std::function<void(const QString&)>;
using CandidateLister = std::function<void(const CandidateSink&)>;

// An add run beside the window: the candidates are listed and examined on a worker thread
// while the window's event loop keeps running; entries reach the list in batches and the
// preview and progress follow at display rate. A refused file's message box still comes from
// the window's thread, and the worker waits for it to be closed, unless the add is ending
// with the application.
class AddCommand {
public:
    AddCommand(AddWindow& window, platform::MessageBoxService& messages);

    // Returns when the add has ended and the window has taken its outcome. `listCandidates`
    // runs on the worker (reading a folder of many files takes a while too).
    adding::AddOutcome add(const CandidateLister& listCandidates, const adding::FrameFormat& format);
    // Stops the add before the next candidate; what was admitted stays. Any thread.
    void cancel() { m_cancel.store(true); }
    // The add is to end with the application: it stops as for cancel, and no box keeps it
    // waiting for an answer nobody may give (the one open is closed, no other is shown).
    // The window's thread.
    void quit();
    // Runs on the worker before each candidate is examined (tests act there).
    void setBeforeExamining(std::function<void(int)> hook) { m_beforeExamining = std::move(hook); }
    // Frames of any format are taken in, not left out for differing from the list's.
    void takeAnyFormat() { m_anyFormat = true; }

private:
    AddWindow& m_window;
    platform::MessageBoxService& m_messages;
    std::atomic<bool> m_cancel{false};
    std::function<void(int)> m_beforeExamining;
    bool m_anyFormat = false;
    platform::JobBesideWindow* m_running = nullptr;  // the add under way, if any
};

}  // namespace kelvora::app

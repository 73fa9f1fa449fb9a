#pragma once

// The signals that end a run from outside (Ctrl+C, kill, a terminal or ssh session that
// closes) turned into a request to stop after the frame in hand, so the video is finished
// rather than torn. A closed standard error (SIGPIPE) is no reason to stop at all.

#include <QObject>

#include <atomic>
#include <functional>

namespace kelvora::cli {

// While it lives, SIGINT, SIGTERM and SIGHUP set stopRequested() and SIGPIPE is ignored
// (writes to a closed pipe fail instead). One at a time.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    [[nodiscard]] const std::atomic<bool>& stopRequested() const;
    // The first signal received, 0 when none was.
    [[nodiscard]] int signal() const;
};

// The status of a process ended by that signal, as a shell reports it: 128 + its number.
[[nodiscard]] constexpr int statusForSignal(int signal) { return 128 + signal; }

// For the window: onSignal runs on the event loop (never in the handler) each time one of
// those signals arrives, for as long as context lives.
void callOnStopSignals(QObject& context, std::function<void(int signal)> onSignal);

}  // namespace kelvora::cli

#pragma once

#include <QString>

namespace kelvora::verify {

// What the window's check of a saved video uses of the main window: the hold on its controls
// with the progress and the way to cancel, and the status line. The window's thread only.
class VerifyWindow {
public:
    virtual ~VerifyWindow() = default;
    // The check has started: nothing may change the list or start a save or an add until
    // endCheck; the progress display and the way to cancel show.
    virtual void beginCheck(int frames) = 0;
    // Frames checked of all, and the seconds still needed (negative while unknown).
    virtual void showProgress(int checked, int frames, int secondsLeft) = 0;
    virtual void showStatus(const QString& text) = 0;
    virtual void endCheck() = 0;
};

}  // namespace kelvora::verify

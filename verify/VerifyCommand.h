#pragma once

#include "platform/msgbox/MessageBox.h"
#include "verify/PsnrCheck.h"
#include "verify/SavedVideo.h"
#include "verify/VideoCheck.h"
#include "verify/VerifyWindow.h"

#include <QString>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace kelvora::verify {

// The window's check of a video it saved against the frames it saved it from: the check runs
// on a worker while the window's event loop goes on, with its progress at display rate, and
// can be cancelled. The outcome shows in the status line; a video that does not hold its
// frames, or cannot be checked, also in a message box. An MP4 or Matroska video is measured
// as --verify measures it, and judged alike (judgeFidelity).
class VerifyCommand {
public:
    VerifyCommand(VerifyWindow& window, platform::MessageBoxService& messages);

    // Returns when the check has ended and its outcome has been shown.
    void verify(const SavedVideo& video, const std::vector<std::string>& frames);
    // Stops the check before the next frame. Any thread.
    void cancel() { m_cancel.store(true); }
    // The check is to end with the application: it stops as for cancel, and no box keeps it
    // waiting (the one open is closed, the outcome's is not shown). The window's thread.
    void quit();
    // Runs on the worker after each frame checked (tests act there).
    void setAfterFrame(std::function<void(int)> hook) { m_afterFrame = std::move(hook); }

private:
    void report(const CheckOutcome& outcome, const std::string& video, const std::vector<std::string>& frames);
    void reportMeasured(const PsnrOutcome& outcome, const SavedVideo& video, const std::vector<std::string>& frames);

    VerifyWindow& m_window;
    platform::MessageBoxService& m_messages;
    std::atomic<bool> m_cancel{false};
    bool m_quitting = false;
    std::function<void(int)> m_afterFrame;
};

// The status line after a check: "Verifica riuscita: 3 fotogrammi uguali ai loro file", ...
[[nodiscard]] QString checkStatus(const CheckOutcome& outcome);
// The same for a measured video; on success two lines, the second what the save made and,
// for a lossy codec, the worst frame's PSNR (its number and file name) and the mean:
// "Verifica riuscita: 50 fotogrammi simili ai loro file\nH.264, 14,2 MB, 131 volte più
// piccolo; PSNR minimo 44,8 dB (fotogramma 12, f12.bmp), medio 46,1 dB".
[[nodiscard]] QString measuredStatus(const PsnrOutcome& outcome, const SavedVideo& video,
                                     const std::vector<std::string>& frames);

}  // namespace kelvora::verify

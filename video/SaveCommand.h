#pragma once

#include "platform/dialogs/CommonDialogs.h"
#include "platform/msgbox/MessageBox.h"
#include "video/SaveJob.h"
#include "video/SaveWindow.h"
#include "video/mAVIDecs.h"

#include <QString>
#include <atomic>
#include <string>

namespace kelvora::video {

// "Salva file AVI": asks for the output file and writes the window's frame list, in order,
// as an uncompressed AVI video, one key frame per entry. The frames are loaded and written
// on a worker thread while the window's event loop keeps running: the window repaints,
// shows the progress at display rate and can cancel. A frame's message box still comes
// from the window's thread, and the worker waits for it to be closed. A failure after some
// frames were written says how many the file left behind holds.
class SaveCommand {
public:
    SaveCommand(SaveWindow& window, mAVIDecs& avi, platform::CommonDialogs& dialogs,
                platform::MessageBoxService& messages);

    // Returns when the save has ended and its outcome has been shown.
    void save();
    // Stops the save after the frame being written; the file is finished with the frames
    // written so far. Any thread.
    void cancel() { m_cancel.store(true); }

private:
    [[nodiscard]] bool askForPath(QString& path);

    SaveWindow& m_window;
    mAVIDecs& m_avi;
    platform::CommonDialogs& m_dialogs;
    platform::MessageBoxService& m_messages;
    std::atomic<bool> m_cancel{false};
};

// "1 fotogramma", "N fotogrammi".
[[nodiscard]] QString framesText(int count);
// The text of the status line after a save stopped by the user.
[[nodiscard]] QString cancelledStatus(int written, int frames);
// The message box's text for a failed save.
[[nodiscard]] std::string failureText(const SaveOutcome& outcome);

}  // namespace kelvora::video

#pragma once

#include "platform/dialogs/CommonDialogs.h"
#include "platform/msgbox/MessageBox.h"
#include "video/SaveWindow.h"
#include "video/mAVIDecs.h"

#include <QString>

namespace kelvora::video {

// The frames-per-second box's text as a rate: the number it starts with, to the nearest
// whole number (0 when it starts with none), bounded to 1..30.
[[nodiscard]] DWORD frameRateFromText(const QString& text);

// "Salva file AVI": asks for the output file and writes the window's frame list, in order,
// as an uncompressed AVI video, one key frame per entry, showing its progress.
class AVIWriter {
public:
    AVIWriter(SaveWindow& window, mAVIDecs& avi, platform::CommonDialogs& dialogs,
              platform::MessageBoxService& messages);

    void save();

private:
    [[nodiscard]] bool askForPath(QString& path);

    SaveWindow& m_window;
    mAVIDecs& m_avi;
    platform::CommonDialogs& m_dialogs;
    platform::MessageBoxService& m_messages;
};

}  // namespace kelvora::video

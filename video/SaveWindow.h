#pragma once

#include <QString>
#include <cstdint>

namespace kelvora::video {

// What a save uses of the main window: the frame list, the rate box, the preview and the
// status line, and the window's handle as the save dialog's owner.
class SaveWindow {
public:
    virtual ~SaveWindow() = default;
    // Selects entry index; the window's selection handling runs inside the call.
    virtual void selectEntry(int index) = 0;
    [[nodiscard]] virtual int entryCount() const = 0;
    [[nodiscard]] virtual QString selectedText() const = 0;
    [[nodiscard]] virtual QString fpsText() const = 0;
    // Loads the picture at path into the preview and repaints it at once.
    virtual void showPreview(const QString& path) = 0;
    // Sets the status line and repaints it at once.
    virtual void showStatus(const QString& text) = 0;
    [[nodiscard]] virtual std::int32_t ownerHandle() = 0;
};

}  // namespace kelvora::video

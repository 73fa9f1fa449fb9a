#pragma once

#include "slideshow/Duration.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace kelvora::video {

// What a save uses of the main window: the frame list, the rate box, the preview and the
// status line, the progress display and the window's handle as the save dialog's owner.
// Called on the window's thread only, but for entryCount, entryText and entryDuration, which the save also
// calls on its loading thread while it runs (between beginSave and endSave nothing changes the
// list, and reading it then is safe from any thread).
class SaveWindow {
public:
    virtual ~SaveWindow() = default;
    [[nodiscard]] virtual int entryCount() const = 0;
    [[nodiscard]] virtual QString entryText(int index) const = 0;
    // How long entry index is shown ("Durata…"); none: one frame, 1/rate.
    [[nodiscard]] virtual std::optional<slideshow::Duration> entryDuration(int /*index*/) const { return std::nullopt; }
    [[nodiscard]] virtual QString fpsText() const = 0;
    [[nodiscard]] virtual std::int32_t ownerHandle() = 0;
    // The music the user added to the video ("Aggiungi musica…"), as the file system spells
    // its path; empty for none.
    [[nodiscard]] virtual std::string musicPath() const { return {}; }
    // The list holds frames of more than one format (the user took every format in): a video
    // of them fits each into one size, even where the files would otherwise go in as stored.
    [[nodiscard]] virtual bool mixedFormats() const { return false; }

    // The save has started: nothing may change the list, the rate or start another save
    // until endSave; the progress display and the way to cancel show.
    virtual void beginSave(int frames) = 0;
    // Selects entry index; the window's selection handling (preview, name) runs inside.
    virtual void selectEntry(int index) = 0;
    virtual void showStatus(const QString& text) = 0;
    [[nodiscard]] virtual QString statusText() const = 0;
    // Frames written of all, and the seconds still needed (negative while unknown).
    virtual void showProgress(int written, int frames, int secondsLeft) = 0;
    virtual void endSave() = 0;
};

}  // namespace kelvora::video

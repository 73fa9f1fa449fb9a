#pragma once

#include "adding/AddJob.h"
#include "platform/text/CompactTexts.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

namespace kelvora::app {

// What an add uses of the main window: the frame list, the preview, the progress display,
// the status line and the save button. Called on the window's thread only.
class AddWindow {
public:
    virtual ~AddWindow() = default;

    // The add has started: nothing may change the list, the format, the rate or start a save
    // until endAdd; the progress display and the way to cancel show.
    virtual void beginAdd() = 0;
    // Appends the paths, in order, to the frame list.
    virtual void appendEntries(const platform::CompactTexts& paths) = 0;
    // The size the preview shows a frame at.
    [[nodiscard]] virtual QSize previewSize() const = 0;
    // Shows a frame's picture (loaded away from the window's thread) in the preview.
    virtual void showPicture(const QImage& picture) = 0;
    // Candidates examined so far, of all (negative while the candidates are still being listed).
    virtual void showProgress(int examined, int candidates) = 0;
    // The add has ended: the window takes its frame format, the save button's state and the
    // status line from the outcome and is the user's again.
    virtual void endAdd(const adding::AddOutcome& outcome) = 0;
};

}  // namespace kelvora::app

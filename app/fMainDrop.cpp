// Files and folders dropped on the frame list are added as "Aggiungi BMP" adds them.
#include "app/fMain.h"

#include "adding/FrameSources.h"
#include "platform/toolkit/ListBox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

namespace kelvora::app {

bool fMain::takesDropAt(const QDropEvent& event) const
{
    return acceptsFrames() && lstDIBList->geometry().contains(event.position().toPoint()) &&
           !adding::droppedItems(*event.mimeData()).isEmpty();
}

void fMain::dragEnterEvent(QDragEnterEvent* event)
{
    // Taken anywhere on the window so that moving on to the list is followed; the list
    // alone shows a drop is possible.
    if (acceptsFrames() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void fMain::dragMoveEvent(QDragMoveEvent* event)
{
    if (takesDropAt(*event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void fMain::dropEvent(QDropEvent* event)
{
    if (!takesDropAt(*event)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The drop is taken at once, so the program the files came from does not wait for the
    // add (nor for its message boxes); the add starts from the event loop.
    const QStringList items = adding::droppedItems(*event->mimeData());
    QTimer::singleShot(0, this, [this, items] {
        addFramesFrom([this, items](const std::function<void(const QString&)>& take) {
            adding::forEachFrameCandidate(items, take, &m_listedGaps);
        });
    });
}

}  // namespace kelvora::app

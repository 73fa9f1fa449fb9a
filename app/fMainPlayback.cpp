// "Riproduci (Spazio)": the list played in the preview at the video's rate, from the selected
// frame, looping; each frame is selected as it shows. Any edit, add, save, click in the list
// or Escape stops it.
#include "app/fMain.h"

#include "app/PreviewPlayer.h"
#include "platform/text/Counts.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QLabel>
#include <QScopedValueRollback>

namespace kelvora::app {

void fMain::Riproduci_Click()
{
    if (playing()) {
        stopPlayback();
        return;
    }
    if (busy() || lstDIBList->ListCount() == 0)
        return;
    if (!m_player) {
        m_player = std::make_unique<PreviewPlayer>(imgPreview->pictureArea());
        connect(m_player.get(), &PreviewPlayer::frameShown, this, &fMain::showPlayedFrame);
    }
    const int from = std::max(lstDIBList->ListIndex(), 0);
    m_player->start(lstDIBList->texts(), from, m_rate);
}

void fMain::showPlayedFrame(int index, const QImage& picture)
{
    lstDIBList->setListIndex(index);  // the status names it (lstDIBList_Click)
    imgPreview->setPicture(picture);
}

void fMain::stopPlayback()
{
    if (!playing())
        return;
    m_player->stop();
    const std::int64_t skipped = m_player->skipped();
    const std::int64_t shown = m_player->shown();
    // The frame shown last stays, named as any selected frame.
    lstDIBList_Click();
    if (skipped > 0)
        showStatus(QStringLiteral("Riproduzione fermata: %1 su %2 saltati per stare al passo")
                       .arg(platform::countText(skipped, u"fotogramma", u"fotogrammi", platform::Digits::Grouped))
                       .arg(QString::fromStdString(platform::groupedDigits(skipped + shown))));
}

}  // namespace kelvora::app

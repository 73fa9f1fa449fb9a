// The list's selection handler: shows the selected frame and its file name.
#include "app/fMain.h"

#include "app/PreviewPlayer.h"
#include "platform/picture/PictureLoader.h"
#include "platform/text/Counts.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QLabel>

namespace kelvora::app {

void fMain::lstDIBList_Click()
{
    if (lstDIBList->ListCount() <= 0)
        return;
    const QString text = lstDIBList->Text();
    const int index = lstDIBList->ListIndex();
    if (index < 0) {
        // Nothing selected (a selection just cleared): nothing to name, and no picture.
        showStatus(QString());
        imgPreview->setPicture({});
        return;
    }
    const QString name = text.section(QLatin1Char('/'), -1);
    if (playing()) {
        // The player has the picture already; the status says the playback goes on, and how
        // many frames it could not show in time.
        QString line = QStringLiteral("In riproduzione: ") + name;
        if (const std::int64_t skipped = m_player->skipped(); skipped > 0)
            line += QStringLiteral(" · %1 saltati").arg(QString::fromStdString(platform::groupedDigits(skipped)));
        showStatus(line);
        return;
    }
    showStatus(QStringLiteral("Fotogramma selezionato: ") + name);
    // A file the loader cannot read leaves the preview empty.
    imgPreview->setPicture(platform::LoadPicture(lstDIBList->List(index), imgPreview->pictureArea()));
}

}  // namespace kelvora::app

// The list's selection handler: shows the selected frame and its file name.
#include "app/fMain.h"

#include "platform/picture/PictureLoader.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QLabel>

namespace kelvora::app {

void fMain::lstDIBList_Click()
{
    if (lstDIBList->ListCount() <= 0)
        return;
    const QString text = lstDIBList->Text();
    platform::restoreOwnFont(*lblStatus);  // an adding's summary may have made it smaller
    lblStatus->setText(QStringLiteral("Fotogramma selezionato: ") + text.section(QLatin1Char('/'), -1));
    // With no entry selected, or a file the loader cannot read, the preview is left empty.
    const int index = lstDIBList->ListIndex();
    const QString path = index >= 0 ? lstDIBList->List(index) : QString();
    imgPreview->setPicture(platform::LoadPicture(path, imgPreview->pictureArea()));
}

}  // namespace kelvora::app

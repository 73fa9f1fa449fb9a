// "Aggiungi BMP": one bitmap file, or every BMP file of its folder, appended to the frame
// list when it matches the frame format.
#include "app/fMain.h"

#include "dialogs/cFileDlg.h"
#include "platform/picture/PictureLoader.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace kelvora::app {

void fMain::cmdFileOpen_Click()
{
    dialogs::cFileDlg dialog(m_services.dialogs);
    dialog.setDlgTitle(QStringLiteral("Scegli una cartella contenente file BMP..."));
    dialog.setFilter(QStringLiteral("BMP Files|*.bmp:DIB Files|*.dib"));
    QString chosen;
    QString title;
    (void)dialog.VBGetOpenFileName(chosen, title);  // a cancel shows as an empty InitDirectory
    const QString buffer = dialog.InitDirectory();
    if (buffer.isEmpty())
        return;

    // The folder of the chosen file, with its separator; taken from the buffer's text up to
    // its first NUL, so nothing the dialog left behind that NUL can leak into the paths.
    const QString chosenPath = buffer.left(buffer.indexOf(QChar(u'\0')));
    const QString folderPrefix = chosenPath.left(chosenPath.lastIndexOf(QLatin1Char('/')) + 1);

    // The folder is searched and its files loaded through the prefix, so nothing depends on
    // the process's current folder.
    addFrames(Cartella->checkState() == Qt::Checked ? bmpFilesOfFolder(folderPrefix) : QStringList{chosen});
}

void fMain::addFrames(const QStringList& paths)
{
    FrameAdder adder(m_format, m_services.messages);
    for (const QString& path : paths)
        addCandidate(adder, path);
    if (adder.mismatched() > 0)
        lblStatus->setText(skippedSummary(adder.mismatched(), m_format));
}

void fMain::addCandidate(FrameAdder& adder, const QString& path)
{
    const Admission admission = adder.admit(path);
    if (admission == Admission::Refused)
        return;
    if (admission == Admission::Added) {
        // A frame the picture loader cannot show is still a frame of the video: it is added
        // with an empty preview rather than lost.
        imgPreview->setPicture(platform::LoadPicture(path, imgPreview->pictureArea()));
        lstDIBList->AddItem(path);
    }
    cmdWriteAVI->setEnabled(true);
}

}  // namespace kelvora::app

// "Aggiungi BMP": one bitmap file, or every BMP file of its folder, appended to the frame
// list when it matches the frame format.
#include "app/fMain.h"

#include "bitmap/cDIB.h"
#include "dialogs/cFileDlg.h"
#include "platform/dirsearch/DirectorySearch.h"
#include "platform/picture/PictureLoader.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>

namespace kelvora::app {

namespace {

std::string narrowPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

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

    if (Cartella->checkState() == Qt::Checked) {
        // The folder is searched and its files loaded through the prefix, so nothing depends
        // on the process's current folder.
        platform::DirectorySearch search(narrowPath(folderPrefix.isEmpty() ? QStringLiteral(".") : folderPrefix),
                                         "*.BMP");
        for (std::string name = search.next(); !name.empty(); name = search.next()) {
            const QString bare = QFile::decodeName(name.c_str());
            if (bare.right(4).toUpper() != QLatin1String(".BMP"))
                continue;
            addCandidate(folderPrefix + bare, folderPrefix + bare);
        }
    } else {
        addCandidate(chosen, chosen);
    }
}

void fMain::addCandidate(const QString& path, const QString& entry)
{
    bitmap::cDIB dib(m_services.messages);
    if (!dib.CreateFromFile(narrowPath(path)))
        return;  // the bitmap object has told the user why
    bool accepted = true;
    if (m_formatSet) {
        const std::int32_t width = dib.Width();
        const std::int32_t height = dib.Height();
        const std::int32_t bitCount = dib.BitCount();
        accepted = height == m_formatHeight && width == m_formatWidth && bitCount == m_formatBitCount;
    } else {
        m_formatSet = true;
        m_formatWidth = dib.Width();
        m_formatHeight = dib.Height();
        m_formatBitCount = dib.BitCount();
    }
    if (accepted) {
        // A frame the picture loader cannot show is still a frame of the video: it is added
        // with an empty preview rather than lost.
        imgPreview->setPicture(platform::LoadPicture(path, imgPreview->pictureArea()));
        lstDIBList->AddItem(entry);
    }
    cmdWriteAVI->setEnabled(true);
}

}  // namespace kelvora::app

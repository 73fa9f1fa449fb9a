// "Aggiungi BMP": one picture file (BMP, PNG or JPEG), or every file of its type in its folder,
// appended to the frame list when it matches the frame format. The add runs beside the window, as the save does.
#include "app/fMain.h"

#include "app/AddCommand.h"
#include "dialogs/cFileDlg.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "platform/text/Counts.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kelvora::app {

void fMain::cmdFileOpen_Click()
{
    dialogs::cFileDlg dialog(m_services.dialogs);
    dialog.setDlgTitle(QStringLiteral("Scegli una cartella contenente file BMP..."));
    // Every type the frames can be, then each alone; the DIB filter as it always was.
    dialog.setFilter(QStringLiteral("Immagini|*.bmp;*.png;*.jpg;*.jpeg:Bitmap|*.bmp:Immagini PNG|*.png:"
                                    "Immagini JPEG|*.jpg;*.jpeg:DIB Files|*.dib"));
    // It opens where the last file was chosen in this run (the platform's choice the first time).
    if (!m_lastOpenFolder.isEmpty())
        dialog.setInitDirectory(m_lastOpenFolder);
    QString chosen;
    QString title;
    // Its result says whether a file was chosen: InitDirectory is not empty after a cancel
    // once it was given a folder.
    if (!dialog.VBGetOpenFileName(chosen, title))
        return;
    const QString buffer = dialog.InitDirectory();
    if (buffer.isEmpty())
        return;

    // The folder of the chosen file, with its separator; taken from the buffer's text up to
    // its first NUL, so nothing the dialog left behind that NUL can leak into the paths.
    const QString chosenPath = buffer.left(buffer.indexOf(QChar(u'\0')));
    const QString folderPrefix = chosenPath.left(chosenPath.lastIndexOf(QLatin1Char('/')) + 1);
    m_lastOpenFolder = folderPrefix;

    // The folder is searched and its files loaded through the prefix, so nothing depends on
    // the process's current folder. Its files of the chosen file's type come in (a .bmp, or a
    // .dib, brings the .bmp files; a .jpg or .jpeg the .jpg and .jpeg files).
    // With every format taken in, the folder's pictures of every type come in.
    if (Cartella->checkState() == Qt::Checked)
        addFramesFrom([this, folderPrefix,
                       type = OgniFormato->isChecked()
                                  ? std::nullopt
                                  : std::optional(adding::folderTypeForChosen(chosenPath))](const CandidateSink& take) {
            if (type)
                adding::forEachFrameFileOfFolder(folderPrefix, type, take, &m_listedGaps);
            else
                adding::forEachPictureFileOfFolder(folderPrefix, take, &m_listedGaps);
        });
    else
        addFrames(QStringList{chosen});
}

void fMain::addFrames(const QStringList& paths)
{
    addFramesFrom([paths](const CandidateSink& take) {
        for (const QString& path : paths)
            take(path);
    });
}

// The window as the add sees it: the save's hold on the controls, the progress in the save's
// place, entries appended in batches.
class WindowForAdd final : public AddWindow {
public:
    explicit WindowForAdd(fMain& window) : m_window(window) {}

    void beginAdd() override
    {
        m_window.beginBusyControls(0);
        m_window.jobProgress->setAccessibleName(QStringLiteral("Avanzamento dell'aggiunta"));
        showProgress(0, -1);
    }
    void appendEntries(const platform::CompactTexts& paths) override { m_window.lstDIBList->AddItems(paths); }
    QSize previewSize() const override { return m_window.imgPreview->pictureArea(); }
    // A frame the picture loader cannot show is still a frame of the video: it is added with
    // an empty preview rather than lost.
    void showPicture(const QImage& picture) override { m_window.imgPreview->setPicture(picture); }
    void showProgress(int examined, int candidates) override
    {
        QProgressBar& bar = *m_window.jobProgress;
        if (candidates < 0) {
            bar.setRange(0, 0);  // busy: the folder is still being read
            bar.setFormat(QStringLiteral("Ricerca dei file..."));
            return;
        }
        bar.setRange(0, std::max(candidates, 1));
        bar.setValue(examined);
        bar.setFormat(QStringLiteral("%1 di %2 file esaminati")
                          .arg(QString::fromStdString(platform::groupedDigits(examined)),
                               QString::fromStdString(platform::groupedDigits(candidates))));
    }
    void endAdd(const adding::AddOutcome& outcome) override
    {
        m_window.jobProgress->setAccessibleName(QStringLiteral("Avanzamento del salvataggio"));
        m_window.endBusyControls();
        m_window.m_format = outcome.format;
        if (outcome.enablesSave)
            m_window.cmdWriteAVI->setEnabled(true);
        if (outcome.differing > 0)
            m_window.m_mixedFormats = true;
        QString summary = adding::addSummary(outcome);
        // Numbers missing from the folder's sequence are said even when every file came in.
        if (const std::string gaps = m_window.m_listedGaps.summary(); !gaps.empty())
            summary += (summary.isEmpty() ? QString() : QStringLiteral(" · ")) + QString::fromStdString(gaps);
        if (!summary.isEmpty())
            m_window.showStatus(summary);
    }

private:
    fMain& m_window;
};

void fMain::addFramesFrom(const std::function<void(const std::function<void(const QString&)>&)>& listCandidates)
{
    if (busy())
        return;  // one add or save at a time; the controls that start one are held meanwhile
    stopPlayback();
    m_listedGaps = {};  // the listing fills it on the add's worker
    const int before = lstDIBList->ListCount();
    const adding::FrameFormat formatBefore = m_format;
    WindowForAdd target(*this);
    AddCommand command(target, m_services.messages);
    command.setBeforeExamining(m_beforeExamining);
    if (OgniFormato->isChecked())
        command.takeAnyFormat();
    m_activeAdd = &command;
    (void)command.add(listCandidates, m_format);
    m_activeAdd = nullptr;
    // The frames that came in are one change, undone together.
    if (const int added = lstDIBList->ListCount() - before; added > 0) {
        m_history.record({{}, {{before, added}}, {}, formatBefore, m_format, {}, {}});
        Annulla->setEnabled(true);
        Ripeti->setEnabled(false);
    }
    finishAfterJob();
}

void fMain::OgniFormato_Toggled(bool on)
{
    showStatus(on ? QStringLiteral("Immagini di ogni formato: nel video ciascuna sarà adattata alla sua misura")
                  : QStringLiteral("Solo immagini del formato del primo fotogramma"));
}

}  // namespace kelvora::app

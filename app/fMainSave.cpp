// "Salva file AVI": the save runs beside the window, through the window's own controls.
#include "app/fMain.h"

#include "app/AddCommand.h"
#include "app/Twips.h"
#include "mux/SinkFactory.h"
#include "platform/text/Counts.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"
#include "verify/VerifyCommand.h"
#include "video/SaveCommand.h"
#include "video/StreamRate.h"
#include "video/VideoSink.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <functional>

namespace kelvora::app {

namespace {

// Refuses the user's input to the list while a save runs: clicks, keys and the popup menu
// are dropped on arrival, never held back for later. Scrolling through the list stays free.
class RefuseListInput final : public QObject {
public:
    RefuseListInput(QObject* parent, std::function<void()> cancel) : QObject(parent), m_cancel(std::move(cancel)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            // The list has the focus more often than not: Escape must still reach the save.
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                m_cancel();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::KeyRelease:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    std::function<void()> m_cancel;
};

QString progressText(int written, int frames, int secondsLeft)
{
    return QStringLiteral("%1 di %2").arg(written).arg(platform::qFramesText(frames)) +
           platform::timeLeftSuffix(secondsLeft);
}

}  // namespace

class WindowForSave final : public video::SaveWindow {
public:
    explicit WindowForSave(fMain& window) : m_window(window) {}

    int entryCount() const override { return m_window.lstDIBList->ListCount(); }
    QString entryText(int index) const override { return m_window.lstDIBList->List(index); }
    std::optional<slideshow::Duration> entryDuration(int index) const override { return m_window.entryDuration(index); }
    // Exact, as the batch mode writes rates: the box may show a rounded one.
    QString fpsText() const override
    {
        return QString::fromStdString(video::rateText(m_window.m_rate)).replace(u',', u'.');
    }
    std::int32_t ownerHandle() override { return m_window.hWnd(); }
    std::string musicPath() const override { return m_window.musicPath(); }
    bool mixedFormats() const override { return m_window.mixedFormats(); }
    void beginSave(int frames) override { m_window.beginBusyControls(frames); }
    void selectEntry(int index) override { m_window.lstDIBList->setListIndex(index); }
    void showStatus(const QString& text) override { m_window.showStatus(text); }
    QString statusText() const override { return platform::fullStatusText(*m_window.lblStatus); }
    void showProgress(int written, int frames, int secondsLeft) override
    {
        m_window.jobProgress->setMaximum(std::max(frames, 1));
        m_window.jobProgress->setValue(written);
        m_window.jobProgress->setFormat(progressText(written, frames, secondsLeft));
    }
    void endSave() override { m_window.endBusyControls(); }

private:
    fMain& m_window;
};

void fMain::cmdWriteAVI_Click()
{
    if (busy()) {
        cancelJob();  // the button reads "Annulla (Esc)" while a save or an add runs
        return;
    }
    stopPlayback();
    WindowForSave target(*this);
    video::SaveCommand command(target, m_services.avi, mux::sinkFor, m_services.dialogs, m_services.messages);
    command.setDialogStart(m_saveDialogStart);
    command.setSizeDialog(m_services.sizes);
    command.setFraming(m_framing);
    command.setCrossfade(m_crossfade);
    m_activeSave = &command;
    command.save();
    m_activeSave = nullptr;
    m_saveDialogStart = command.dialogStart();
    m_framing = command.framing();
    m_crossfade = command.crossfade();
    std::optional<std::string> made = command.takeFinished();
    // A slideshow's frames are not the list's one for one: the check, which compares them so,
    // is not offered for it.
    if (made && command.finishedHeldPictures())
        made.reset();
    if (made) {
        // An MP4 or Matroska video is read by libavformat and measured; an AVI by our own reader.
        const bool measured = video::containerForPath(*made) != video::Container::Avi;
        m_savedVideo =
            verify::SavedVideo{std::move(*made), measured, command.finishedSummary(), command.finishedFitting()};
        Verifica->setEnabled(true);
    }
    finishAfterJob();
}

void fMain::cancelJob()
{
    if (busy() && m_stoppingText.isEmpty())
        sayStopping(QStringLiteral("Annullamento…"));
    if (m_activeSave)
        m_activeSave->cancel();
    if (m_activeAdd)
        m_activeAdd->cancel();
    if (m_activeVerify)
        m_activeVerify->cancel();
}

void fMain::quitWork()
{
    if (busy())
        sayStopping(QStringLiteral("Chiusura…"));
    if (m_activeSave)
        m_activeSave->quit();
    if (m_activeAdd)
        m_activeAdd->quit();
    if (m_activeVerify)
        m_activeVerify->quit();
}

void fMain::beginBusyControls(int frames)
{
    if (!jobProgress) {
        jobProgress = new QProgressBar(this);
        jobProgress->setGeometry(Command1->geometry());
        jobProgress->setAlignment(Qt::AlignCenter);
        jobProgress->setAccessibleName(QStringLiteral("Avanzamento del salvataggio"));
        m_cancelShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        connect(m_cancelShortcut, &QShortcut::activated, this, &fMain::cancelJob);
        m_listInputBlock = new RefuseListInput(this, [this] { cancelJob(); });
    }
    for (QWidget* control : std::initializer_list<QWidget*>{Command1, Cartella, HScroll, cmdFileOpen})
        control->setEnabled(false);
    lstDIBList->installEventFilter(m_listInputBlock);
    lstDIBList->viewport()->installEventFilter(m_listInputBlock);
    m_writeWasEnabled = cmdWriteAVI->isEnabled();
    cmdWriteAVI->setText(QStringLiteral("Annulla (Esc)"));
    cmdWriteAVI->setEnabled(true);
    m_cancelShortcut->setEnabled(true);
    jobProgress->setRange(0, std::max(frames, 1));
    jobProgress->setValue(0);
    jobProgress->setFormat(progressText(0, frames, -1));
    Command1->hide();
    jobProgress->show();
}

void fMain::endBusyControls()
{
    m_stoppingText.clear();
    jobProgress->hide();
    Command1->show();
    m_cancelShortcut->setEnabled(false);
    cmdWriteAVI->setText(QStringLiteral("Salva file AVI"));
    cmdWriteAVI->setEnabled(m_writeWasEnabled);
    lstDIBList->removeEventFilter(m_listInputBlock);
    lstDIBList->viewport()->removeEventFilter(m_listInputBlock);
    for (QWidget* control : std::initializer_list<QWidget*>{Command1, Cartella, HScroll, cmdFileOpen})
        control->setEnabled(true);
}

void fMain::finishAfterJob()
{
    if (std::exchange(m_exitWhenIdle, false)) {
        m_closeWhenIdle = false;
        cmdExit_Click();
    } else if (std::exchange(m_closeWhenIdle, false)) {
        close();
    }
}

}  // namespace kelvora::app

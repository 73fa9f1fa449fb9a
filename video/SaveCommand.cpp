#include "video/SaveCommand.h"

#include "dialogs/cFileDlg.h"
#include "video/FrameRate.h"
#include "video/SaveJob.h"
#include "video/SaveProgress.h"

#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <thread>

namespace kelvora::video {

namespace {

// How often the window takes in the save's progress: about two display frames.
constexpr int kShowEveryMs = 25;

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A frame's message box, asked for on the worker and shown on the window's thread, with the
// window first brought to the frame in hand. The worker waits until the box is closed.
class RelayedMessages final : public platform::MessageBoxService {
public:
    RelayedMessages(QObject& windowThread, platform::MessageBoxService& target, SaveProgress& progress)
        : m_windowThread(windowThread), m_target(target), m_progress(progress)
    {
    }

    void MsgBox(const std::string& text, int style, const std::string& title) override
    {
        auto show = [&] {
            m_progress.show();
            m_target.MsgBox(text, style, title);
        };
        if (QThread::currentThread() == m_windowThread.thread())
            show();
        else
            QMetaObject::invokeMethod(&m_windowThread, show, Qt::BlockingQueuedConnection);
    }

private:
    QObject& m_windowThread;
    platform::MessageBoxService& m_target;
    SaveProgress& m_progress;
};

SaveRequest requestFrom(SaveWindow& window, const QString& path)
{
    SaveRequest request;
    request.path = localPath(path);
    request.rate = frameRateFromText(window.fpsText());
    const int count = window.entryCount();
    request.frames.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        request.frames.push_back(localPath(window.entryText(i)));
    return request;
}

}  // namespace

QString cancelledStatus(int written, int frames)
{
    return QStringLiteral("Annullato: %1 fotogrammi su %2 salvati").arg(written).arg(frames);
}

SaveCommand::SaveCommand(SaveWindow& window, mAVIDecs& avi, platform::CommonDialogs& dialogs,
                         platform::MessageBoxService& messages)
    : m_window(window), m_avi(avi), m_dialogs(dialogs), m_messages(messages)
{
}

bool SaveCommand::askForPath(QString& path)
{
    dialogs::cFileDlg dialog(m_dialogs);
    dialog.setDefaultExt(QStringLiteral("avi"));
    dialog.setDlgTitle(QStringLiteral("Salva il filmato AVI..."));
    dialog.setFilter(QStringLiteral("AVI Files|*.avi"));
    dialog.setOwnerHwnd(m_window.ownerHandle());
    path = QStringLiteral("il_mio_filmato.avi");
    QString title;
    return dialog.VBGetSaveFileName(path, title);
}

void SaveCommand::save()
{
    QString path;
    if (!askForPath(path))
        return;

    // Nothing can change the list or the rate while the save runs, so both are taken once.
    const SaveRequest request = requestFrom(m_window, path);
    const int frames = static_cast<int>(request.frames.size());
    m_cancel.store(false);
    m_window.showStatus(QString());  // the previous save's outcome no longer holds
    m_window.beginSave(frames);

    SaveProgress progress(m_window, frames);
    QObject windowThread;
    RelayedMessages frameMessages(windowThread, m_messages, progress);
    QEventLoop loop;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &windowThread, [&progress] { progress.show(); });
    ticker.start(kShowEveryMs);

    SaveOutcome outcome;
    {
        std::jthread worker([&] {
            try {
                outcome = SaveJob(m_avi, frameMessages).run(request, progress, m_cancel);
            } catch (const std::exception&) {
                outcome.result = avifile::AVIERR_INTERNAL;
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
    }
    ticker.stop();
    progress.show();  // the final state, whatever the last tick showed
    m_window.endSave();

    if (outcome.result != 0) {
        m_messages.MsgBox(failureMessage(outcome), platform::vbInformation, std::string(platform::AppTitle));
    } else if (outcome.finished) {
        // Only a file that was finished on disk is reported as made.
        m_window.showStatus(QStringLiteral("Il file AVI è stato creato con successo!"));
    } else if (outcome.cancelled) {
        m_window.showStatus(cancelledStatus(outcome.framesWritten, frames));
    }
}

}  // namespace kelvora::video

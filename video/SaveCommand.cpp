#include "video/SaveCommand.h"

#include "dialogs/cFileDlg.h"
#include "platform/msgbox/JobBesideWindow.h"
#include "platform/text/PathNames.h"
#include "video/FrameRate.h"
#include "video/FrameSource.h"
#include "video/SaveJob.h"
#include "video/SaveProgress.h"
#include "video/SaveSummary.h"
#include "platform/text/Counts.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdint>

namespace kelvora::video {

namespace {

// How often the window takes in the save's progress: about two display frames.
constexpr int kShowEveryMs = 25;

// The window's entries as the save reads them, on its loading thread, without a copy of the
// list: nothing changes the list while a save runs.
class WindowEntries final : public FrameSource {
public:
    explicit WindowEntries(SaveWindow& window) : m_window(window), m_count(window.entryCount()) {}
    [[nodiscard]] int count() const override { return m_count; }
    [[nodiscard]] std::optional<std::string> next() override
    {
        if (m_next == m_count)
            return std::nullopt;
        return platform::nativePath(m_window.entryText(m_next++));
    }

private:
    SaveWindow& m_window;
    const int m_count;
    int m_next = 0;
};

SaveRequest requestFrom(SaveWindow& window, const QString& path, FrameSource& entries)
{
    SaveRequest request;
    request.path = platform::nativePath(path);
    request.rate = frameRateFromText(window.fpsText());
    request.source = &entries;
    return request;
}

}  // namespace

codec::Codec codecForFilter(std::int32_t filterIndex)
{
    switch (filterIndex) {
    case 2:
        return codec::Codec::Ffv1;
    case 3:
        return codec::Codec::Png;
    case 4:
        return codec::Codec::Ffv1;
    case 5:
        return codec::Codec::H264;
    default:
        return codec::Codec::Raw;
    }
}

SaveType saveTypeFor(std::int32_t filterIndex, const QString& chosen)
{
    SaveType type{chosen, containerForPath(chosen.toStdString()), codecForFilter(filterIndex)};
    if (type.container == Container::Avi && filterIndex >= 4) {
        // The type asks for Matroska or MP4: the name takes its extension (in place of .avi).
        type.container = filterIndex == 4 ? Container::Matroska : Container::Mp4;
        if (type.path.endsWith(QStringLiteral(".avi"), Qt::CaseInsensitive))
            type.path.chop(4);
        type.path += type.container == Container::Matroska ? QStringLiteral(".mkv") : QStringLiteral(".mp4");
    }
    if (type.container != Container::Avi || !containerHolds(type.container, type.codec))
        type.codec = defaultCodecFor(type.container, codec::Codec::Raw);
    return type;
}

QString finishedStatus(const SaveOutcome& outcome, codec::Codec codec, Container container)
{
    QString text = container == Container::Avi   ? QStringLiteral("Il file AVI è stato creato con successo!")
                   : container == Container::Mp4 ? QStringLiteral("Il video MP4 è stato creato con successo!")
                                                 : QStringLiteral("Il video Matroska è stato creato con successo!");
    // The success first; the codec and sizes on a line of their own, so neither is cut.
    if (codec != codec::Codec::Raw)
        text += QStringLiteral("\n(%1)").arg(
            QString::fromStdString(savedSummary(codec, outcome.fileBytes, outcome.uncompressedBytes)));
    if (!outcome.notice.empty())
        text += QStringLiteral("; ") + QString::fromStdString(outcome.notice);
    return text;
}

namespace {

bool isSaveOutcome(const QString& status)
{
    return status.contains(QStringLiteral("è stato creato con successo!")) ||
           status.startsWith(QStringLiteral("Annullato: "));
}

}  // namespace

QString cancelledStatus(int written, int frames)
{
    return QStringLiteral("Annullato: %1 su %2 %3")
        .arg(platform::qFramesText(written))
        .arg(frames)
        .arg(written == 1 ? QStringLiteral("salvato") : QStringLiteral("salvati"));
}

std::string failureText(const SaveOutcome& outcome, LeftOnDisk left)
{
    std::string text = failureMessage(outcome);
    if (left == LeftOnDisk::Partial)
        text += QStringLiteral("\r\nIl file rimasto è parziale: contiene %1 su %2.")
                    .arg(platform::qFramesText(outcome.framesWritten))
                    .arg(outcome.frameCount)
                    .toStdString();
    else if (left == LeftOnDisk::OldFile)
        text += "\r\nIl file che c'era prima è rimasto com'era.";
    return text;
}

SaveCommand::SaveCommand(SaveWindow& window, mAVIDecs& avi, platform::CommonDialogs& dialogs,
                         platform::MessageBoxService& messages)
    : m_window(window), m_avi(avi), m_dialogs(dialogs), m_messages(messages)
{
}

void SaveCommand::quit()
{
    m_cancel.store(true);
    if (m_running)
        m_running->closeBoxes();
    m_messages.closeShown();
}

bool SaveCommand::askForPath(SaveType& type)
{
    QString path;
    dialogs::cFileDlg dialog(m_dialogs);
    dialog.setDefaultExt(QStringLiteral("avi"));
    dialog.setDlgTitle(QStringLiteral("Salva il filmato AVI..."));
    dialog.setFilter(QString::fromUtf8(kSaveFilter));
    dialog.setOwnerHwnd(m_window.ownerHandle());
    path = QStringLiteral("il_mio_filmato.avi");
    QString title;
    if (!dialog.VBGetSaveFileName(path, title))
        return false;
    type = saveTypeFor(dialog.FilterIndex(), path);
    // The dialog asked about replacing the name chosen, not the one the type gave it.
    if (type.path != path && QFileInfo::exists(type.path)) {
        m_messages.MsgBox(QStringLiteral("Il file %1 esiste già: scegli un altro nome.")
                              .arg(QFileInfo(type.path).fileName())
                              .toStdString(),
                          platform::vbInformation, std::string(platform::AppTitle));
        return false;
    }
    return true;
}

void SaveCommand::save()
{
    SaveType type;
    if (!askForPath(type))
        return;

    // Nothing can change the list or the rate while the save runs, so both are taken once.
    WindowEntries entries(m_window);
    SaveRequest request = requestFrom(m_window, type.path, entries);
    request.codec = type.codec;
    request.container = type.container;
    const int frames = entries.count();
    m_cancel.store(false);
    const QString statusBefore = m_window.statusText();
    m_window.showStatus(QString());  // the previous save's outcome no longer holds
    const auto [outcome, left] =
        saveBesideTarget(request, [this](const SaveRequest& hidden) { return runBesideWindow(hidden); });

    if (outcome.result != 0) {
        // A refused save kept nothing: the status stays as it was, unless it told of an earlier
        // save, which this one must not seem to be.
        if (outcome.refused && !isSaveOutcome(statusBefore))
            m_window.showStatus(statusBefore);
        m_messages.MsgBox(failureText(outcome, left), platform::vbInformation, std::string(platform::AppTitle));
    } else if (outcome.finished) {
        // Only a file that was finished on disk is reported as made.
        m_window.showStatus(finishedStatus(outcome, request.codec, request.container));
        m_finished = std::move(request.path);
        m_finishedSummary = request.codec == codec::Codec::Raw
                                ? std::string()
                                : savedSummary(request.codec, outcome.fileBytes, outcome.uncompressedBytes);
    } else if (outcome.cancelled) {
        m_window.showStatus(cancelledStatus(outcome.framesWritten, frames));
    }
}

SaveOutcome SaveCommand::runBesideWindow(const SaveRequest& request)
{
    const int frames = request.source->count();
    m_window.beginSave(frames);
    SaveProgress progress(m_window, frames);
    platform::JobBesideWindow beside(
        m_cancel, m_messages, [&progress] { progress.beginMessage(); }, [&progress] { progress.endMessage(); });
    SaveOutcome outcome;
    m_running = &beside;
    beside.run(
        [&] {
            try {
                outcome = SaveJob(m_avi, beside.boxes()).run(request, progress, m_cancel);
            } catch (const std::exception&) {
                outcome.result = avifile::AVIERR_INTERNAL;
            }
        },
        [&progress] { progress.show(); }, kShowEveryMs);
    m_running = nullptr;
    progress.show();  // the final state, whatever the last tick showed
    m_window.endSave();
    return outcome;
}

}  // namespace kelvora::video

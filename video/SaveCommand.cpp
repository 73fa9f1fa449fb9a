#include "video/SaveCommand.h"

#include "dialogs/cFileDlg.h"
#include "platform/msgbox/JobBesideWindow.h"
#include "platform/text/PathNames.h"
#include "video/Fitting.h"
#include "video/FrameRate.h"
#include "video/FrameSource.h"
#include "video/SaveJob.h"
#include "video/SaveProgress.h"
#include "video/SaveSummary.h"
#include "video/StreamRate.h"
#include "platform/text/Counts.h"

#include <QFileInfo>
#include <QStringList>
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
    // The window's exact rate ("30000/1001" stays NTSC); any other text as the number box read.
    if (const std::optional<StreamRate> exact = streamRateFromText(window.fpsText().trimmed().toStdString())) {
        request.rate = exact->rate;
        request.scale = exact->scale;
    } else {
        request.rate = frameRateFromText(window.fpsText());
    }
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
    if (!outcome.audio.empty())
        text += (codec != codec::Codec::Raw ? QStringLiteral(", ") : QStringLiteral("\n")) +
                QString::fromStdString(outcome.audio);
    if (!outcome.notice.empty())
        text += QStringLiteral("; ") + QString::fromStdString(outcome.notice);
    return text;
}

QString substitutedStatus(const QStringList& missing, Container container)
{
    const QString made = container == Container::Avi   ? QStringLiteral("Il file AVI è stato creato")
                         : container == Container::Mp4 ? QStringLiteral("Il video MP4 è stato creato")
                                                       : QStringLiteral("Il video Matroska è stato creato");
    const QString count = missing.size() == 1
                              ? QStringLiteral("1 fotogramma non si leggeva più")
                              : QStringLiteral("%1 fotogrammi non si leggevano più").arg(missing.size());
    return made +
           QStringLiteral(", ma %1 e ripete il precedente: %2")
               .arg(count, missing.front().section(QLatin1Char('/'), -1)) +
           (missing.size() > 1 ? QStringLiteral(" e altri") : QString());
}

std::string substitutedText(const QStringList& missing)
{
    constexpr int kNamed = 10;
    QString text = missing.size() == 1
                       ? QStringLiteral("Il video è stato creato, ma un fotogramma non si leggeva più al momento del "
                                        "salvataggio: al suo posto il video ripete il fotogramma precedente.")
                       : QStringLiteral("Il video è stato creato, ma %1 fotogrammi non si leggevano più al momento del "
                                        "salvataggio: al loro posto il video ripete il fotogramma precedente.")
                             .arg(missing.size());
    for (int i = 0; i < std::min<int>(kNamed, static_cast<int>(missing.size())); ++i)
        text += QStringLiteral("\r\n") + missing[i];
    if (missing.size() > kNamed)
        text += QStringLiteral("\r\n... e altri %1").arg(missing.size() - kNamed);
    return text.toStdString();
}

namespace {

bool isSaveOutcome(const QString& status)
{
    return status.contains(QStringLiteral("è stato creato con successo!")) ||
           status.contains(QStringLiteral("e ripete il precedente")) ||
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

SaveCommand::SaveCommand(SaveWindow& window, mAVIDecs& avi, SinkFactory sinks, platform::CommonDialogs& dialogs,
                         platform::MessageBoxService& messages)
    : m_window(window), m_avi(avi), m_sinks(std::move(sinks)), m_dialogs(dialogs), m_messages(messages)
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
    if (!m_dialogStart.folder.isEmpty())
        dialog.setInitDirectory(m_dialogStart.folder);
    dialog.setFilterIndex(m_dialogStart.filterIndex);
    // The name proposed has the extension of the type the dialog starts with.
    path = m_dialogStart.filterIndex == 4   ? QStringLiteral("il_mio_filmato.mkv")
           : m_dialogStart.filterIndex == 5 ? QStringLiteral("il_mio_filmato.mp4")
                                            : QStringLiteral("il_mio_filmato.avi");
    QString title;
    if (!dialog.VBGetSaveFileName(path, title))
        return false;
    m_dialogStart = {QFileInfo(path).absolutePath(), dialog.FilterIndex()};
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

bool SaveCommand::askForFraming(const SaveType& type)
{
    if (m_sizeDialog == nullptr)
        return true;
    const std::optional<dialogs::VideoSettings> chosen =
        m_sizeDialog->askSettings(m_settings, type.codec != codec::Codec::Raw, m_window.ownerHandle());
    if (!chosen)
        return false;
    m_settings = *chosen;
    return true;
}

std::optional<Slideshow> SaveCommand::slideshowFor(const SaveType& type, int entries) const
{
    Slideshow show;
    show.audio = m_window.musicPath();
    // An uncompressed AVI keeps each file's bytes: the step offered no crossfade for it.
    if (type.codec != codec::Codec::Raw)
        show.fades.crossfade = m_settings.crossfade;
    for (int index = 0; index < entries; ++index)
        if (const std::optional<slideshow::Duration> duration = m_window.entryDuration(index)) {
            show.durations.resize(static_cast<std::size_t>(entries));
            show.durations[static_cast<std::size_t>(index)] = duration;
        }
    if (show.audio.empty() && show.durations.empty() && !show.fades.any())
        return std::nullopt;
    return show;
}

void SaveCommand::save()
{
    SaveType type;
    if (!askForPath(type) || !askForFraming(type))
        return;

    // Nothing can change the list or the rate while the save runs, so both are taken once.
    WindowEntries entries(m_window);
    SaveRequest request = requestFrom(m_window, type.path, entries);
    request.codec = type.codec;
    request.container = type.container;
    request.framing = m_settings.framing;
    // Frames of several formats cannot go in as their files hold them: with no size chosen they
    // are fitted into the first frame's upright size, which the stored frames would have had.
    if (request.framing.size.original() && request.codec == codec::Codec::Raw && m_window.mixedFormats() &&
        entries.count() > 0)
        request.framing.size = lookOfFile(platform::nativePath(m_window.entryText(0))).upright();
    // The music is put beside the frames and cut or padded to their length; each frame lasts
    // its entry's duration, or one frame.
    m_show = slideshowFor(type, entries.count());
    if (m_show)
        request.slideshow = &*m_show;
    m_finishedHeld = false;
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
    } else if (outcome.finished && !outcome.substituted.empty()) {
        // A frame whose file went missing was written as the one before it: the video is not
        // the list, and the status and a box say which frames are not what they should be.
        QStringList names;
        for (const int index : outcome.substituted)
            names << m_window.entryText(index);
        m_window.showStatus(substitutedStatus(names, request.container));
        m_messages.MsgBox(substitutedText(names), platform::vbInformation, std::string(platform::AppTitle));
    } else if (outcome.finished) {
        // Only a file that was finished on disk is reported as made.
        m_window.showStatus(finishedStatus(outcome, request.codec, request.container));
        m_finished = std::move(request.path);
        m_finishedFitting = outcome.fitted;
        m_finishedHeld = m_show && m_show->holdsPictures();
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
                outcome = SaveJob(m_avi, beside.boxes(), m_sinks).run(request, progress, m_cancel);
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

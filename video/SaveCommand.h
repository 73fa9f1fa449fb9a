#pragma once

#include "dialogs/VideoSizeDialog.h"
#include "platform/dialogs/CommonDialogs.h"
#include "platform/msgbox/JobBesideWindow.h"
#include "platform/msgbox/MessageBox.h"
#include "video/SaveDialogStart.h"
#include "video/SaveJob.h"
#include "video/Slideshow.h"
#include "video/SaveTarget.h"
#include "video/SaveWindow.h"
#include "video/mAVIDecs.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace kelvora::video {

struct SaveType;

// "Salva file AVI": asks for the output file and writes the window's frame list, in order,
// as an uncompressed AVI video, one key frame per entry. The frames are loaded and written
// on a worker thread while the window's event loop keeps running: the window repaints,
// shows the progress at display rate and can cancel. A frame's message box still comes
// from the window's thread, and the worker waits for it to be closed. The video is written
// beside the chosen file and takes its name when finished (SaveTarget.h); a failure says
// what is left on disk: the old file as it was, or a partial video and how many frames it holds.
class SaveCommand {
public:
    // `sinks` makes the video's sink for its container (mux::sinkFor).
    SaveCommand(SaveWindow& window, mAVIDecs& avi, SinkFactory sinks, platform::CommonDialogs& dialogs,
                platform::MessageBoxService& messages);

    // Returns when the save has ended and its outcome has been shown.
    void save();
    // Where the save dialog starts; after a file was chosen, that file's folder and type.
    void setDialogStart(SaveDialogStart start) { m_dialogStart = std::move(start); }
    [[nodiscard]] const SaveDialogStart& dialogStart() const { return m_dialogStart; }
    // The step after the save dialog that asks for the video's size and fit (none: no step, the
    // save's own rule), and what it starts from; after a save was asked for, what was chosen.
    void setSizeDialog(dialogs::VideoSizeDialog* dialog) { m_sizeDialog = dialog; }
    void setFraming(const photo::Framing& framing) { m_settings.framing = framing; }
    [[nodiscard]] const photo::Framing& framing() const { return m_settings.framing; }
    // How long each picture blends into the next, asked in the same step (none: a cut); drawn
    // only in the videos that decode their frames.
    void setCrossfade(std::optional<slideshow::Duration> crossfade) { m_settings.crossfade = crossfade; }
    [[nodiscard]] std::optional<slideshow::Duration> crossfade() const { return m_settings.crossfade; }
    // The finished video is a slideshow whose pictures last other than a frame each (durations
    // or a crossfade): its frames are not the list's one for one.
    [[nodiscard]] bool finishedHeldPictures() const { return m_finishedHeld; }
    // Stops the save after the frame being written; the file is finished with the frames
    // written so far. Any thread.
    void cancel() { m_cancel.store(true); }
    // The save is to end with the application: it stops as for cancel, and no box keeps it
    // waiting for an answer nobody may give (the one open, the outcome's included, is closed;
    // no frame's box is shown any more). The window's thread.
    void quit();
    // The save finished a whole video: its file (under the name chosen), for a check of the
    // video against the list afterwards. Empty otherwise.
    [[nodiscard]] std::optional<std::string> takeFinished() { return std::exchange(m_finished, std::nullopt); }
    // What the finished save made, as its status line says it ("H.264, 14,2 MB, 131 volte
    // più piccolo"); empty for an uncompressed video.
    [[nodiscard]] const std::string& finishedSummary() const { return m_finishedSummary; }
    // The fitting the finished video's frames were given; unset when kept as their files hold them.
    [[nodiscard]] const std::optional<photo::Framing>& finishedFitting() const { return m_finishedFitting; }

private:
    [[nodiscard]] bool askForPath(SaveType& type);
    // The size and fit of the video: asked after its file, or the last ones. False on cancel.
    [[nodiscard]] bool askForFraming(const SaveType& type);
    // The music, the entries' durations and the crossfade of the save of `type`; none of them: empty.
    [[nodiscard]] std::optional<Slideshow> slideshowFor(const SaveType& type, int entries) const;
    // Runs the save job on a worker while the window's event loop goes on; returns when it has ended.
    [[nodiscard]] SaveOutcome runBesideWindow(const SaveRequest& request);

    SaveWindow& m_window;
    mAVIDecs& m_avi;
    SinkFactory m_sinks;
    platform::CommonDialogs& m_dialogs;
    platform::MessageBoxService& m_messages;
    std::atomic<bool> m_cancel{false};
    platform::JobBesideWindow* m_running = nullptr;  // the save under way, if any
    std::optional<std::string> m_finished;
    std::string m_finishedSummary;
    std::optional<photo::Framing> m_finishedFitting;
    SaveDialogStart m_dialogStart;
    dialogs::VideoSizeDialog* m_sizeDialog = nullptr;
    dialogs::VideoSettings m_settings;
    std::optional<Slideshow> m_show;  // the save's music, durations and fades, while it runs
    bool m_finishedHeld = false;
};

// The save dialog's types: the uncompressed video first (the one chosen unless the user picks
// another), then the lossless compressed ones, FFV1 and PNG.
inline constexpr const char* kSaveFilter = "AVI Files|*.avi|AVI compresso senza perdita (FFV1)|*.avi|"
                                           "AVI compresso senza perdita (PNG)|*.avi|"
                                           "Matroska senza perdita per l'archivio (FFV1)|*.mkv|"
                                           "Video MP4 da condividere (H.264)|*.mp4";
// The codec of the type chosen in the save dialog (its 1-based index).
[[nodiscard]] codec::Codec codecForFilter(std::int32_t filterIndex);
// What a save chosen in the dialog writes: the file (its extension made the container's),
// the container and the codec. A name ending in .mkv or .mp4 asks for that container
// whatever the type chosen.
struct SaveType {
    QString path;
    Container container = Container::Avi;
    codec::Codec codec = codec::Codec::Raw;
};
[[nodiscard]] SaveType saveTypeFor(std::int32_t filterIndex, const QString& chosen);
// The status line after a finished save: the success text and, compressed, what was made.
[[nodiscard]] QString finishedStatus(const SaveOutcome& outcome, codec::Codec codec,
                                     Container container = Container::Avi);

// The status line and the box after a save that finished with frames whose files no longer
// loaded (`missing`, their entries' paths in order): each is in the video as the frame before it.
[[nodiscard]] QString substitutedStatus(const QStringList& missing, Container container);
[[nodiscard]] std::string substitutedText(const QStringList& missing);

// The text of the status line after a save stopped by the user.
[[nodiscard]] QString cancelledStatus(int written, int frames);
// The message box's text for a failed save, with what it left on disk.
[[nodiscard]] std::string failureText(const SaveOutcome& outcome, LeftOnDisk left);

}  // namespace kelvora::video

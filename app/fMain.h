#pragma once

#include "adding/FrameAdder.h"
#include "dialogs/DurationDialog.h"
#include "dialogs/VideoSizeDialog.h"
#include "app/ListHistory.h"
#include "platform/dialogs/CommonDialogs.h"
#include "photo/Framing.h"
#include "platform/msgbox/MessageBox.h"
#include "verify/SavedVideo.h"
#include "video/SaveDialogStart.h"
#include "video/StreamRate.h"
#include "video/mAVIDecs.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;
class QAction;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QProgressBar;
class QShortcut;

namespace kelvora::platform {
class ImageBox;
class ListBox;
}  // namespace kelvora::platform

namespace kelvora::video {
class SaveCommand;
}  // namespace kelvora::video

namespace kelvora::verify {
class VerifyCommand;
}  // namespace kelvora::verify

namespace kelvora::app {

class AddCommand;
class PreviewPlayer;

// The modal services and the video library the window works through; the application
// passes the real ones, tests pass scripted stand-ins.
struct Services {
    platform::MessageBoxService& messages;
    platform::CommonDialogs& dialogs;
    video::mAVIDecs& avi;
    // The step after the save dialog that asks for the video's size; none: every save at the
    // size of its frames, as the save's own rule has it.
    dialogs::VideoSizeDialog* sizes = nullptr;
    // "Durata…": the input of the selected frames' duration; none: the item is disabled.
    dialogs::DurationDialog* durations = nullptr;
};

// The application's only window: the frame list, the frame format every frame must share,
// the frames-per-second control, the preview and the buttons. Creating it loads it.
class fMain : public QWidget {
    Q_OBJECT
public:
    explicit fMain(Services services, QWidget* parent = nullptr);
    ~fMain() override;

    // Controls, in creation order. Owned by the window (Qt parent-child).
    QPushButton* Command1 = nullptr;
    QCheckBox* Cartella = nullptr;
    QScrollBar* HScroll = nullptr;
    QLineEdit* txtFPS = nullptr;
    QPushButton* cmdWriteAVI = nullptr;
    platform::ListBox* lstDIBList = nullptr;
    QPushButton* cmdFileOpen = nullptr;
    QPushButton* cmdExit = nullptr;
    QLabel* lblfps = nullptr;
    platform::ImageBox* imgPreview = nullptr;
    QLabel* lblStatus = nullptr;
    QMenu* ListMenu = nullptr;
    QAction* SpostaSu = nullptr;
    QAction* SpostaGiu = nullptr;
    QAction* Cancella = nullptr;
    // Checks the video last saved against the frames it was saved from; enabled once a save
    // has finished a video.
    QAction* Verifica = nullptr;
    // Undo and redo of the list's changes (Ctrl+Z; Ctrl+Y or Ctrl+Shift+Z), playing the list
    // in the preview (Space), and a rate typed rather than scrolled to.
    QAction* Annulla = nullptr;
    QAction* Ripeti = nullptr;
    QAction* Riproduci = nullptr;
    QAction* AltraFrequenza = nullptr;
    // A soundtrack for the videos saved from now on, and its removal (enabled while there is one).
    QAction* AggiungiMusica = nullptr;
    QAction* TogliMusica = nullptr;
    // How long the selected frames last (seconds); shown beside each frame that has one.
    QAction* Durata = nullptr;
    // Frames of every size and type taken in (checkable): the video fits each into its size.
    QAction* OgniFormato = nullptr;
    // Under the list: how many frames, and how long they last at the rate.
    QLabel* lblVideo = nullptr;

    // The rate the video is saved at, exactly (the scroll bar shows its nearest whole value).
    [[nodiscard]] video::StreamRate frameRate() const { return m_rate; }
    // Takes a rate as the command line's --fps does ("12", "29.97", "30000/1001", "ntsc");
    // false, and nothing changes, for a text that is none.
    bool setFrameRateText(const QString& text);
    // The list is being played in the preview.
    [[nodiscard]] bool playing() const;
    [[nodiscard]] const PreviewPlayer* player() const { return m_player.get(); }
    [[nodiscard]] const ListHistory& history() const { return m_history; }
    // The music the window's saves put beside the frames; empty for none.
    [[nodiscard]] const std::string& musicPath() const { return m_musicPath; }
    // The list holds frames of more than one format.
    [[nodiscard]] bool mixedFormats() const { return m_mixedFormats; }
    // The size and fit the last save was asked for ("Originale" before any).
    [[nodiscard]] const photo::Framing& framing() const { return m_framing; }
    // The crossfade the last save was asked for; none before any.
    [[nodiscard]] std::optional<slideshow::Duration> crossfade() const { return m_crossfade; }
    // How long entry index lasts ("Durata…"); none: one frame.
    [[nodiscard]] std::optional<slideshow::Duration> entryDuration(int index) const;

    // The frame format, taken from the first frame accepted.
    [[nodiscard]] bool FormatSet() const { return m_format.set; }
    [[nodiscard]] std::int32_t FormatWidth() const { return m_format.width; }
    [[nodiscard]] std::int32_t FormatHeight() const { return m_format.height; }
    [[nodiscard]] std::int32_t FormatBitCount() const { return m_format.bitCount; }

    // Adds each path as "Aggiungi BMP" adds a candidate, in order, then says in the status
    // line how many were left out for their format. One call is one adding; it runs beside
    // the event loop and returns when it has ended.
    void addFrames(const QStringList& paths);
    // The same with the candidates listed on the adding's worker (a folder, a drop): the
    // lister hands each candidate's path to the sink it is given.
    void addFramesFrom(const std::function<void(const std::function<void(const QString&)>&)>& listCandidates);
    // An adding is running: as during a save, nothing changes the list, the format or the rate.
    [[nodiscard]] bool addingFrames() const { return m_activeAdd != nullptr; }
    // Runs on the adding's worker before each candidate is examined; tests act there.
    void setBeforeExamining(std::function<void(int)> hook) { m_beforeExamining = std::move(hook); }

    // The window's handle, as owner of its dialogs.
    [[nodiscard]] std::int32_t hWnd();

    // What "Esci" does to end the application; tests replace it.
    void setEndApplication(std::function<void()> end) { m_endApplication = std::move(end); }

    // A save, or the check of a saved video, is running: the list, the format and the rate are
    // not to be changed.
    [[nodiscard]] bool savingOrChecking() const { return m_activeSave != nullptr || m_activeVerify != nullptr; }
    // Runs on the check's worker after each frame checked; tests act there.
    void setAfterFrameChecked(std::function<void(int)> hook) { m_afterFrameChecked = std::move(hook); }
    // A job runs beside the window (an add, a save or a check): the window holds still.
    [[nodiscard]] bool busy() const { return savingOrChecking() || addingFrames(); }
    // Shown in the place of Command1 while a job runs.
    QProgressBar* jobProgress = nullptr;

public slots:
    void Form_Load();
    void Form_Unload();
    void cmdExit_Click();
    void HScroll_Change();
    void HScroll_Scroll();
    void cmdFileOpen_Click();
    void lstDIBList_Click();
    void lstDIBList_KeyDown(int KeyCode, int Shift);
    void lstDIBList_MouseDown(int Button, int Shift, QPoint position);
    void SpostaSu_Click();
    void SpostaGiu_Click();
    void Cancella_Click();
    void Verifica_Click();
    // The list no longer holds what the last video was saved from.
    void forgetSavedVideo();
    void Command1_Click();
    void cmdWriteAVI_Click();
    void Annulla_Click();
    void Ripeti_Click();
    void Riproduci_Click();
    void AltraFrequenza_Click();
    void AggiungiMusica_Click();
    void TogliMusica_Click();
    void Durata_Click();
    void OgniFormato_Toggled(bool on);
    void lstDIBList_RowsDragged(int before);

protected:
    void closeEvent(QCloseEvent* event) override;
    // Files and folders dropped on the list.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether frames may come in from outside the window's own button (a drop, the command
    // line) at this moment.
    [[nodiscard]] bool acceptsFrames() const { return !busy(); }
    [[nodiscard]] bool takesDropAt(const QDropEvent& event) const;
    void createControls();
    void connectHandlers();
    void showFps();
    // The status line's text: fitted to its place, whole in its tooltip and for screen readers.
    void showStatus(const QString& text);
    // Brings the frame-count line up to date with the list and the rate.
    void showVideoLine();
    // Each frame's duration painted beside it in the list.
    void showDurations();
    // A change of the list made by the window (rows out, rows in): done, recorded for undo,
    // and the format freed when it leaves the list empty.
    void changeList(std::vector<platform::RowRange> removed, std::vector<platform::RowRange> inserted, int current);
    void afterUndoOrRedo(const std::optional<AppliedChange>& applied);
    // Moves the selected rows one place up (-1) or down (+1).
    void moveSelection(int step);
    void stopPlayback();
    void showPlayedFrame(int index, const QImage& picture);
    void endRateEntry(bool take);
    // Shown at once when the user stops a job: the job may take a moment to end.
    void sayStopping(const QString& text);
    friend class WindowForAdd;
    // A job's hold on the window: input that would change the list, the format or the rate
    // is refused, not queued, and Escape, "Esci" and closing cancel instead.
    friend class WindowForSave;
    friend class WindowForVerify;
    void beginBusyControls(int frames);
    void endBusyControls();
    void finishAfterJob();
    void cancelJob();
    // The save or add ends with the application (quit, close, a stop signal): it stops after
    // the frame or file in hand, and no message box keeps it waiting.
    void quitWork();

    Services m_services;
    video::StreamRate m_rate{25, 1};
    ListHistory m_history;
    std::unique_ptr<PreviewPlayer> m_player;
    QString m_stoppingText;  // "Annullamento…" or "Chiusura…" while a job ends
    // Where the dialogs start: the folder of the last file chosen to add, and the folder and
    // type of the last save, for as long as the program runs.
    QString m_lastOpenFolder;
    std::string m_musicPath;  // "Aggiungi musica…": the soundtrack of the saves to come
    video::SaveDialogStart m_saveDialogStart;
    photo::Framing m_framing;                        // the video's size and fit, as last chosen after the save dialog
    std::optional<slideshow::Duration> m_crossfade;  // chosen in the same step
    bool m_mixedFormats = false;  // frames of another format came in; false again once the list is empty
    std::function<void()> m_endApplication;
    bool m_unloaded = false;
    adding::FrameFormat m_format;
    video::SaveCommand* m_activeSave = nullptr;       // the running save's command, on the handler's stack
    AddCommand* m_activeAdd = nullptr;                // the running add's command, likewise
    verify::VerifyCommand* m_activeVerify = nullptr;  // the running check's command, likewise
    // The video the last save finished, while the list still holds the frames it was made
    // from (any change of the list forgets it).
    std::optional<verify::SavedVideo> m_savedVideo;
    std::function<void(int)> m_afterFrameChecked;
    std::function<void(int)> m_beforeExamining;
    adding::NumberGaps m_listedGaps;  // of the folders the running add lists
    bool m_exitWhenIdle = false;
    bool m_closeWhenIdle = false;
    bool m_writeWasEnabled = false;
    QShortcut* m_cancelShortcut = nullptr;
    QObject* m_listInputBlock = nullptr;
};

}  // namespace kelvora::app

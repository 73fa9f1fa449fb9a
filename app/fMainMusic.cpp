// "Aggiungi musica…": a soundtrack for the videos the window saves, chosen in the open dialog,
// taken only when libavcodec decodes it, and said in the status line; "Togli la musica" drops it.
#include "app/fMain.h"

#include "audio/AudioInput.h"
#include "dialogs/cFileDlg.h"
#include "platform/msgbox/MessageBox.h"
#include "platform/text/PathNames.h"
#include "video/SlideshowSave.h"

#include <QAction>
#include <QFileInfo>

namespace kelvora::app {

void fMain::AggiungiMusica_Click()
{
    if (busy())
        return;
    dialogs::cFileDlg dialog(m_services.dialogs);
    dialog.setDlgTitle(QStringLiteral("Scegli la musica del video..."));
    dialog.setFilter(QStringLiteral("Musica|*.mp3;*.m4a;*.aac;*.wav;*.flac;*.ogg;*.oga;*.opus:Tutti i file|*.*"));
    if (!m_musicPath.empty())
        dialog.setInitDirectory(QFileInfo(QString::fromStdString(m_musicPath)).absolutePath());
    QString chosen;
    QString title;
    if (!dialog.VBGetOpenFileName(chosen, title) || chosen.isEmpty())
        return;
    const std::string path = platform::nativePath(chosen.left(chosen.indexOf(QChar(u'\0'))));
    // Opening reads the file's headers only: a blink, even for hours of music.
    const auto opened = audio::AudioInput::open(path);
    if (!opened) {
        m_services.messages.MsgBox("La musica non si può usare:\r\n" + path + "\r\nMotivo: " + opened.error(),
                                   platform::vbCritical, std::string(platform::AppTitle));
        return;
    }
    const std::unique_ptr<audio::AudioInput>& music = opened.value();
    m_musicPath = path;
    TogliMusica->setEnabled(true);
    const audio::SourceAudio& source = music->source();
    showStatus(QStringLiteral("Musica: %1 (%2): cominciano insieme, il video ne decide la fine")
                   .arg(QFileInfo(chosen).fileName(),
                        QString::fromStdString(video::clockText(source.samples, source.sampleRate))));
}

void fMain::TogliMusica_Click()
{
    if (busy() || m_musicPath.empty())
        return;
    m_musicPath.clear();
    TogliMusica->setEnabled(false);
    showStatus(QStringLiteral("Nessuna musica: i video si salvano senza audio"));
}

}  // namespace kelvora::app

#include "video/AVIWriter.h"

#include "bitmap/cDIB.h"
#include "dialogs/cFileDlg.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace kelvora::video {

namespace {

const char* const kWriteError = "C'è stato un errore durante la scrittura del file!";

// The handles of one save, released in the fixed order whatever way the save ends.
struct SaveHandles {
    mAVIDecs& avi;
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    PAVISTREAM compressed = nullptr;

    // Releases everything; the result of finishing the file (0 when it was finished).
    [[nodiscard]] HRESULT release()
    {
        HRESULT finished = 0;
        if (stream)
            avi.AVIStreamRelease(std::exchange(stream, nullptr));
        if (compressed)
            avi.AVIStreamRelease(std::exchange(compressed, nullptr));
        if (file)
            avi.AVIFileRelease(std::exchange(file, nullptr), &finished);
        return finished;
    }
};

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The leading number of a text, as the original's Val() reads it: blanks skipped, an
// optional sign, digits with an optional fraction and exponent; none gives 0.
double leadingNumber(const QString& text)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    const char* begin = bytes.constData();
    // strtod also reads "inf", "nan" and hexadecimal; only plain decimal text counts.
    const char first = begin[0] == '+' || begin[0] == '-' ? begin[1] : begin[0];
    if (!((first >= '0' && first <= '9') || first == '.'))
        return 0.0;
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin)
        return 0.0;
    return std::isfinite(value) ? value : (value < 0 ? -1.0 : 1e9);  // "1e999" is simply large
}

// Creates the stream from the first frame (already loaded into dib) and writes every entry
// as one key frame. 0 when all were written, else the failing call's result.
HRESULT writeFrames(SaveWindow& window, mAVIDecs& avi, SaveHandles& handles, bitmap::cDIB& dib, int count)
{
    AVISTREAMINFOA info{};
    info.fccType = avi.mmioStringToFOURCCA("vids", 0);
    info.fccHandler = 0;
    info.dwScale = 1;
    info.dwRate = frameRateFromText(window.fpsText());
    info.dwSuggestedBufferSize = static_cast<DWORD>(dib.SizeImage());
    avi.SetRect(&info.rcFrame, 0, 0, dib.Width(), dib.Height());
    if (const HRESULT result = avi.AVIFileCreateStreamA(handles.file, &handles.stream, &info))
        return result;
    const AVICOMPRESSOPTIONS options{};  // no compressor: the pixels go in as they are
    if (const HRESULT result = avi.AVIMakeCompressedStream(&handles.compressed, handles.stream, &options, nullptr))
        return result;
    if (const HRESULT result =
            avi.AVIStreamSetFormat(handles.compressed, 0, dib.PointerToBitmapInfo(), dib.SizeBitmapInfo()))
        return result;
    for (int i = 0; i < count; ++i) {
        window.selectEntry(i);
        // Not tested: a frame that no longer loads is written with the pixels of the last
        // one that did, so the video keeps one frame per entry.
        (void)dib.CreateFromFile(localPath(window.selectedText()));
        if (const HRESULT result = avi.AVIStreamWrite(handles.compressed, i, 1, dib.PointerToBits(), dib.SizeImage(),
                                                      AVIIF_KEYFRAME, nullptr, nullptr))
            return result;
        window.showPreview(window.selectedText());
        window.showStatus(QStringLiteral("Fotogramma numero %1 salvato").arg(i));
    }
    return 0;
}

}  // namespace

DWORD frameRateFromText(const QString& text)
{
    const double rounded = std::nearbyint(leadingNumber(text));  // halves to even, like the original
    return static_cast<DWORD>(std::clamp(rounded, 1.0, 30.0));
}

AVIWriter::AVIWriter(SaveWindow& window, mAVIDecs& avi, platform::CommonDialogs& dialogs,
                     platform::MessageBoxService& messages)
    : m_window(window), m_avi(avi), m_dialogs(dialogs), m_messages(messages)
{
}

bool AVIWriter::askForPath(QString& path)
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

void AVIWriter::save()
{
    QString path;
    if (!askForPath(path))
        return;

    SaveHandles handles{m_avi};
    HRESULT last = m_avi.AVIFileOpen(&handles.file, QFile::encodeName(path).constData(), OF_WRITE | OF_CREATE, nullptr);
    bool complete = false;
    if (last == 0) {
        bitmap::cDIB dib(m_messages);
        const int count = m_window.entryCount();
        if (count <= 0) {
            // Nothing to write (the list was emptied after frames were added): the file is
            // closed without a stream and the user is told the video was not made.
            last = avifile::AVIERR_NODATA;
        } else {
            m_window.selectEntry(0);
            if (dib.CreateFromFile(localPath(m_window.selectedText()))) {
                last = writeFrames(m_window, m_avi, handles, dib, count);
                complete = last == 0;
            }
        }
    }
    const HRESULT finished = handles.release();
    if (last == 0 && finished != 0)
        last = finished;
    if (last != 0) {
        m_messages.MsgBox(kWriteError, platform::vbInformation, std::string(platform::AppTitle));
    } else if (complete) {
        // Only a file that was finished on disk is reported as made.
        m_window.showStatus(QStringLiteral("Il file AVI è stato creato con successo!"));
    }
}

}  // namespace kelvora::video

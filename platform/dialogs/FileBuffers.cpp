#include "platform/dialogs/FileBuffers.h"

#include <QByteArray>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace kelvora::platform {

namespace {

// The file buffer's new content, NULs included; nFileOffset and nFileExtension with it.
struct FileBufferImage {
    QByteArray bytes;
    WORD fileOffset = 0;
    WORD fileExtension = 0;
};

FileBufferImage singleFile(const QString& path)
{
    FileBufferImage image;
    image.bytes = path.toUtf8();
    const qsizetype slash = image.bytes.lastIndexOf('/');
    const qsizetype nameStart = slash + 1;
    const qsizetype dot = image.bytes.lastIndexOf('.');
    image.fileOffset = static_cast<WORD>(std::min<qsizetype>(nameStart, 0xFFFF));
    const qsizetype extension = dot >= nameStart ? dot + 1 : image.bytes.size();
    image.fileExtension = static_cast<WORD>(std::min<qsizetype>(extension, 0xFFFF));
    image.bytes.append('\0');
    return image;
}

FileBufferImage severalFiles(const QStringList& paths)
{
    FileBufferImage image;
    image.bytes = QFileInfo(paths.front()).absolutePath().toUtf8();
    image.bytes.append('\0');
    image.fileOffset = static_cast<WORD>(std::min<qsizetype>(image.bytes.size(), 0xFFFF));
    for (const QString& path : paths) {
        image.bytes.append(QFileInfo(path).fileName().toUtf8());
        image.bytes.append('\0');
    }
    image.bytes.append('\0');
    return image;
}

FileBufferImage imageOf(const QStringList& paths)
{
    return paths.size() == 1 ? singleFile(paths.front()) : severalFiles(paths);
}

QByteArray titleOf(const QStringList& paths)
{
    QByteArray title = QFileInfo(paths.front()).fileName().toUtf8();
    title.append('\0');
    return title;
}

}  // namespace

QString proposedFileName(const OPENFILENAMEA& ofn)
{
    if (ofn.lpstrFile == nullptr) {
        return {};
    }
    const std::size_t length = strnlen(ofn.lpstrFile, ofn.nMaxFile);
    return QString::fromUtf8(ofn.lpstrFile, static_cast<qsizetype>(length));
}

bool storeChosenFiles(OPENFILENAMEA& ofn, const QStringList& paths)
{
    if (paths.isEmpty() || ofn.lpstrFile == nullptr) {
        return false;
    }
    const FileBufferImage image = imageOf(paths);
    const QByteArray title = titleOf(paths);
    const bool wantsTitle = ofn.lpstrFileTitle != nullptr && ofn.nMaxFileTitle > 0;
    if (static_cast<DWORD>(image.bytes.size()) > ofn.nMaxFile ||
        (wantsTitle && static_cast<DWORD>(title.size()) > ofn.nMaxFileTitle)) {
        return false;
    }
    std::memcpy(ofn.lpstrFile, image.bytes.constData(), static_cast<std::size_t>(image.bytes.size()));
    if (wantsTitle) {
        std::memcpy(ofn.lpstrFileTitle, title.constData(), static_cast<std::size_t>(title.size()));
    }
    ofn.nFileOffset = image.fileOffset;
    ofn.nFileExtension = paths.size() == 1 ? image.fileExtension : 0;
    return true;
}

BufferNeeds bytesNeeded(const QStringList& paths)
{
    if (paths.isEmpty()) {
        return {};
    }
    return {imageOf(paths).bytes.size(), titleOf(paths).size()};
}

}  // namespace kelvora::platform

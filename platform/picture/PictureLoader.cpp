#include "platform/picture/PictureLoader.h"

#include "platform/picture/BmpSampler.h"

#include "platform/filesystem/FileOpener.h"
#include "platform/filesystem/PathNames.h"

#include <QFile>
#include <QImageReader>

#include <sys/stat.h>

#include <tuple>

namespace kelvora::platform {

namespace {

// The general decoder reads from a file we opened: opening by name would wait for ever on a
// FIFO that took the frame's place.
QImage readWithQt(File opened, QSize shownSize)
{
    QFile device;
    if (!device.open(opened.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return {};
    QImageReader reader(&device);
    if (shownSize.isValid() && !shownSize.isEmpty()) {
        const QSize full = reader.size();
        if (full.isValid() && full.width() > shownSize.width() && full.height() > shownSize.height())
            reader.setScaledSize(shownSize);
    }
    return reader.read();
}

// What identifies one version of one file: a rewrite changes its change time or size.
struct FileVersion {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileVersion& other) const
    {
        const auto key = [](const FileVersion& v) {
            return std::tie(v.path, v.device, v.inode, v.size, v.modified.tv_sec, v.modified.tv_nsec,
                            v.changed.tv_sec, v.changed.tv_nsec);
        };
        return key(*this) == key(other);
    }
};

std::optional<FileVersion> versionOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileVersion{path, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

QImage decode(const std::string& localPath, QSize shownSize)
{
    // Only a regular file is read, and its open never waits (a FIFO, a device, a folder
    // gives no picture).
    OpenResult opened = systemFileOpener().open(localPath, OpenMode::Read);
    if (!opened.file.isOpen())
        return {};
    const QSize target = shownSize.isValid() && !shownSize.isEmpty() ? shownSize : QSize();
    if (std::optional<QImage> sampled = sampleUncompressedBmp(localPath, target))
        return *std::move(sampled);
    return readWithQt(std::move(opened.file), shownSize);
}

}  // namespace

QImage LoadPicture(const QString& path, QSize shownSize)
{
    if (path.isEmpty())
        return {};
    // The window asks for the same frame twice in a row (its selection, then the save's own
    // preview step); the last picture is reused while its file is unchanged. Called on the
    // window's thread only.
    static std::optional<FileVersion> lastVersion;
    static QSize lastSize;
    static QImage lastPicture;
    const std::string localPath = nativePath(path);
    const std::optional<FileVersion> version = versionOf(localPath);
    if (version && lastVersion == version && lastSize == shownSize)
        return lastPicture;
    QImage picture = decode(localPath, shownSize);
    lastVersion = version;
    lastSize = shownSize;
    lastPicture = picture;
    return picture;
}

}  // namespace kelvora::platform

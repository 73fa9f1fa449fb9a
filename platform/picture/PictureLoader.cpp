#include "platform/picture/PictureLoader.h"

#include "platform/picture/BmpSampler.h"

#include "platform/filesystem/FileOpener.h"
#include "platform/text/PathNames.h"

#include <QFile>
#include <QImageReader>

#include <optional>

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

QImage decode(const std::string& localPath, QSize shownSize)
{
    // Only a regular file is read, and its open never waits (a FIFO, a device, a folder
    // gives no picture).
    OpenResult opened = systemFileOpener().open(localPath, OpenMode::Read);
    if (!opened.file.isOpen())
        return {};
    const QSize target = shownSize.isValid() && !shownSize.isEmpty() ? shownSize : QSize();
    if (std::optional<QImage> sampled = sampleUncompressedBmp(opened.file, target))
        return *std::move(sampled);
    return readWithQt(std::move(opened.file), shownSize);
}

}  // namespace

QImage LoadPicture(const QString& path, QSize shownSize)
{
    if (path.isEmpty())
        return {};
    return decode(nativePath(path), shownSize);
}

}  // namespace kelvora::platform

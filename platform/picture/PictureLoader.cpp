#include "platform/picture/PictureLoader.h"

#include "platform/picture/BmpSampler.h"

#include <QFile>
#include <QImageReader>

namespace kelvora::platform {

namespace {

QImage readWithQt(const QString& path, QSize shownSize)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (shownSize.isValid() && !shownSize.isEmpty()) {
        const QSize full = reader.size();
        if (full.isValid() && full.width() > shownSize.width() && full.height() > shownSize.height())
            reader.setScaledSize(shownSize);
    }
    return reader.read();
}

}  // namespace

QImage LoadPicture(const QString& path, QSize shownSize)
{
    if (path.isEmpty())
        return {};
    const QSize target = shownSize.isValid() && !shownSize.isEmpty() ? shownSize : QSize();
    if (std::optional<QImage> sampled = sampleUncompressedBmp(QFile::encodeName(path).toStdString(), target))
        return *std::move(sampled);
    return readWithQt(path, shownSize);
}

}  // namespace kelvora::platform

#include "platform/picture/PictureLoader.h"

#include <QImageReader>

namespace kelvora::platform {

QImage LoadPicture(const QString& path, QSize shownSize)
{
    if (path.isEmpty())
        return {};
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (shownSize.isValid() && !shownSize.isEmpty()) {
        const QSize full = reader.size();
        if (full.isValid() && full.width() > shownSize.width() && full.height() > shownSize.height())
            reader.setScaledSize(shownSize);
    }
    return reader.read();
}

}  // namespace kelvora::platform

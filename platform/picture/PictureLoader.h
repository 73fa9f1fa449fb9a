#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace kelvora::platform {

// The picture loader: a picture of the bitmap file at path, for the image control.
// It reads the file itself. A file it cannot read gives a null image; it never throws.
// When shownSize is given the picture may be decoded at that size, since the control
// stretches it there anyway.
[[nodiscard]] QImage LoadPicture(const QString& path, QSize shownSize = {});

}  // namespace kelvora::platform

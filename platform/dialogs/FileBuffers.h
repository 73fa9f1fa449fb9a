#pragma once

// Writing the chosen files back into the request's buffers, as the platform's dialogs
// lay them out, never past nMaxFile / nMaxFileTitle.

#include "platform/dialogs/CommonDialogs.h"

#include <QString>
#include <QStringList>

namespace kelvora::platform {

// The proposed name in lpstrFile: up to its first NUL, or all nMaxFile bytes when the
// caller filled the buffer completely.
[[nodiscard]] QString proposedFileName(const OPENFILENAMEA& ofn);

// One file: its full path, NUL. Several (multi-select): folder, NUL, each name, NUL, and a
// final NUL. The title buffer gets the (first) file's name. nFileOffset / nFileExtension
// are set. False, with the buffers untouched, when either buffer is too small: the
// platform's FNERR_BUFFERTOOSMALL, which the dialog reports as a zero result.
[[nodiscard]] bool storeChosenFiles(OPENFILENAMEA& ofn, const QStringList& paths);

// The bytes (NULs included) that storeChosenFiles needs in the file and the title buffer.
struct BufferNeeds {
    qsizetype file = 0;
    qsizetype title = 0;
};
[[nodiscard]] BufferNeeds bytesNeeded(const QStringList& paths);

}  // namespace kelvora::platform

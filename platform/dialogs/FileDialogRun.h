#pragma once

// One run of Qt's own widget file dialog on a request record: the open, open-with-preview
// and save dialogs of the platform.

#include "platform/dialogs/CommonDialogs.h"

namespace kelvora::platform {

// Non-zero when the user confirmed; 0 on cancel, on a malformed request (wrong
// lStructSize, no file buffer) and when no QApplication runs. A choice that does not fit
// the buffers, or a quote in a single-file dialog's name box that does not name an existing
// file to open, is refused while the dialog is still open (CheckedFileDialog).
[[nodiscard]] BOOL runFileDialog(OPENFILENAMEA& ofn, FileDialogKind kind);

}  // namespace kelvora::platform

#pragma once

// One run of Qt's own widget file dialog on a request record: the open, open-with-preview
// and save dialogs of the platform.

#include "platform/dialogs/CommonDialogs.h"

namespace kelvora::platform {

enum class FileDialogKind { Open, OpenWithPreview, Save };

// Non-zero when the user confirmed and the result fitted the buffers; 0 on cancel, on a
// malformed request (wrong lStructSize, no file buffer) and when no QApplication runs.
[[nodiscard]] BOOL runFileDialog(OPENFILENAMEA& ofn, FileDialogKind kind);

}  // namespace kelvora::platform

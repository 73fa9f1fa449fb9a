#include "platform/dialogs/QtCommonDialogs.h"

#include "platform/dialogs/FileDialogRun.h"
#include "platform/dialogs/FileTitle.h"

#include <algorithm>
#include <limits>

namespace kelvora::platform {

BOOL QtCommonDialogs::GetOpenFileNameA(OPENFILENAMEA& ofn) { return runFileDialog(ofn, FileDialogKind::Open); }

BOOL QtCommonDialogs::GetOpenFileNamePreviewA(OPENFILENAMEA& ofn)
{
    return runFileDialog(ofn, FileDialogKind::OpenWithPreview);
}

BOOL QtCommonDialogs::GetSaveFileNameA(OPENFILENAMEA& ofn) { return runFileDialog(ofn, FileDialogKind::Save); }

// As the platform's: 0 on success, a negative value for a path without a title, and the
// buffer size needed (NUL included) when lpszTitle is too small.
short QtCommonDialogs::GetFileTitleA(const char* lpszFile, char* lpszTitle, WORD cbBuf)
{
    const std::optional<std::string> title = lpszFile != nullptr ? fileTitle(lpszFile) : std::nullopt;
    if (!title) {
        return -1;
    }
    const std::size_t needed = title->size() + 1;
    if (lpszTitle == nullptr || needed > cbBuf) {
        return static_cast<short>(std::min<std::size_t>(needed, std::numeric_limits<short>::max()));
    }
    std::copy(title->begin(), title->end(), lpszTitle);
    lpszTitle[title->size()] = '\0';
    return 0;
}

CommonDialogs& systemCommonDialogs()
{
    static QtCommonDialogs dialogs;
    return dialogs;
}

}  // namespace kelvora::platform

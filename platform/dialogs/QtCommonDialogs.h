#pragma once

// The common dialogs on Qt's own widget file dialog, modal to the owner window.

#include "platform/dialogs/CommonDialogs.h"

namespace kelvora::platform {

class QtCommonDialogs final : public CommonDialogs {
public:
    [[nodiscard]] BOOL GetOpenFileNameA(OPENFILENAMEA& ofn) override;
    [[nodiscard]] BOOL GetOpenFileNamePreviewA(OPENFILENAMEA& ofn) override;
    [[nodiscard]] BOOL GetSaveFileNameA(OPENFILENAMEA& ofn) override;
    [[nodiscard]] short GetFileTitleA(const char* lpszFile, char* lpszTitle, WORD cbBuf) override;
};

}  // namespace kelvora::platform

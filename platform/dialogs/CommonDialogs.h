#pragma once

// Stand-ins for the platform's common file dialogs: the request record in its published
// ANSI layout (narrow texts are UTF-8 here) and the dialog functions behind one interface,
// so tests can script the user's answers.

#include <cstdint>

#include "platform/types/PlatformTypes.h"

namespace kelvora::platform {

inline constexpr DWORD OFN_READONLY = 0x1;
inline constexpr DWORD OFN_OVERWRITEPROMPT = 0x2;
inline constexpr DWORD OFN_HIDEREADONLY = 0x4;
inline constexpr DWORD OFN_NOCHANGEDIR = 0x8;
inline constexpr DWORD OFN_ENABLEHOOK = 0x20;
inline constexpr DWORD OFN_ENABLETEMPLATE = 0x40;
inline constexpr DWORD OFN_ALLOWMULTISELECT = 0x200;
inline constexpr DWORD OFN_EXTENSIONDIFFERENT = 0x400;
inline constexpr DWORD OFN_PATHMUSTEXIST = 0x800;
inline constexpr DWORD OFN_FILEMUSTEXIST = 0x1000;
inline constexpr DWORD OFN_EXPLORER = 0x80000;

// Without the extension fields of later platform versions: lStructSize 76 on the original.
// The dialogs accept only that size, as the platform checks lStructSize before anything else.
inline constexpr DWORD OPENFILENAME_SIZE_VERSION_400A = 76;

struct OPENFILENAMEA {
    DWORD lStructSize = 0;
    HWND hwndOwner = 0;
    std::intptr_t hInstance = 0;
    const char* lpstrFilter = nullptr;  // pairs, each text NUL-ended, the list ended by one more NUL
    char* lpstrCustomFilter = nullptr;
    DWORD nMaxCustFilter = 0;
    DWORD nFilterIndex = 0;  // 1-based
    char* lpstrFile = nullptr;
    DWORD nMaxFile = 0;
    char* lpstrFileTitle = nullptr;
    DWORD nMaxFileTitle = 0;
    const char* lpstrInitialDir = nullptr;
    const char* lpstrTitle = nullptr;
    DWORD Flags = 0;
    WORD nFileOffset = 0;
    WORD nFileExtension = 0;
    const char* lpstrDefExt = nullptr;
    std::intptr_t lCustData = 0;
    void* lpfnHook = nullptr;
    const char* lpTemplateName = nullptr;
};

// The three file dialogs of the interface below.
enum class FileDialogKind { Open, OpenWithPreview, Save };

class CommonDialogs {
public:
    virtual ~CommonDialogs() = default;
    // Each shows its modal dialog; non-zero when the user confirmed, 0 on cancel or failure.
    [[nodiscard]] virtual BOOL GetOpenFileNameA(OPENFILENAMEA& ofn) = 0;
    [[nodiscard]] virtual BOOL GetOpenFileNamePreviewA(OPENFILENAMEA& ofn) = 0;
    [[nodiscard]] virtual BOOL GetSaveFileNameA(OPENFILENAMEA& ofn) = 0;
    // 0 and the display title in lpszTitle, or non-zero when the path has no title.
    [[nodiscard]] virtual short GetFileTitleA(const char* lpszFile, char* lpszTitle, WORD cbBuf) = 0;
};

// The real dialogs (Qt's own file dialog, modal to the owner window).
CommonDialogs& systemCommonDialogs();

}  // namespace kelvora::platform

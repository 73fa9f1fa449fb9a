#pragma once

// Stand-ins for the shell's special-folder lookup: the platform's published CSIDL numbers,
// resolved to the XDG folders of the desktop. The item identifier list is an owned object;
// CoTaskMemFree releases it, and dropping it without that call releases it just the same.

#include "platform/types/PlatformTypes.h"

#include <filesystem>
#include <memory>
#include <span>

namespace kelvora::platform {

inline constexpr int CSIDL_DESKTOP = 0x0000;
inline constexpr int CSIDL_PERSONAL = 0x0005;
inline constexpr int CSIDL_BITBUCKET = 0x000A;
inline constexpr int CSIDL_MYMUSIC = 0x000D;
inline constexpr int CSIDL_MYVIDEO = 0x000E;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
inline constexpr int CSIDL_DRIVES = 0x0011;
inline constexpr int CSIDL_FONTS = 0x0014;
inline constexpr int CSIDL_APPDATA = 0x001A;
inline constexpr int CSIDL_LOCAL_APPDATA = 0x001C;
inline constexpr int CSIDL_MYPICTURES = 0x0027;
inline constexpr int CSIDL_PROFILE = 0x0028;

// One resolved folder. Virtual folders (the computer, the recycle bin) have no path.
struct ITEMIDLIST {
    std::filesystem::path path;
};
using LPITEMIDLIST = std::unique_ptr<ITEMIDLIST>;

// S_OK and the folder's list in ppidl, or E_INVALIDARG for an identifier we do not know.
// hwndOwner is accepted for the platform's signature; no window is ever shown.
[[nodiscard]] HRESULT SHGetSpecialFolderLocation(HWND hwndOwner, int nFolder, LPITEMIDLIST& ppidl);

// Writes the folder's path, NUL-ended UTF-8, into pszPath. FALSE (0) for a folder without a
// file-system path, and for a path that would not fit (nothing is written past the buffer).
[[nodiscard]] BOOL SHGetPathFromIDListA(const ITEMIDLIST* pidl, std::span<char> pszPath);

void CoTaskMemFree(LPITEMIDLIST pv);

}  // namespace kelvora::platform

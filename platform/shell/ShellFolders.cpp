#include "platform/shell/ShellFolders.h"

#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace kelvora::platform {

namespace {

// nullopt: a folder the shell knows but that has no file-system path.
struct FolderMapping {
    int csidl;
    std::optional<QStandardPaths::StandardLocation> location;
};

constexpr FolderMapping kFolders[] = {
    {CSIDL_DESKTOP, QStandardPaths::DesktopLocation},
    {CSIDL_DESKTOPDIRECTORY, QStandardPaths::DesktopLocation},
    {CSIDL_PERSONAL, QStandardPaths::DocumentsLocation},
    {CSIDL_MYMUSIC, QStandardPaths::MusicLocation},
    {CSIDL_MYVIDEO, QStandardPaths::MoviesLocation},
    {CSIDL_MYPICTURES, QStandardPaths::PicturesLocation},
    {CSIDL_PROFILE, QStandardPaths::HomeLocation},
    {CSIDL_FONTS, QStandardPaths::FontsLocation},
    {CSIDL_APPDATA, QStandardPaths::GenericConfigLocation},
    {CSIDL_LOCAL_APPDATA, QStandardPaths::GenericDataLocation},
    {CSIDL_BITBUCKET, std::nullopt},
    {CSIDL_DRIVES, std::nullopt},
};

}  // namespace

HRESULT SHGetSpecialFolderLocation(HWND /*hwndOwner*/, int nFolder, LPITEMIDLIST& ppidl)
{
    const auto* found = std::find_if(std::begin(kFolders), std::end(kFolders),
                                     [nFolder](const FolderMapping& m) { return m.csidl == nFolder; });
    if (found == std::end(kFolders)) {
        ppidl.reset();
        return E_INVALIDARG;
    }
    auto list = std::make_unique<ITEMIDLIST>();
    if (found->location) {
        const QString path = QStandardPaths::writableLocation(*found->location);
        list->path = std::filesystem::path(path.toStdU16String());
    }
    ppidl = std::move(list);
    return S_OK;
}

BOOL SHGetPathFromIDListA(const ITEMIDLIST* pidl, std::span<char> pszPath)
{
    if (pidl == nullptr || pidl->path.empty()) {
        return 0;
    }
    const std::u8string utf8 = pidl->path.u8string();
    if (utf8.size() + 1 > pszPath.size()) {
        return 0;
    }
    std::copy(utf8.begin(), utf8.end(), pszPath.begin());
    pszPath[utf8.size()] = '\0';
    return 1;
}

void CoTaskMemFree(LPITEMIDLIST /*pv*/)
{
    // Taking the list by value is the release: it is destroyed on return.
}

}  // namespace kelvora::platform

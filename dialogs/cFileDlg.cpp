#include "dialogs/cFileDlg.h"

#include "dialogs/FilterList.h"
#include "dialogs/NarrowText.h"
#include "platform/text/PathNames.h"
#include "platform/msgbox/MessageBox.h"
#include "platform/shell/ShellFolders.h"

#include <array>
#include <filesystem>
#include <system_error>

namespace kelvora::dialogs {

using namespace platform;

namespace {

// The buffers' sizes are in narrow (UTF-8) bytes: that is what the dialog may write.
constexpr qsizetype kFileBufferSize = 1024;
constexpr qsizetype kTitleBufferSize = 512;
constexpr std::size_t kFolderPathSize = 1024;
constexpr DWORD kRefusedFlags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
constexpr qsizetype kLongestFilter = 32766;

}  // namespace

cFileDlg::cFileDlg(CommonDialogs& dialogs)
    : m_dialogs(&dialogs), m_dlgTitle(QString::fromUtf8(AppTitle.data(), static_cast<qsizetype>(AppTitle.size())))
{
}

std::int32_t cFileDlg::OwnerHwnd() const { return m_ownerHwnd; }
void cFileDlg::setOwnerHwnd(std::int32_t vHwnd) { m_ownerHwnd = vHwnd; }
bool cFileDlg::FileMustExist() const { return m_fileMustExist; }
void cFileDlg::setFileMustExist(bool vNewValue) { m_fileMustExist = vNewValue; }
bool cFileDlg::MultiSelect() const { return m_multiSelect; }
void cFileDlg::setMultiSelect(bool vNewValue) { m_multiSelect = vNewValue; }
bool cFileDlg::ReadOnly() const { return m_readOnly; }
bool cFileDlg::HideReadOnly() const { return m_hideReadOnly; }
void cFileDlg::setHideReadOnly(bool vNewValue) { m_hideReadOnly = vNewValue; }
QString cFileDlg::Filter() const { return m_filter; }
void cFileDlg::setFilter(const QString& vFilterString) { m_filter = vFilterString; }
std::int32_t cFileDlg::FilterIndex() const { return m_filterIndex; }
void cFileDlg::setFilterIndex(std::int32_t vIndex) { m_filterIndex = vIndex; }
QString cFileDlg::InitDirectory() const { return m_initDirectory; }
void cFileDlg::setInitDirectory(const QString& DirPath) { m_initDirectory = DirPath; }
void cFileDlg::setInitDirectorySpecial(std::int32_t SpecialDirectory)
{
    m_initDirectory = GetSpecialFolderPath(SpecialDirectory);
}
QString cFileDlg::DlgTitle() const { return m_dlgTitle; }
void cFileDlg::setDlgTitle(const QString& title) { m_dlgTitle = title; }
QString cFileDlg::DefaultExt() const { return m_defaultExt; }
void cFileDlg::setDefaultExt(const QString& fileExt) { m_defaultExt = fileExt; }
std::int32_t cFileDlg::Flags() const { return m_flags; }
void cFileDlg::setFlags(std::int32_t vFlags) { m_flags = vFlags; }
bool cFileDlg::OverwritePrompt() const { return m_overwritePrompt; }
void cFileDlg::setOverwritePrompt(bool vShowPrompt) { m_overwritePrompt = vShowPrompt; }
cFileDlg::RunError cFileDlg::lastRunError() const { return m_lastRunError; }

bool cFileDlg::VBGetOpenFileName(QString& filename, QString& FileTitle)
{
    return run(FileDialogKind::Open, filename, FileTitle);
}

bool cFileDlg::VBGetOpenFileNamePreview(QString& filename, QString& FileTitle)
{
    return run(FileDialogKind::OpenWithPreview, filename, FileTitle);
}

bool cFileDlg::VBGetSaveFileName(QString& filename, QString& FileTitle)
{
    return run(FileDialogKind::Save, filename, FileTitle);
}

bool cFileDlg::ExistFile(QString sSpec) const
{
    std::error_code error;
    [[maybe_unused]] const auto length =
        std::filesystem::file_size(std::filesystem::path(platform::nativePath(sSpec)), error);
    return !error;
}

QString cFileDlg::VBGetFileTitle(QString& sFile) const
{
    std::array<char, kFolderPathSize> title{};
    const QByteArray path = QByteArray::fromStdString(platform::nativePath(sFile));
    if (m_dialogs->GetFileTitleA(path.constData(), title.data(), static_cast<WORD>(title.size())) != 0) {
        return {};
    }
    return textToFirstNul(QByteArray(title.data(), static_cast<qsizetype>(title.size())));
}

DWORD cFileDlg::composeFlags(FileDialogKind kind) const
{
    DWORD flags = static_cast<DWORD>(m_flags) & ~kRefusedFlags;
    if (kind == FileDialogKind::Save) {
        flags |= OFN_HIDEREADONLY;
        if (m_overwritePrompt) {
            flags |= OFN_OVERWRITEPROMPT;
        }
        return flags;
    }
    if (m_fileMustExist) {
        flags |= OFN_FILEMUSTEXIST;
    }
    if (m_multiSelect) {
        flags |= OFN_ALLOWMULTISELECT;
    }
    if (m_hideReadOnly) {
        flags |= OFN_HIDEREADONLY;
    }
    if (m_readOnly) {
        flags |= OFN_READONLY;
    }
    return flags;
}

BOOL cFileDlg::callDialog(FileDialogKind kind, OPENFILENAMEA& ofn)
{
    switch (kind) {
    case FileDialogKind::Open:
        return m_dialogs->GetOpenFileNameA(ofn);
    case FileDialogKind::OpenWithPreview:
        return m_dialogs->GetOpenFileNamePreviewA(ofn);
    case FileDialogKind::Save:
        return m_dialogs->GetSaveFileNameA(ofn);
    }
    return 0;
}

bool cFileDlg::run(FileDialogKind kind, QString& filename, QString& FileTitle)
{
    // The filter list is walked with a signed 16-bit counter: a longer filter overflows it.
    if (m_filter.size() > kLongestFilter) {
        m_lastRunError = RunError::Overflow;
        return false;
    }
    std::optional<QByteArray> file = paddedBuffer(filename, kFileBufferSize);
    std::optional<QByteArray> title = paddedBuffer(FileTitle, kTitleBufferSize);
    if (!file || !title) {
        m_lastRunError = RunError::InvalidArgument;
        return false;
    }
    m_lastRunError = RunError::None;

    const QString filterList = buildFilterList(m_filter);
    const QByteArray narrowFilter = filterList.toUtf8();
    const QByteArray initialDir = QByteArray::fromStdString(platform::nativePath(m_initDirectory));
    const QByteArray dialogTitle = m_dlgTitle.toUtf8();
    const QByteArray defaultExt = m_defaultExt.toUtf8();

    OPENFILENAMEA ofn{};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = m_ownerHwnd == -1 ? 0 : static_cast<HWND>(m_ownerHwnd);
    ofn.lpstrFilter = narrowFilter.constData();
    ofn.nFilterIndex = static_cast<DWORD>(m_filterIndex);
    ofn.lpstrFile = file->data();
    ofn.nMaxFile = static_cast<DWORD>(kFileBufferSize);
    ofn.lpstrFileTitle = title->data();
    ofn.nMaxFileTitle = static_cast<DWORD>(kTitleBufferSize);
    ofn.lpstrInitialDir = textOrAbsent(initialDir);
    ofn.lpstrTitle = textOrAbsent(dialogTitle);
    ofn.Flags = composeFlags(kind);
    ofn.lpstrDefExt = textOrAbsent(defaultExt);

    if (callDialog(kind, ofn) == 0) {
        takeCancelled(kind, filename, FileTitle);
        return false;
    }
    takeConfirmed(kind, ofn, filterList, *file, *title, filename, FileTitle);
    return true;
}

void cFileDlg::takeConfirmed(FileDialogKind kind, const OPENFILENAMEA& ofn, const QString& filterList,
                             const QByteArray& file, const QByteArray& title, QString& filename, QString& FileTitle)
{
    filename = textToFirstNul(file);
    FileTitle = textToFirstNul(title);
    m_flags = static_cast<std::int32_t>(ofn.Flags);
    m_filterIndex = static_cast<std::int32_t>(ofn.nFilterIndex);
    m_filter = GetFilterPair(filterList, m_filterIndex);
    if (kind != FileDialogKind::Save && (ofn.Flags & OFN_READONLY) != 0) {
        m_readOnly = true;
    }
    m_initDirectory = wholeText(file);
}

void cFileDlg::takeCancelled(FileDialogKind kind, QString& filename, QString& FileTitle)
{
    const QString oneNul(QChar(u'\0'));
    filename = oneNul;
    FileTitle = oneNul;
    m_flags = 0;
    m_filterIndex = kind == FileDialogKind::Save ? 0 : -1;
    m_filter = oneNul;
}

QString cFileDlg::GetFilterPair(const QString& filterList, std::int32_t index) const
{
    return filterPair(filterList, index);
}

QString cFileDlg::GetSpecialFolderPath(std::int32_t identifier) const
{
    LPITEMIDLIST list;
    if (SHGetSpecialFolderLocation(static_cast<HWND>(m_ownerHwnd), identifier, list) != S_OK) {
        return {};
    }
    std::array<char, kFolderPathSize> path;
    path.fill(' ');
    const BOOL found = SHGetPathFromIDListA(list.get(), path);
    CoTaskMemFree(std::move(list));
    if (found == 0) {
        return {};
    }
    return textToFirstNul(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace kelvora::dialogs

#pragma once

// The one object through which the application asks the user for files: open, open with
// preview and save dialogs, a special-folder lookup for the initial folder, a file-title
// query and an existence test. One object per dialog; a run rewrites the properties.

#include "platform/dialogs/CommonDialogs.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace kelvora::dialogs {

class cFileDlg {
public:
    // Why a run failed before its dialog was shown (the object and arguments are then unchanged).
    enum class RunError { None, InvalidArgument, Overflow };

    explicit cFileDlg(platform::CommonDialogs& dialogs = platform::systemCommonDialogs());

    [[nodiscard]] std::int32_t OwnerHwnd() const;
    void setOwnerHwnd(std::int32_t vHwnd);
    [[nodiscard]] bool FileMustExist() const;
    void setFileMustExist(bool vNewValue);
    [[nodiscard]] bool MultiSelect() const;
    void setMultiSelect(bool vNewValue);
    [[nodiscard]] bool ReadOnly() const;
    [[nodiscard]] bool HideReadOnly() const;
    void setHideReadOnly(bool vNewValue);
    [[nodiscard]] QString Filter() const;
    void setFilter(const QString& vFilterString);
    [[nodiscard]] std::int32_t FilterIndex() const;
    void setFilterIndex(std::int32_t vIndex);
    [[nodiscard]] QString InitDirectory() const;
    void setInitDirectory(const QString& DirPath);
    void setInitDirectorySpecial(std::int32_t SpecialDirectory);
    [[nodiscard]] QString DlgTitle() const;
    void setDlgTitle(const QString& title);
    [[nodiscard]] QString DefaultExt() const;
    void setDefaultExt(const QString& fileExt);
    [[nodiscard]] std::int32_t Flags() const;
    void setFlags(std::int32_t vFlags);
    [[nodiscard]] bool OverwritePrompt() const;
    void setOverwritePrompt(bool vShowPrompt);

    // True when the user confirmed. filename and FileTitle are in and out.
    [[nodiscard]] bool VBGetOpenFileName(QString& filename, QString& FileTitle);
    [[nodiscard]] bool VBGetOpenFileNamePreview(QString& filename, QString& FileTitle);
    [[nodiscard]] bool VBGetSaveFileName(QString& filename, QString& FileTitle);
    [[nodiscard]] bool ExistFile(QString sSpec) const;
    [[nodiscard]] QString VBGetFileTitle(QString& sFile) const;

    // The failure of the last run that stopped before its dialog; None otherwise.
    [[nodiscard]] RunError lastRunError() const;

private:
    [[nodiscard]] bool run(platform::FileDialogKind kind, QString& filename, QString& FileTitle);
    [[nodiscard]] platform::DWORD composeFlags(platform::FileDialogKind kind) const;
    [[nodiscard]] platform::BOOL callDialog(platform::FileDialogKind kind, platform::OPENFILENAMEA& ofn);
    void takeConfirmed(platform::FileDialogKind kind, const platform::OPENFILENAMEA& ofn, const QString& filterList,
                       const QByteArray& file, const QByteArray& title, QString& filename, QString& FileTitle);
    void takeCancelled(platform::FileDialogKind kind, QString& filename, QString& FileTitle);
    [[nodiscard]] QString GetFilterPair(const QString& filterList, std::int32_t index) const;
    [[nodiscard]] QString GetSpecialFolderPath(std::int32_t identifier) const;

    platform::CommonDialogs* m_dialogs;  // not owned; outlives the object
    std::int32_t m_ownerHwnd = -1;
    bool m_fileMustExist = true;
    bool m_multiSelect = false;
    bool m_readOnly = false;
    bool m_hideReadOnly = true;
    QString m_filter;
    std::int32_t m_filterIndex = 0;
    QString m_initDirectory;
    QString m_dlgTitle;
    QString m_defaultExt;
    std::int32_t m_flags = 0;
    bool m_overwritePrompt = true;
    RunError m_lastRunError = RunError::None;
};

}  // namespace kelvora::dialogs

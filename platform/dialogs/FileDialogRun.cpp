#include "platform/dialogs/FileDialogRun.h"

#include "platform/dialogs/CheckedFileDialog.h"
#include "platform/dialogs/FileBuffers.h"
#include "platform/dialogs/NameFilters.h"
#include "platform/dialogs/PreviewPane.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QPointer>

#include <filesystem>
#include <system_error>

namespace kelvora::platform {

namespace {

bool isOpen(FileDialogKind kind) { return kind != FileDialogKind::Save; }

QWidget* ownerWidget(HWND hwndOwner)
{
    if (hwndOwner == 0) {
        return nullptr;
    }
    QWidget* owner = QWidget::find(static_cast<WId>(hwndOwner));
    return owner != nullptr ? owner->window() : nullptr;
}

QFileDialog::FileMode fileModeFor(DWORD flags, FileDialogKind kind)
{
    if (!isOpen(kind)) {
        return QFileDialog::AnyFile;
    }
    if ((flags & OFN_ALLOWMULTISELECT) != 0) {
        return QFileDialog::ExistingFiles;
    }
    return (flags & OFN_FILEMUSTEXIST) != 0 ? QFileDialog::ExistingFile : QFileDialog::AnyFile;
}

void applyInitialFolder(QFileDialog& dialog, const char* lpstrInitialDir)
{
    if (lpstrInitialDir == nullptr || *lpstrInitialDir == '\0') {
        return;
    }
    // A path to a file (as a previous run leaves it) opens in that file's folder.
    const QFileInfo info(QString::fromUtf8(lpstrInitialDir));
    dialog.setDirectory(info.isFile() ? info.absolutePath() : info.filePath());
}

void applyNameFilters(QFileDialog& dialog, const QStringList& filters, DWORD nFilterIndex)
{
    if (filters.isEmpty()) {
        return;
    }
    dialog.setNameFilters(filters);
    const bool inRange = nFilterIndex >= 1 && nFilterIndex <= static_cast<DWORD>(filters.size());
    dialog.selectNameFilter(filters.at(inRange ? static_cast<qsizetype>(nFilterIndex) - 1 : 0));
}

void configure(QFileDialog& dialog, const OPENFILENAMEA& ofn, FileDialogKind kind)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(isOpen(kind) ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(fileModeFor(ofn.Flags, kind));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (ofn.Flags & OFN_OVERWRITEPROMPT) == 0);
    if (ofn.lpstrTitle != nullptr) {
        dialog.setWindowTitle(QString::fromUtf8(ofn.lpstrTitle));
    }
    if (ofn.lpstrDefExt != nullptr) {
        dialog.setDefaultSuffix(QString::fromUtf8(ofn.lpstrDefExt));
    }
    applyInitialFolder(dialog, ofn.lpstrInitialDir);
    const QString proposed = proposedFileName(ofn);
    if (!proposed.isEmpty()) {
        dialog.selectFile(proposed);
    }
}

QCheckBox* attachReadOnlyBox(QFileDialog& dialog, bool checked)
{
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (grid == nullptr) {
        return nullptr;
    }
    auto* box = new QCheckBox(QStringLiteral("Apri in sola lettura"), &dialog);  // owned by the dialog
    box->setObjectName(QStringLiteral("readOnlyBox"));
    box->setChecked(checked);
    grid->addWidget(box, grid->rowCount(), 0, 1, -1);
    return box;
}

bool extensionDiffers(const QString& chosen, const char* lpstrDefExt)
{
    QString defaultExt = QString::fromUtf8(lpstrDefExt);
    if (defaultExt.startsWith(u'.')) {
        defaultExt.remove(0, 1);
    }
    return QFileInfo(chosen).suffix().compare(defaultExt, Qt::CaseInsensitive) != 0;
}

// The request's flags with the two the dialog reports: the read-only box (when shown) and
// whether the chosen name's extension differs from the default one.
DWORD returnedFlags(const OPENFILENAMEA& ofn, const QString& chosen, const QCheckBox* readOnlyBox)
{
    DWORD flags = ofn.Flags & ~OFN_EXTENSIONDIFFERENT;
    if (readOnlyBox != nullptr) {
        flags = readOnlyBox->isChecked() ? (flags | OFN_READONLY) : (flags & ~OFN_READONLY);
    }
    if (ofn.lpstrDefExt != nullptr && extensionDiffers(chosen, ofn.lpstrDefExt)) {
        flags |= OFN_EXTENSIONDIFFERENT;
    }
    return flags;
}

void enterFolderOf(const QString& chosen)
{
    std::error_code ignored;  // the dialog's result stands even if the folder cannot be entered
    std::filesystem::current_path(std::filesystem::path(QFileInfo(chosen).absolutePath().toStdU16String()), ignored);
}

}  // namespace

BOOL runFileDialog(OPENFILENAMEA& ofn, FileDialogKind kind)
{
    if (ofn.lStructSize != OPENFILENAME_SIZE_VERSION_400A || ofn.lpstrFile == nullptr || ofn.nMaxFile == 0 ||
        qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return 0;
    }
    const bool singleFile = !isOpen(kind) || (ofn.Flags & OFN_ALLOWMULTISELECT) == 0;
    const bool wantsTitle = ofn.lpstrFileTitle != nullptr;
    CheckedFileDialog dialog(ownerWidget(ofn.hwndOwner),
                             {singleFile, ofn.nMaxFile, wantsTitle ? ofn.nMaxFileTitle : DWORD{0}});
    configure(dialog, ofn, kind);
    const QStringList filters = nameFiltersFromList(ofn.lpstrFilter);
    applyNameFilters(dialog, filters, ofn.nFilterIndex);
    QPointer<QCheckBox> readOnlyBox;
    if (isOpen(kind) && (ofn.Flags & OFN_HIDEREADONLY) == 0) {
        readOnlyBox = attachReadOnlyBox(dialog, (ofn.Flags & OFN_READONLY) != 0);
    }
    if (kind == FileDialogKind::OpenWithPreview) {
        attachPreviewPane(dialog);
    }

    if (dialog.exec() != QDialog::Accepted) {
        return 0;
    }
    const QStringList chosen = dialog.chosenFiles();
    if ((singleFile && chosen.size() != 1) || !storeChosenFiles(ofn, chosen)) {
        return 0;
    }
    ofn.Flags = returnedFlags(ofn, chosen.front(), readOnlyBox.data());
    const qsizetype filterPosition = filters.indexOf(dialog.selectedNameFilter());
    if (filterPosition >= 0) {
        ofn.nFilterIndex = static_cast<DWORD>(filterPosition + 1);
    }
    if (isOpen(kind) && (ofn.Flags & OFN_NOCHANGEDIR) == 0) {
        enterFolderOf(chosen.front());
    }
    return 1;
}

}  // namespace kelvora::platform

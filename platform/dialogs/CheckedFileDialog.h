#pragma once

// Qt's widget file dialog that closes only on a choice the request can return as it is:
// a single-file dialog takes the name box literally (Qt would read `"a" "b"` as several
// names and `a"b` as `b`, and return a file the user never confirmed), and the chosen
// path must fit the caller's buffers. Otherwise the user is told and the dialog stays open.
// A quote is refused only where the literal name cannot be had: an open dialog returns an
// existing file whose name holds one; a save dialog, where the name is new, refuses it.

#include "platform/dialogs/CommonDialogs.h"

#include <QFileDialog>
#include <QString>
#include <QStringList>

namespace kelvora::platform {

class CheckedFileDialog final : public QFileDialog {
public:
    struct Limits {
        bool singleFile = true;
        DWORD fileBuffer = 0;   // bytes, NULs included
        DWORD titleBuffer = 0;  // 0: no title is returned
    };

    CheckedFileDialog(QWidget* parent, Limits limits);

    // Runs the checks, then Qt's own (folders, existence, the replace prompt).
    void accept() override;
    // What the user chose: Qt's selection, or the existing file named literally.
    [[nodiscard]] QStringList chosenFiles() const;

private:
    // The message for a choice that cannot be returned, or empty text.
    [[nodiscard]] QString refusal(const QStringList& chosen) const;
    // An open dialog's name box with a quote that names an existing file as it stands: that
    // file's path; otherwise empty text.
    [[nodiscard]] QString literalExistingFile() const;

    Limits m_limits;
    QString m_literal;
};

}  // namespace kelvora::platform

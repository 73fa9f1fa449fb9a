#include "platform/dialogs/CheckedFileDialog.h"

#include "platform/dialogs/FileBuffers.h"
#include "platform/msgbox/QtMessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

#include <string>

namespace kelvora::platform {

CheckedFileDialog::CheckedFileDialog(QWidget* parent, Limits limits) : QFileDialog(parent), m_limits(limits) {}

QString CheckedFileDialog::literalExistingFile() const
{
    const auto* nameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (acceptMode() != AcceptOpen || !m_limits.singleFile || nameBox == nullptr || !nameBox->text().contains(u'"')) {
        return {};
    }
    const QFileInfo named(directory().absoluteFilePath(nameBox->text()));
    return named.isFile() ? named.absoluteFilePath() : QString();
}

QStringList CheckedFileDialog::chosenFiles() const
{
    return m_literal.isEmpty() ? selectedFiles() : QStringList{m_literal};
}

QString CheckedFileDialog::refusal(const QStringList& chosen) const
{
    // The name box is Qt's own line edit; a quote there is Qt's several-names syntax.
    const auto* nameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (m_literal.isEmpty() && m_limits.singleFile && nameBox != nullptr && nameBox->text().contains(u'"')) {
        return QStringLiteral("Il nome del file non può contenere le virgolette (\").");
    }
    if (chosen.isEmpty() || (chosen.size() == 1 && QFileInfo(chosen.front()).isDir())) {
        return {};  // Qt enters a folder instead of choosing it
    }
    const BufferNeeds needs = bytesNeeded(chosen);
    if (needs.file > static_cast<qsizetype>(m_limits.fileBuffer)) {
        const auto most = QString::number(m_limits.fileBuffer > 0 ? m_limits.fileBuffer - 1 : 0);
        return chosen.size() == 1
                   ? QStringLiteral("Il percorso è troppo lungo (più di %1 byte).").arg(most)
                   : QStringLiteral("L'elenco dei file scelti è troppo lungo (più di %1 byte).").arg(most);
    }
    if (m_limits.titleBuffer > 0 && needs.title > static_cast<qsizetype>(m_limits.titleBuffer)) {
        return QStringLiteral("Il nome del file è troppo lungo (più di %1 byte).").arg(m_limits.titleBuffer - 1);
    }
    return {};
}

void CheckedFileDialog::accept()
{
    m_literal = literalExistingFile();
    if (const QString problem = refusal(chosenFiles()); !problem.isEmpty()) {
        QtMessageBox(this).MsgBox(problem.toStdString(), vbCritical, std::string(AppTitle));
        return;
    }
    if (!m_literal.isEmpty()) {
        QDialog::accept();  // Qt's own checks would split the name at its quotes
        return;
    }
    QFileDialog::accept();
}

}  // namespace kelvora::platform

#include "platform/dialogs/PreviewPane.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

namespace kelvora::platform {

namespace {

void showPreview(QLabel& pane, const QString& path)
{
    pane.clear();
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        return;
    }
    // Decoding at the pane's size keeps a large frame from being loaded whole.
    reader.setScaledSize(size.scaled(kPreviewPaneWidth, kPreviewPaneHeight, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (!image.isNull()) {
        pane.setPixmap(QPixmap::fromImage(image));
    }
}

}  // namespace

void attachPreviewPane(QFileDialog& dialog)
{
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (grid == nullptr) {
        return;
    }
    auto* pane = new QLabel(&dialog);  // owned by the dialog
    pane->setObjectName(QStringLiteral("previewPane"));
    pane->setFixedSize(kPreviewPaneWidth, kPreviewPaneHeight);
    pane->setAlignment(Qt::AlignCenter);
    pane->setFrameShape(QFrame::StyledPanel);
    grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1, Qt::AlignTop);
    QObject::connect(&dialog, &QFileDialog::currentChanged, pane,
                     [pane](const QString& path) { showPreview(*pane, path); });
    // A name typed (or proposed) in the name box is previewed too, not only a click in the list.
    if (auto* nameEdit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        QObject::connect(nameEdit, &QLineEdit::textChanged, pane, [pane, &dialog](const QString& name) {
            showPreview(*pane, dialog.directory().filePath(name));
        });
    }
}

}  // namespace kelvora::platform

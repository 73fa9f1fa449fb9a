#include "dialogs/DurationDialog.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QWidget>

namespace kelvora::dialogs {

namespace {

class QtDurationDialog final : public DurationDialog {
public:
    std::optional<QString> askDuration(const QString& start, int frames, std::int32_t ownerHandle) override
    {
        QWidget* owner = ownerHandle != 0 ? QWidget::find(static_cast<WId>(ownerHandle)) : nullptr;
        const QString label =
            (frames == 1 ? QStringLiteral("Secondi del fotogramma selezionato")
                         : QStringLiteral("Secondi di ciascuno dei %1 fotogrammi selezionati").arg(frames)) +
            QStringLiteral(" (per esempio 3 o 2,5; vuoto o 0: un fotogramma):");
        bool confirmed = false;
        const QString text = QInputDialog::getText(owner ? owner->window() : nullptr, QStringLiteral("Durata"), label,
                                                   QLineEdit::Normal, start, &confirmed);
        if (!confirmed)
            return std::nullopt;
        return text;
    }
};

}  // namespace

DurationDialog& systemDurationDialog()
{
    static QtDurationDialog dialog;
    return dialog;
}

}  // namespace kelvora::dialogs

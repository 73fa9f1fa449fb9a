#include "dialogs/VideoSizeDialog.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace kelvora::dialogs {

namespace {

QWidget* ownerWidget(std::int32_t handle)
{
    QWidget* owner = handle != 0 ? QWidget::find(static_cast<WId>(handle)) : nullptr;
    return owner != nullptr ? owner->window() : nullptr;
}

int indexOfSize(photo::OutputSize size)
{
    const auto found = std::ranges::find_if(kVideoSizes, [&](const SizeChoice& choice) {
        return choice.size == size || (choice.size.original() && size.original());
    });
    return found == kVideoSizes.end() ? 0 : static_cast<int>(found - kVideoSizes.begin());
}

class QtVideoSizeDialog final : public VideoSizeDialog {
public:
    std::optional<photo::Framing> askFraming(const photo::Framing& start, std::int32_t ownerHandle) override
    {
        const std::optional<VideoSettings> chosen = askSettings({start, std::nullopt}, false, ownerHandle);
        return chosen ? std::optional(chosen->framing) : std::nullopt;
    }

    std::optional<VideoSettings> askSettings(const VideoSettings& settings, bool fadesDrawn,
                                             std::int32_t ownerHandle) override
    {
        const photo::Framing& start = settings.framing;
        QDialog dialog(ownerWidget(ownerHandle));
        dialog.setWindowTitle(QStringLiteral("Dimensioni del video"));
        auto* sizes = new QComboBox(&dialog);
        for (const SizeChoice& choice : kVideoSizes)
            sizes->addItem(QString::fromUtf8(choice.caption));
        sizes->setCurrentIndex(indexOfSize(start.size));
        auto* fits = new QComboBox(&dialog);
        for (const char* caption : kFitCaptions)
            fits->addItem(QString::fromUtf8(caption));
        fits->setCurrentIndex(start.fit == photo::Fit::Crop ? 1 : 0);
        auto* note = new QLabel(QStringLiteral("Originale: la misura del primo fotogramma, con i byte dei file dove il "
                                               "tipo di video li conserva. Un'altra misura adatta ogni immagine."),
                                &dialog);
        note->setWordWrap(true);
        auto* crossfade =
            new QLineEdit(settings.crossfade ? QString::fromStdString(slideshow::durationText(*settings.crossfade))
                                             : QStringLiteral("0"),
                          &dialog);
        crossfade->setEnabled(fadesDrawn);
        if (!fadesDrawn)
            crossfade->setToolTip(QStringLiteral("Un AVI non compresso tiene le immagini come sono nei file: "
                                                 "nessuna dissolvenza"));
        auto* wrong = new QLabel(&dialog);
        wrong->setWordWrap(true);
        wrong->hide();
        std::optional<slideshow::Duration> blend = settings.crossfade;
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Salva"));
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annulla"));
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
            const slideshow::TypedDuration typed = slideshow::parseTypedDuration(crossfade->text().toStdString());
            if (fadesDrawn && !typed.valid) {
                // Said in the step, which stays open: nothing is saved with a crossfade not asked for.
                wrong->setText(
                    QStringLiteral("Dissolvenza non valida: scrivi i secondi, per esempio 1 o 0,5 (0: nessuna)."));
                wrong->show();
                crossfade->setFocus();
                return;
            }
            if (fadesDrawn)
                blend = typed.duration;
            dialog.accept();
        });
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("Dimensioni:"), sizes);
        form->addRow(QStringLiteral("Adattamento:"), fits);
        form->addRow(QStringLiteral("Dissolvenza incrociata (secondi):"), crossfade);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addLayout(form);
        layout->addWidget(note);
        layout->addWidget(wrong);
        layout->addWidget(buttons);
        sizes->setFocus();
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        photo::Framing chosen = start;
        chosen.size = kVideoSizes[static_cast<std::size_t>(std::max(sizes->currentIndex(), 0))].size;
        chosen.fit = fits->currentIndex() == 1 ? photo::Fit::Crop : photo::Fit::Letterbox;
        return VideoSettings{chosen, blend};
    }
};

}  // namespace

VideoSizeDialog& systemVideoSizeDialog()
{
    static QtVideoSizeDialog dialog;
    return dialog;
}

}  // namespace kelvora::dialogs

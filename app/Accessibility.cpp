#include "app/Accessibility.h"

#include "app/fMain.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

namespace kelvora::app {

namespace {

const char* const kStatusName = "lblStatus";

// The status line: a status bar named "Stato" whose value is what it says now, so its name
// stays the same while its text changes with every frame saved.
class StatusLineAccessible final : public QAccessibleWidget {
public:
    explicit StatusLineAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StatusBar) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return widget()->accessibleName();
        if (t == QAccessible::Value)
            return platform::fullStatusText(*static_cast<const QLabel*>(widget()));  // whole, not as fitted
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* windowControlAccessible(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    // The preview is a picture, not a plain panel.
    if (className == QLatin1String(platform::ImageBox::staticMetaObject.className()))
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    if (className == QLatin1String("QLabel") && object->objectName() == QLatin1String(kStatusName))
        return new StatusLineAccessible(static_cast<QLabel*>(widget));
    return nullptr;
}

void describe(QWidget* control, const char* objectName, const QString& name, const QString& description = {})
{
    control->setObjectName(QLatin1String(objectName));
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
}

}  // namespace

void describeControls(fMain& window)
{
    static const bool installed = [] {
        QAccessible::installFactory(windowControlAccessible);
        return true;
    }();
    (void)installed;

    // Buttons and the check box are named by their captions; a description says what the
    // caption does not.
    describe(window.cmdFileOpen, "cmdFileOpen", window.cmdFileOpen->text(),
             QStringLiteral("Sceglie un file BMP da aggiungere alla lista; con \"Tutta la cartella\" "
                            "aggiunge tutti i file BMP della sua cartella"));
    describe(window.cmdWriteAVI, "cmdWriteAVI", window.cmdWriteAVI->text(),
             QStringLiteral("Scrive i fotogrammi della lista, nel loro ordine, in un file AVI"));
    describe(window.Cartella, "Cartella", window.Cartella->text(),
             QStringLiteral("\"Aggiungi BMP\" aggiunge tutti i file BMP della cartella del file scelto"));
    describe(window.Command1, "Command1", window.Command1->text());
    describe(window.cmdExit, "cmdExit", window.cmdExit->text(), QStringLiteral("Chiude il programma"));
    describe(window.lstDIBList, "lstDIBList", QStringLiteral("Lista dei fotogrammi"),
             QStringLiteral("Un file BMP per fotogramma, nell'ordine del video. Maiuscole e Ctrl con i clic o "
                            "le frecce scelgono più fotogrammi; F12 sposta su, F11 sposta giù, Canc cancella, "
                            "trascinando si spostano; Ctrl+Z annulla, Ctrl+Y ripete; Spazio riproduce "
                            "nell'anteprima; si possono trascinare qui file e cartelle"));
    describe(window.lblfps, "lblfps", window.lblfps->text());
    window.lblfps->setBuddy(window.HScroll);
    describe(window.HScroll, "HScroll", QStringLiteral("Fotogrammi per secondo"),
             QStringLiteral("Da 1 a 30 fotogrammi al secondo"));
    describe(window.txtFPS, "txtFPS", QStringLiteral("Fotogrammi per secondo scelti"),
             QStringLiteral("Il numero scelto con la barra di scorrimento; con un doppio clic vi si scrive "
                            "un'altra frequenza (29,97, 30000/1001, ntsc...)"));
    // Its text is what it says (frames and duration), read as any label's.
    window.lblVideo->setObjectName(QStringLiteral("lblVideo"));
    describe(window.imgPreview, "imgPreview", QStringLiteral("Anteprima del fotogramma"),
             QStringLiteral("Il fotogramma selezionato o aggiunto per ultimo"));
    describe(window.lblStatus, kStatusName, QStringLiteral("Stato"));
    describe(window.ListMenu, "ListMenu", window.ListMenu->title());
}

}  // namespace kelvora::app

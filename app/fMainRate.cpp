// The rate: the scroll bar's whole rates, or one typed as the command line's --fps takes it
// (double-click on the number box, or "Altra frequenza…"); the bar then shows the nearest
// whole one, and the save takes the exact one.
#include "app/fMain.h"

#include "app/VideoLine.h"
#include "platform/toolkit/ListBox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>

namespace kelvora::app {

bool fMain::setFrameRateText(const QString& text)
{
    const std::optional<video::StreamRate> rate = video::streamRateFromText(text.trimmed().toStdString());
    if (!rate)
        return false;
    m_rate = *rate;
    {
        // The bar shows the nearest whole rate; moving it there must not round the exact one.
        const QSignalBlocker quiet(HScroll);
        HScroll->setValue(nearestScrollRate(m_rate));
    }
    showFps();
    return true;
}

void fMain::AltraFrequenza_Click()
{
    if (busy())
        return;
    // The box takes typing until Enter (or leaving it) takes the rate, or Escape keeps the old one.
    txtFPS->setEnabled(true);
    txtFPS->setText(QString::fromStdString(video::rateText(m_rate)));
    txtFPS->setFocus();
    txtFPS->selectAll();
    showStatus(QStringLiteral("Scrivi la frequenza (12, 29,97, 30000/1001, ntsc...) e premi Invio"));
}

void fMain::endRateEntry(bool take)
{
    if (!txtFPS->isEnabled())
        return;
    const QString typed = txtFPS->text();
    if (take && !setFrameRateText(typed)) {
        showStatus(QStringLiteral("Frequenza non valida: \"%1\" (da 1 all'ora a 1000 al secondo)").arg(typed));
        txtFPS->selectAll();
        return;
    }
    txtFPS->setEnabled(false);
    showFps();
    if (take)
        showStatus(
            QStringLiteral("Frequenza: %1 fotogrammi al secondo").arg(QString::fromStdString(video::rateText(m_rate))));
    else
        showStatus(QString());
    lstDIBList->setFocus();
}

void fMain::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The number box is disabled while it only shows the rate: its clicks reach the window.
    if (txtFPS->geometry().contains(event->position().toPoint()) && !txtFPS->isEnabled()) {
        AltraFrequenza_Click();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

bool fMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtFPS && txtFPS->isEnabled()) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
                endRateEntry(key != Qt::Key_Escape);
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            // Leaving the box takes a valid rate and keeps the old one otherwise.
            if (!video::streamRateFromText(txtFPS->text().trimmed().toStdString()))
                endRateEntry(false);
            else
                endRateEntry(true);
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kelvora::app

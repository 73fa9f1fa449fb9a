#include "platform/msgbox/QtMessageBox.h"

#include <QMessageBox>
#include <QString>

namespace kelvora::platform {

void QtMessageBox::MsgBox(const std::string& text, int style, const std::string& title)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QMessageBox::Icon icon = (style & 0x70) == vbCritical ? QMessageBox::Critical : QMessageBox::Information;
    QMessageBox box(icon, QString::fromStdString(title), shown, QMessageBox::Ok, m_parent);
    box.exec();
}

}  // namespace kelvora::platform

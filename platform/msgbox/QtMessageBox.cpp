#include "platform/msgbox/QtMessageBox.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QString>

#include <memory>

namespace kelvora::platform {

namespace {

std::unique_ptr<QMessageBox> makeBox(const std::string& text, int style, const std::string& title, QWidget* parent)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QMessageBox::Icon icon = (style & 0x70) == vbCritical ? QMessageBox::Critical : QMessageBox::Information;
    return std::make_unique<QMessageBox>(icon, QString::fromStdString(title), shown, QMessageBox::Ok, parent);
}

}  // namespace

void QtMessageBox::MsgBox(const std::string& text, int style, const std::string& title)
{
    makeBox(text, style, title, m_parent)->exec();
}

bool QtMessageBox::MsgBoxWithCheck(const std::string& text, int style, const std::string& title,
                                   const std::string& checkText)
{
    const std::unique_ptr<QMessageBox> box = makeBox(text, style, title, m_parent);
    auto* check = new QCheckBox(QString::fromStdString(checkText), box.get());  // the box takes it
    box->setCheckBox(check);
    box->exec();
    return check->isChecked();
}

}  // namespace kelvora::platform

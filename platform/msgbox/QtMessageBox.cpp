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
    run(*makeBox(text, style, title, m_parent));
}

bool QtMessageBox::MsgBoxWithCheck(const std::string& text, int style, const std::string& title,
                                   const std::string& checkText)
{
    const std::unique_ptr<QMessageBox> box = makeBox(text, style, title, m_parent);
    auto* check = new QCheckBox(QString::fromStdString(checkText), box.get());  // the box takes it
    box->setCheckBox(check);
    run(*box);
    return check->isChecked();
}

void QtMessageBox::run(QMessageBox& box)
{
    m_shown.push_back(&box);
    box.exec();
    std::erase(m_shown, &box);
}

void QtMessageBox::closeShown()
{
    // Each box's loop ends as the calls return to it; the boxes themselves go with their calls.
    for (QMessageBox* box : m_shown)
        box->done(QMessageBox::Ok);
}

}  // namespace kelvora::platform

#pragma once

#include "platform/msgbox/MessageBox.h"

class QWidget;

namespace kelvora::platform {

// The real message box: a modal QMessageBox with one OK button and the style's icon.
class QtMessageBox final : public MessageBoxService {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void MsgBox(const std::string& text, int style, const std::string& title) override;
    [[nodiscard]] bool MsgBoxWithCheck(const std::string& text, int style, const std::string& title,
                                       const std::string& checkText) override;

private:
    QWidget* m_parent;  // not owned
};

}  // namespace kelvora::platform

#pragma once

#include "platform/msgbox/MessageBox.h"

#include <vector>

class QMessageBox;
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
    void closeShown() override;

private:
    void run(QMessageBox& box);

    QWidget* m_parent;                  // not owned
    std::vector<QMessageBox*> m_shown;  // the boxes in their modal loops, innermost last; not owned
};

}  // namespace kelvora::platform

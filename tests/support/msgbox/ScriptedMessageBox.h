#pragma once

// A message box that records what it was asked to show instead of showing it.

#include "platform/msgbox/MessageBox.h"

#include <functional>
#include <string>
#include <vector>

namespace kelvora::testsupport {

struct ShownMessage {
    std::string text;
    int style = 0;
    std::string title;
};

class ScriptedMessageBox final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string& text, int style, const std::string& title) override
    {
        shown.push_back({text, style, title});
        if (onShow)
            onShow(shown.back());
    }
    std::vector<ShownMessage> shown;
    std::function<void(const ShownMessage&)> onShow;  // runs while the box is "open"
};

}  // namespace kelvora::testsupport

#include "platform/msgbox/MessageBox.h"

#include <cstdio>

namespace kelvora::platform {

namespace {

class StderrMessageBox final : public MessageBoxService {
public:
    void MsgBox(const std::string& text, int style, const std::string& title) override
    {
        std::fprintf(stderr, "[%s] (%d) %s\n", title.c_str(), style, text.c_str());
    }
};

}  // namespace

MessageBoxService& stderrMessageBox()
{
    static StderrMessageBox box;
    return box;
}

}  // namespace kelvora::platform

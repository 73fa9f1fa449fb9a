#pragma once

#include <string>
#include <string_view>

namespace kelvora::platform {

// The application's title: every message box and, by default, every file dialog carries it.
inline constexpr std::string_view AppTitle = "KELVORA MAKER";

// Message-box styles as the original platform numbers them; both have one OK button.
inline constexpr int vbCritical = 16;     // stop icon
inline constexpr int vbInformation = 64;  // information icon

// The modal message box. Texts are UTF-8; a CR LF inside a text is one line break.
// The call returns when the user has closed the box.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual void MsgBox(const std::string& text, int style, const std::string& title) = 0;
    // The same box with a check box under the text, unticked at first; true when the user
    // closed the box with it ticked. A service with no check box shows the plain box.
    [[nodiscard]] virtual bool MsgBoxWithCheck(const std::string& text, int style, const std::string& title,
                                               const std::string& checkText)
    {
        (void)checkText;
        MsgBox(text, style, title);
        return false;
    }
    // Closes the boxes the service is showing now, as the OK button would (the check box as
    // it stands): for an application that must end although nobody answers them. Boxes asked
    // for later are shown as usual. A service whose boxes return at once has nothing to do.
    virtual void closeShown() {}
};

// A service that only writes the message to standard error: what a bitmap object uses
// when nobody installed a real box (command-line tools, benchmarks).
MessageBoxService& stderrMessageBox();

}  // namespace kelvora::platform

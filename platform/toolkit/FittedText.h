#pragma once

#include <QLabel>
#include <QString>

namespace kelvora::platform {

// Shows text on a label; a text too long for it gets a smaller size of the label's own font
// (down to 6 points) rather than being cut. A label that wraps its words may use every line
// its height holds before its font is made smaller. The label's own font is kept aside.
void setFittedText(QLabel& label, const QString& text);

// Gives the label back its own font after setFittedText made it smaller.
void restoreOwnFont(QLabel& label);

// Whether text, in the label's current font, shows whole within the label.
[[nodiscard]] bool textFits(const QLabel& label, const QString& text);

}  // namespace kelvora::platform

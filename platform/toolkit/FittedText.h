#pragma once

#include <QLabel>
#include <QString>

namespace kelvora::platform {

// Shows text on a one-line label; a text too long for it gets a smaller size of the label's
// own font (down to 6 points) rather than being cut. The label's own font is kept aside.
void setFittedText(QLabel& label, const QString& text);

// Gives the label back its own font after setFittedText made it smaller.
void restoreOwnFont(QLabel& label);

}  // namespace kelvora::platform

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

// Shows a status text on a label in the label's own font, on the lines its height holds: a
// number stays whole with its unit or its other side ("322 × 242", "12,3 MB" never break),
// "N x M" is written "N × M", and a text still too long has its paths shortened in the
// middle, then its end. The label's text is the full one whenever that shows as it is; the
// full text is always the tooltip and fullStatusText.
void setStatusText(QLabel& label, const QString& text);

// The whole text setStatusText was last given (the label's text before any).
[[nodiscard]] QString fullStatusText(const QLabel& label);

}  // namespace kelvora::platform

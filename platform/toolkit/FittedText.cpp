#include "platform/toolkit/FittedText.h"

#include <QFontMetrics>
#include <QVariant>

namespace kelvora::platform {
namespace {

constexpr const char* kOwnFont = "kelvoraOwnFont";
constexpr qreal kSmallestPoints = 6.0;

}  // namespace

void setFittedText(QLabel& label, const QString& text)
{
    if (!label.property(kOwnFont).isValid())
        label.setProperty(kOwnFont, label.font());
    QFont font = label.property(kOwnFont).value<QFont>();
    while (font.pointSizeF() > kSmallestPoints &&
           QFontMetrics(font).horizontalAdvance(text) > label.contentsRect().width())
        font.setPointSizeF(font.pointSizeF() - 0.25);
    label.setFont(font);
    label.setText(text);
}

void restoreOwnFont(QLabel& label)
{
    if (const QVariant own = label.property(kOwnFont); own.isValid())
        label.setFont(own.value<QFont>());
}

}  // namespace kelvora::platform

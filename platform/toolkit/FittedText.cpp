#include "platform/toolkit/FittedText.h"

#include <QFontMetrics>
#include <QVariant>

namespace kelvora::platform {
namespace {

constexpr const char* kOwnFont = "kelvoraOwnFont";
constexpr qreal kSmallestPoints = 6.0;

bool fitsIn(const QLabel& label, const QFont& font, const QString& text)
{
    const QRect area = label.contentsRect();
    const QFontMetrics metrics(font);
    if (!label.wordWrap())
        return metrics.horizontalAdvance(text) <= area.width();
    const QRect needed =
        metrics.boundingRect(QRect(0, 0, area.width(), 1 << 20), int(Qt::TextWordWrap | label.alignment()), text);
    return needed.width() <= area.width() && needed.height() <= area.height();
}

}  // namespace

void setFittedText(QLabel& label, const QString& text)
{
    if (!label.property(kOwnFont).isValid())
        label.setProperty(kOwnFont, label.font());
    QFont font = label.property(kOwnFont).value<QFont>();
    while (font.pointSizeF() > kSmallestPoints && !fitsIn(label, font, text))
        font.setPointSizeF(font.pointSizeF() - 0.25);
    label.setFont(font);
    label.setText(text);
}

void restoreOwnFont(QLabel& label)
{
    if (const QVariant own = label.property(kOwnFont); own.isValid())
        label.setFont(own.value<QFont>());
}

bool textFits(const QLabel& label, const QString& text) { return fitsIn(label, label.font(), text); }

}  // namespace kelvora::platform

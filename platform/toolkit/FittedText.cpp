#include "platform/toolkit/FittedText.h"

#include <QFontMetrics>
#include <QRegularExpression>
#include <QTextLayout>
#include <QVariant>

#include <optional>
#include <vector>

namespace kelvora::platform {
namespace {

constexpr const char* kOwnFont = "kelvoraOwnFont";
constexpr const char* kFullText = "kelvoraFullText";
constexpr qreal kSmallestPoints = 6.0;
const QChar kNoBreak(0x00A0);

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

// Where the label's word wrap breaks `text`'s lines (the first character of each line after
// the first), or none when it does not fit the label's lines at all.
std::optional<std::vector<int>> lineStarts(const QLabel& label, const QString& text)
{
    const QRect area = label.contentsRect();
    const QFontMetrics metrics(label.font());
    const int most = std::max(1, area.height() / metrics.lineSpacing());
    std::vector<int> starts;
    int lines = 0;
    int offset = 0;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, label.font());
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(area.width());
            if (line.naturalTextWidth() > area.width())
                return std::nullopt;  // a word wider than the label
            if (line.textStart() > 0)
                starts.push_back(offset + line.textStart());
            ++lines;
        }
        layout.endLayout();
        offset += static_cast<int>(paragraph.size()) + 1;
    }
    if (lines > most)
        return std::nullopt;
    return starts;
}

// A break right after a number, before its unit or "×", or after "×" is inside a number.
bool breaksANumber(const QString& text, const std::vector<int>& starts)
{
    static const QRegularExpression kept(QStringLiteral(R"((\d|×)\s+$)"));
    static const QRegularExpression next(
        QStringLiteral(R"(^(×|\d|byte|kB|MB|GB|TB|s\b|min\b|h\b|bit\b|volte|fotogramm))"));
    for (const int start : starts)
        if (kept.match(text.left(start)).hasMatch() && next.match(text.mid(start)).hasMatch())
            return true;
    return false;
}

// "N x M" as "N × M", as every other line of the window writes sizes.
QString withTimes(QString text)
{
    static const QRegularExpression times(QStringLiteral(R"((\d) x (\d))"));
    return text.replace(times, QStringLiteral("\\1 × \\2"));
}

// Numbers bound to their units and their other sides with no-break spaces.
QString bound(QString text)
{
    static const QRegularExpression unit(
        QStringLiteral(R"((\d|×) (×|\d|byte|kB|MB|GB|TB|s\b|min\b|h\b|bit\b|volte|fotogramm))"));
    for (int guard = 0; guard < 4; ++guard)  // overlapping matches ("3 × 4 bit") take a few passes
        text.replace(unit, QStringLiteral("\\1") + kNoBreak + QStringLiteral("\\2"));
    return text;
}

bool showsWhole(const QLabel& label, const QString& text)
{
    const std::optional<std::vector<int>> starts = lineStarts(label, text);
    return starts && !breaksANumber(text, *starts);
}

// The text with its longest path shortened in the middle, or nothing when no path is left
// to shorten.
std::optional<QString> shorterPath(const QString& text, const QFontMetrics& metrics)
{
    static const QRegularExpression path(QStringLiteral(R"([^\s:"«»()]*/[^\s"«»()]*)"));
    QRegularExpressionMatch longest;
    for (QRegularExpressionMatchIterator it = path.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (!longest.hasMatch() || match.capturedLength() > longest.capturedLength())
            longest = match;
    }
    if (!longest.hasMatch() || longest.capturedLength() < 12)
        return std::nullopt;
    const QString whole = longest.captured();
    const int width = metrics.horizontalAdvance(whole) * 3 / 4;
    QString shorter = metrics.elidedText(whole, Qt::ElideMiddle, width);
    if (shorter.size() >= whole.size())
        return std::nullopt;
    return QString(text).replace(longest.capturedStart(), longest.capturedLength(), shorter);
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

void setStatusText(QLabel& label, const QString& given)
{
    const QString text = withTimes(given);
    restoreOwnFont(label);
    label.setProperty(kFullText, text);
    label.setToolTip(text);
    if (text.isEmpty() || showsWhole(label, text)) {
        label.setText(text);
        return;
    }
    QString shown = bound(text);
    const QFontMetrics metrics(label.font());
    while (!showsWhole(label, shown)) {
        if (std::optional<QString> shorter = shorterPath(shown, metrics)) {
            shown = *shorter;
            continue;
        }
        // No path left to shorten: the end goes, a word at a time.
        const int cut = shown.lastIndexOf(QRegularExpression(QStringLiteral(R"(\s)")), shown.size() - 2);
        if (cut <= 0) {
            shown = metrics.elidedText(shown, Qt::ElideRight, label.contentsRect().width());
            break;
        }
        shown = shown.left(cut) + QStringLiteral("…");
    }
    label.setText(shown);
}

QString fullStatusText(const QLabel& label)
{
    const QVariant full = label.property(kFullText);
    return full.isValid() ? full.toString() : label.text();
}

}  // namespace kelvora::platform

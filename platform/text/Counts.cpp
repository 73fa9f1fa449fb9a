#include "platform/text/Counts.h"

namespace kelvora::platform {

std::string groupedDigits(std::int64_t n)
{
    std::string digits = std::to_string(n);
    const std::size_t sign = n < 0 ? 1 : 0;
    for (std::size_t at = digits.size(); at > sign + 3; at -= 3)
        digits.insert(at - 3, 1, '.');
    return digits;
}

std::string countText(std::int64_t n, std::string_view one, std::string_view many, Digits digits)
{
    std::string text = digits == Digits::Grouped ? groupedDigits(n) : std::to_string(n);
    text += ' ';
    text += forCount(n, one, many);
    return text;
}

QString countText(std::int64_t n, QStringView one, QStringView many, Digits digits)
{
    QString text = digits == Digits::Grouped ? QString::fromStdString(groupedDigits(n)) : QString::number(n);
    text += QLatin1Char(' ');
    text += n == 1 ? one : many;
    return text;
}

std::string framesText(std::int64_t n) { return countText(n, "fotogramma", "fotogrammi"); }

QString qFramesText(std::int64_t n) { return countText(n, u"fotogramma", u"fotogrammi"); }

QString timeLeftSuffix(int secondsLeft)
{
    if (secondsLeft >= 60)
        return QStringLiteral(" · ancora %1 min %2 s").arg(secondsLeft / 60).arg(secondsLeft % 60);
    if (secondsLeft >= 0)
        return QStringLiteral(" · ancora %1 s").arg(secondsLeft);
    return {};
}

}  // namespace kelvora::platform

#include "app/VideoLine.h"

#include "platform/text/Counts.h"

#include <algorithm>
#include <cmath>

namespace kelvora::app {

namespace {

QString oneDecimal(double value) { return QString::number(value, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(',')); }

}  // namespace

QString durationText(double seconds)
{
    if (seconds < 59.95)
        return oneDecimal(seconds) + QStringLiteral(" s");
    const auto whole = static_cast<std::int64_t>(std::llround(seconds));
    if (whole < 3600)
        return QStringLiteral("%1 min %2 s").arg(whole / 60).arg(whole % 60);
    const std::int64_t minutes = (whole + 30) / 60;
    return QStringLiteral("%1 h %2 min")
        .arg(QString::fromStdString(platform::groupedDigits(minutes / 60)))
        .arg(minutes % 60);
}

QString videoLine(std::int64_t frames, video::StreamRate rate) { return videoLine(frames, rate, frames); }

QString videoLine(std::int64_t frames, video::StreamRate rate, std::int64_t videoFrames)
{
    if (frames <= 0)
        return QStringLiteral("Nessun fotogramma");
    const double seconds = static_cast<double>(videoFrames) * rate.scale / rate.rate;
    return platform::countText(frames, u"fotogramma", u"fotogrammi", platform::Digits::Grouped) +
           QStringLiteral(" · ") + durationText(seconds) + QStringLiteral(" a ") +
           QString::fromStdString(video::rateText(rate)) + QStringLiteral(" al secondo");
}

QString shortRateText(video::StreamRate rate)
{
    const QString exact = QString::fromStdString(video::rateText(rate));
    if (exact.size() <= 5)
        return exact;
    const double value = static_cast<double>(rate.rate) / rate.scale;
    if (value < 1.0)
        return exact;  // a slow rate's decimals would say nothing ("0,00")
    return QString::number(value, 'f', value < 100 ? 2 : 0).replace(QLatin1Char('.'), QLatin1Char(','));
}

int nearestScrollRate(video::StreamRate rate)
{
    const double value = static_cast<double>(rate.rate) / rate.scale;
    return static_cast<int>(std::clamp(std::nearbyint(value), 1.0, 30.0));
}

}  // namespace kelvora::app

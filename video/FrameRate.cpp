#include "video/FrameRate.h"

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kelvora::video {

namespace {

// The leading number of a text, as the original's Val() reads it: blanks skipped, an
// optional sign, digits with an optional fraction and exponent; none gives 0.
double leadingNumber(const QString& text)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    const char* begin = bytes.constData();
    // strtod also reads "inf", "nan" and hexadecimal; only plain decimal text counts.
    const char first = begin[0] == '+' || begin[0] == '-' ? begin[1] : begin[0];
    if (!((first >= '0' && first <= '9') || first == '.'))
        return 0.0;
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin)
        return 0.0;
    return std::isfinite(value) ? value : (value < 0 ? -1.0 : 1e9);  // "1e999" is simply large
}

}  // namespace

DWORD frameRateFromText(const QString& text)
{
    const double rounded = std::nearbyint(leadingNumber(text));  // halves to even, like the original
    return static_cast<DWORD>(std::clamp(rounded, 1.0, 30.0));
}

}  // namespace kelvora::video

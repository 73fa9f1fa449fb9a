#include "dialogs/NarrowText.h"

namespace kelvora::dialogs {

std::optional<QByteArray> paddedBuffer(const QString& text, qsizetype size)
{
    QByteArray buffer = text.toUtf8();
    if (buffer.size() > size) {
        return std::nullopt;
    }
    buffer.append(size - buffer.size(), '\0');
    return buffer;
}

QString textToFirstNul(const QByteArray& buffer)
{
    const qsizetype nul = buffer.indexOf('\0');
    return QString::fromUtf8(buffer.constData(), nul < 0 ? buffer.size() : nul);
}

QString wholeText(const QByteArray& buffer)
{
    return QString::fromUtf8(buffer.constData(), buffer.size());
}

const char* textOrAbsent(const QByteArray& narrow)
{
    return narrow.isEmpty() ? nullptr : narrow.constData();
}

}  // namespace kelvora::dialogs

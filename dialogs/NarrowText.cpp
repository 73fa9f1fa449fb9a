#include "dialogs/NarrowText.h"

#include "platform/text/PathNames.h"

namespace kelvora::dialogs {

std::optional<QByteArray> paddedBuffer(const QString& text, qsizetype size)
{
    const std::string narrow = platform::nativePath(text);
    QByteArray buffer(narrow.data(), static_cast<qsizetype>(narrow.size()));
    if (buffer.size() > size) {
        return std::nullopt;
    }
    buffer.append(size - buffer.size(), '\0');
    return buffer;
}

QString textToFirstNul(const QByteArray& buffer)
{
    const qsizetype nul = buffer.indexOf('\0');
    return platform::pathFromNative(
        std::string_view(buffer.constData(), static_cast<std::size_t>(nul < 0 ? buffer.size() : nul)));
}

QString wholeText(const QByteArray& buffer)
{
    return platform::pathFromNative(std::string_view(buffer.constData(), static_cast<std::size_t>(buffer.size())));
}

const char* textOrAbsent(const QByteArray& narrow) { return narrow.isEmpty() ? nullptr : narrow.constData(); }

}  // namespace kelvora::dialogs

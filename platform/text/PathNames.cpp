#include "platform/text/PathNames.h"

#include <algorithm>
#include <cstdint>

namespace kelvora::platform {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // U+DC80..U+DCFF carry the bytes 0x80..0xFF

// The length of the valid UTF-8 sequence at the start of `bytes` and its code point, or 0
// when it is not one (overlong forms, surrogates and values past U+10FFFF are not).
std::size_t validSequence(std::string_view bytes, char32_t& codePoint)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

QString pathFromNative(std::string_view bytes)
{
    // Most names are plain ASCII, which is the same in every encoding.
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    while (!bytes.empty()) {
        char32_t codePoint = 0;
        std::size_t length = validSequence(bytes, codePoint);
        if (length == 0) {
            text += QChar(static_cast<char16_t>(kEscapeBase + static_cast<std::uint8_t>(bytes.front())));
            length = 1;
        } else {
            for (const char16_t unit : QChar::fromUcs4(codePoint))
                text += QChar(unit);
        }
        bytes.remove_prefix(length);
    }
    return text;
}

std::string nativePath(const QString& path)
{
    const QStringView units(path);
    if (std::all_of(units.begin(), units.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        std::string ascii(units.size(), '\0');
        std::transform(units.begin(), units.end(), ascii.begin(),
                       [](QChar c) { return static_cast<char>(c.unicode()); });
        return ascii;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(path.size()));
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < path.size() && path.at(i + 1).isLowSurrogate()) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, path.at(i + 1).unicode()));
            ++i;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes += static_cast<char>(unit - kEscapeBase);
        } else {
            // Any other lone surrogate cannot come from a file name; it goes as U+FFFD.
            appendUtf8(bytes, QChar::isSurrogate(unit) ? char32_t{0xFFFD} : char32_t{unit});
        }
    }
    return bytes;
}

}  // namespace kelvora::platform

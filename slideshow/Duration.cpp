#include "slideshow/Duration.h"

#include <array>
#include <cstdio>

namespace kelvora::slideshow {

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whole digits, at most `most` of them; nothing for none or a non-digit.
std::optional<std::int64_t> whole(std::string_view text, std::size_t most)
{
    if (text.empty() || text.size() > most)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "12" or "12.345" (point or comma) in nanoseconds of `unit`; up to nine decimals.
std::optional<std::int64_t> decimal(std::string_view text, std::int64_t unit)
{
    const std::size_t point = text.find_first_of(".,");
    // ",5" is half a second, as people type it.
    const std::string_view digits = text.substr(0, point);
    const std::optional<std::int64_t> integral =
        digits.empty() && point != std::string_view::npos ? std::optional<std::int64_t>(0) : whole(digits, 6);
    if (!integral)
        return std::nullopt;
    std::int64_t value = *integral * unit;
    if (point == std::string_view::npos)
        return value;
    const std::string_view fraction = text.substr(point + 1);
    if (fraction.empty() || fraction.size() > 9)
        return std::nullopt;
    std::int64_t scale = unit;
    for (const char c : fraction) {
        if (!isDigit(c))
            return std::nullopt;
        // A decimal finer than a nanosecond of the unit is no duration we keep.
        if (scale % 10 != 0 && c != '0')
            return std::nullopt;
        scale /= 10;
        value += (c - '0') * scale;
    }
    return value;
}

// "[[H:]M:]S[.frac]": minutes and seconds below 60 where a larger part precedes them.
std::optional<std::int64_t> clock(std::string_view text)
{
    const std::size_t last = text.rfind(':');
    const std::optional<std::int64_t> seconds = decimal(text.substr(last + 1), kSecond);
    if (!seconds)
        return std::nullopt;
    std::string_view rest = text.substr(0, last);
    const std::size_t first = rest.find(':');
    const std::optional<std::int64_t> minutes = whole(rest.substr(first == std::string_view::npos ? 0 : first + 1), 2);
    std::optional<std::int64_t> hours = 0;
    if (first != std::string_view::npos)
        hours = whole(rest.substr(0, first), 3);
    if (!minutes || !hours || *seconds >= 60 * kSecond || (first != std::string_view::npos && *minutes >= 60))
        return std::nullopt;
    return (*hours * 3600 + *minutes * 60) * kSecond + *seconds;
}

}  // namespace

std::optional<Duration> parseDuration(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    std::optional<std::int64_t> value;
    if (text.find(':') != std::string_view::npos) {
        value = clock(text);
    } else if (text.ends_with("ms")) {
        value = decimal(text.substr(0, text.size() - 2), 1'000'000);
    } else if (text.ends_with("us")) {
        value = decimal(text.substr(0, text.size() - 2), 1'000);
    } else if (text.ends_with("s")) {
        value = decimal(text.substr(0, text.size() - 1), kSecond);
    } else {
        value = decimal(text, kSecond);
    }
    if (!value || *value <= 0 || *value > kLongestNanoseconds)
        return std::nullopt;
    return Duration{*value};
}

TypedDuration parseTypedDuration(std::string_view text)
{
    std::string spelled(text);
    while (!spelled.empty() && (spelled.back() == ' ' || spelled.back() == '\t'))
        spelled.pop_back();
    // "2,5 s" as the window writes it: the unit may stand apart from the number.
    if (spelled.ends_with("s")) {
        const std::size_t unit =
            spelled.ends_with("ms") || spelled.ends_with("us") ? spelled.size() - 2 : spelled.size() - 1;
        std::size_t number = unit;
        while (number > 0 && spelled[number - 1] == ' ')
            --number;
        spelled.erase(number, unit - number);
    }
    const std::size_t first = spelled.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {true, std::nullopt};
    // Nothing but zeros, separators and a unit: zero, which is no duration.
    const std::string_view digits = std::string_view(spelled).substr(first);
    if (digits.find('0') != std::string_view::npos && digits.find_first_not_of("0.,:msu") == std::string_view::npos &&
        digits.find_first_of("0") < digits.find_first_of("msu"))
        return {true, std::nullopt};
    const std::optional<Duration> duration = parseDuration(spelled);
    return {duration.has_value(), duration};
}

std::string durationText(Duration duration)
{
    const std::int64_t ns = duration.nanoseconds;
    const std::int64_t seconds = ns / kSecond;
    // The decimals that are there, up to the millisecond (rounded), with a comma.
    std::int64_t millis = (ns % kSecond + 500'000) / 1'000'000;
    std::int64_t whole = seconds;
    if (millis == 1000) {
        millis = 0;
        ++whole;
    }
    std::array<char, 8> fraction{};
    if (millis != 0) {
        std::snprintf(fraction.data(), fraction.size(), ",%03lld", static_cast<long long>(millis));
        for (std::size_t end = 3; fraction[end] == '0'; --end)
            fraction[end] = '\0';
    }
    std::array<char, 48> text{};
    if (whole < 60)
        std::snprintf(text.data(), text.size(), "%lld%s s", static_cast<long long>(whole), fraction.data());
    else if (whole < 3600)
        std::snprintf(text.data(), text.size(), "%lld:%02lld%s", static_cast<long long>(whole / 60),
                      static_cast<long long>(whole % 60), fraction.data());
    else
        std::snprintf(text.data(), text.size(), "%lld:%02lld:%02lld%s", static_cast<long long>(whole / 3600),
                      static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60), fraction.data());
    return text.data();
}

}  // namespace kelvora::slideshow

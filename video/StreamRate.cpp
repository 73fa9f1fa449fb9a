#include "video/StreamRate.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <numeric>

namespace kelvora::video {

namespace {

struct NamedRate {
    std::string_view name;
    StreamRate rate;
};
constexpr std::array kNamedRates{
    NamedRate{"ntsc", {30000, 1001}},
    NamedRate{"pal", {25, 1}},
    NamedRate{"film", {24, 1}},
    NamedRate{"ntsc-film", {24000, 1001}},
};

// Plain decimal digits only: from_chars alone would take a sign.
std::optional<std::uint64_t> digits(std::string_view text)
{
    if (text.empty() || text.size() > 18 || !std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint64_t value = 0;
    (void)std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// numerator / denominator frames per second, reduced and bounded.
std::optional<StreamRate> reduced(std::uint64_t numerator, std::uint64_t denominator)
{
    if (numerator == 0 || denominator == 0)
        return std::nullopt;
    const std::uint64_t common = std::gcd(numerator, denominator);
    numerator /= common;
    denominator /= common;
    if (numerator > UINT32_MAX || denominator > UINT32_MAX)
        return std::nullopt;
    // Compared as products, exactly: numerator / denominator within [1/3600, 1000].
    if (numerator * kSlowestRate.scale < denominator * kSlowestRate.rate ||
        numerator * kFastestRate.scale > denominator * kFastestRate.rate)
        return std::nullopt;
    return StreamRate{static_cast<DWORD>(numerator), static_cast<DWORD>(denominator)};
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace

std::optional<StreamRate> streamRateFromText(std::string_view text)
{
    const std::string name = lowered(text);
    for (const NamedRate& named : kNamedRates)
        if (named.name == name)
            return named.rate;
    if (const std::size_t slash = text.find('/'); slash != std::string_view::npos) {
        const auto numerator = digits(text.substr(0, slash));
        const auto denominator = digits(text.substr(slash + 1));
        if (!numerator || !denominator)
            return std::nullopt;
        return reduced(*numerator, *denominator);
    }
    const std::size_t point = text.find_first_of(".,");
    const auto whole = digits(text.substr(0, point));
    if (!whole)
        return std::nullopt;
    if (point == std::string_view::npos)
        return reduced(*whole, 1);
    // Up to three places: 29.97 means 2997/100, not the NTSC rate it is often taken for.
    const std::string_view places = text.substr(point + 1);
    const auto fraction = digits(places);
    if (!fraction || places.size() > 3)
        return std::nullopt;
    std::uint64_t denominator = 1;
    for (std::size_t i = 0; i < places.size(); ++i)
        denominator *= 10;
    // Far beyond the fastest rate, and the scaled number would not fit 64 bits.
    if (*whole > kFastestRate.rate)
        return std::nullopt;
    return reduced(*whole * denominator + *fraction, denominator);
}

std::string rateText(StreamRate rate)
{
    if (rate.scale == 1)
        return std::to_string(rate.rate);
    for (const std::uint32_t places : {10u, 100u, 1000u}) {
        if (places % rate.scale != 0)
            continue;
        const std::uint64_t scaled = std::uint64_t{rate.rate} * (places / rate.scale);
        std::string decimals = std::to_string(scaled % places);
        decimals.insert(0, std::to_string(places).size() - 1 - decimals.size(), '0');
        return std::to_string(scaled / places) + "," + decimals;
    }
    return std::to_string(rate.rate) + "/" + std::to_string(rate.scale);
}

}  // namespace kelvora::video

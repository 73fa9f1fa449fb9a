#include "photo/Framing.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <utility>

namespace kelvora::photo {

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<int> number(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

bool usableSide(int side) { return side >= kMinSide && side <= kMaxSide && side % 2 == 0; }

// The names a user may give the background: CSS's basic colours, and the Italian few.
constexpr std::array<std::pair<std::string_view, Rgb>, 22> kNamedColours{{
    {"black", {0, 0, 0}},        {"white", {255, 255, 255}},  {"gray", {128, 128, 128}}, {"grey", {128, 128, 128}},
    {"silver", {192, 192, 192}}, {"red", {255, 0, 0}},        {"maroon", {128, 0, 0}},   {"green", {0, 128, 0}},
    {"lime", {0, 255, 0}},       {"blue", {0, 0, 255}},       {"navy", {0, 0, 128}},     {"yellow", {255, 255, 0}},
    {"olive", {128, 128, 0}},    {"cyan", {0, 255, 255}},     {"aqua", {0, 255, 255}},   {"teal", {0, 128, 128}},
    {"magenta", {255, 0, 255}},  {"fuchsia", {255, 0, 255}},  {"purple", {128, 0, 128}}, {"nero", {0, 0, 0}},
    {"bianco", {255, 255, 255}}, {"grigio", {128, 128, 128}},
}};

std::optional<int> hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return std::nullopt;
}

}  // namespace

std::optional<OutputSize> parseOutputSize(std::string_view text)
{
    const std::string name = lower(text);
    if (name == "original" || name == "originale")
        return OutputSize{};
    if (name == "720p")
        return OutputSize{1280, 720};
    if (name == "1080p")
        return OutputSize{1920, 1080};
    if (name == "4k" || name == "2160p")
        return OutputSize{3840, 2160};
    // "×" is two bytes in UTF-8.
    std::size_t at = name.find('x');
    std::size_t after = at + 1;
    if (at == std::string::npos) {
        at = name.find("\xC3\x97");
        after = at + 2;
    }
    if (at == std::string::npos)
        return std::nullopt;
    const auto width = number(std::string_view(name).substr(0, at));
    const auto height = number(std::string_view(name).substr(after));
    if (!width || !height || !usableSide(*width) || !usableSide(*height))
        return std::nullopt;
    return OutputSize{*width, *height};
}

std::optional<Fit> parseFit(std::string_view text)
{
    const std::string name = lower(text);
    if (name == "letterbox")
        return Fit::Letterbox;
    if (name == "crop")
        return Fit::Crop;
    return std::nullopt;
}

std::optional<Rgb> parseColour(std::string_view text)
{
    const std::string name = lower(text);
    for (const auto& [known, colour] : kNamedColours)
        if (name == known)
            return colour;
    if (name.size() != 4 && name.size() != 7)
        return std::nullopt;
    if (name[0] != '#')
        return std::nullopt;
    std::array<int, 6> digits{};
    const std::size_t count = name.size() - 1;
    for (std::size_t i = 0; i < count; ++i) {
        const auto digit = hexDigit(name[i + 1]);
        if (!digit)
            return std::nullopt;
        digits[i] = *digit;
    }
    const auto channel = [&](int i) {
        return static_cast<std::uint8_t>(count == 3 ? digits[i] * 17 : digits[2 * i] * 16 + digits[2 * i + 1]);
    };
    return Rgb{channel(0), channel(1), channel(2)};
}

std::string sizeText(OutputSize size)
{
    return std::to_string(size.width) + " \xC3\x97 " + std::to_string(size.height);
}

std::string colourText(Rgb colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", colour.red, colour.green, colour.blue);
    return text;
}

Placement place(int sourceWidth, int sourceHeight, OutputSize frame, Fit fit)
{
    const std::int64_t sw = sourceWidth;
    const std::int64_t sh = sourceHeight;
    const std::int64_t fw = frame.width;
    const std::int64_t fh = frame.height;
    // Compared as whole numbers: which side limits is never decided by a rounding.
    const bool wider = sw * fh >= sh * fw;
    Placement p;
    if (fit == Fit::Letterbox) {
        p.sourceWidth = static_cast<double>(sw);
        p.sourceHeight = static_cast<double>(sh);
        if (wider) {
            p.width = frame.width;
            p.height = static_cast<int>(std::clamp<std::int64_t>((2 * sh * fw + sw) / (2 * sw), 1, fh));
        } else {
            p.height = frame.height;
            p.width = static_cast<int>(std::clamp<std::int64_t>((2 * sw * fh + sh) / (2 * sh), 1, fw));
        }
        p.x = (frame.width - p.width) / 2;
        p.y = (frame.height - p.height) / 2;
        return p;
    }
    p.width = frame.width;
    p.height = frame.height;
    if (wider) {
        p.sourceHeight = static_cast<double>(sh);
        p.sourceWidth = static_cast<double>(fw * sh) / static_cast<double>(fh);
        p.sourceX = (static_cast<double>(sw) - p.sourceWidth) / 2;
    } else {
        p.sourceWidth = static_cast<double>(sw);
        p.sourceHeight = static_cast<double>(fh * sw) / static_cast<double>(fw);
        p.sourceY = (static_cast<double>(sh) - p.sourceHeight) / 2;
    }
    return p;
}

OutputSize fitWithin(int width, int height, OutputSize bound)
{
    const auto even = [](std::int64_t side) {
        return static_cast<int>(std::max<std::int64_t>(2, side & ~std::int64_t{1}));
    };
    if (width <= bound.width && height <= bound.height)
        return {width, height};
    const std::int64_t w = width;
    const std::int64_t h = height;
    if (w * bound.height >= h * bound.width)
        return {even(bound.width), even(h * bound.width / w)};
    return {even(w * bound.height / h), even(bound.height)};
}

}  // namespace kelvora::photo

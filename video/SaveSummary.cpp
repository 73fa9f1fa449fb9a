#include "video/SaveSummary.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace kelvora::video {

namespace {

// `value` with `decimals` digits after a decimal comma.
std::string decimal(double value, int decimals)
{
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    std::string out = text.data();
    for (char& c : out)
        if (c == '.')
            c = ',';
    return out;
}

// Three significant digits: 1,87 / 12,3 / 187.
std::string threeDigits(double value)
{
    const int decimals = value < 9.995 ? 2 : value < 99.95 ? 1 : 0;
    return decimal(value, decimals);
}

}  // namespace

std::uint64_t uncompressedFrameBytes(std::int32_t width, std::int32_t height, int bytesPerPixel)
{
    const std::uint64_t row = (static_cast<std::uint64_t>(width < 0 ? -std::int64_t{width} : width) *
                                   static_cast<std::uint64_t>(bytesPerPixel) +
                               3) /
                              4 * 4;
    return row * static_cast<std::uint64_t>(height < 0 ? -std::int64_t{height} : height);
}

std::string sizeText(std::uint64_t bytes)
{
    if (bytes < 1000)
        return std::to_string(bytes) + " byte";
    static constexpr std::array<const char*, 4> kUnits{"kB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    // A value that rounds to 1000 moves up a unit, so no "1000 kB".
    while (value >= 999.5 && unit + 1 < kUnits.size()) {
        value /= 1000.0;
        ++unit;
    }
    return threeDigits(value) + " " + kUnits[unit];
}

std::string savedSummary(codec::Codec codec, std::uint64_t fileBytes, std::uint64_t uncompressedBytes)
{
    std::string text = std::string(codecLabel(codec)) + ", " + sizeText(fileBytes);
    if (codec == codec::Codec::Raw || fileBytes == 0 || uncompressedBytes == 0)
        return text;
    const double ratio = static_cast<double>(uncompressedBytes) / static_cast<double>(fileBytes);
    if (ratio >= 1.05)
        return text + ", " + (ratio < 99.95 ? decimal(ratio, 1) : decimal(std::round(ratio), 0)) + " volte più piccolo";
    if (ratio > 0.95)
        return text + ", grande quanto senza compressione";
    return text + ", " + decimal(1.0 / ratio, 1) + " volte più grande che senza compressione";
}

}  // namespace kelvora::video

#include "photo/LinearLight.h"

#include <array>
#include <cmath>
#include <vector>

namespace kelvora::photo {

namespace {

// Linear light at 1/65535 steps: sRGB's steepest step (between 0 and 1 of 255) is 20 of them.
constexpr int kEncodeSteps = 65535;

struct Tables {
    std::array<float, 256> decode8{};
    std::array<float, 65536> decode16{};
    std::vector<std::uint8_t> encode = std::vector<std::uint8_t>(kEncodeSteps + 1);

    Tables()
    {
        for (int v = 0; v < 256; ++v)
            decode8[static_cast<std::size_t>(v)] = static_cast<float>(srgbDecode(v / 255.0));
        for (int v = 0; v < 65536; ++v)
            decode16[static_cast<std::size_t>(v)] = static_cast<float>(srgbDecode(v / 65535.0));
        for (int i = 0; i <= kEncodeSteps; ++i)
            encode[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(std::lround(srgbEncode(i / double{kEncodeSteps}) * 255.0));
    }
};

const Tables& tables()
{
    static const Tables t;
    return t;
}

}  // namespace

double srgbDecode(double e) { return e <= 0.04045 ? e / 12.92 : std::pow((e + 0.055) / 1.055, 2.4); }

double srgbEncode(double l)
{
    if (l <= 0)
        return 0;
    if (l >= 1)
        return 1;
    return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

std::span<const float, 256> srgbToLinear8() { return tables().decode8; }
std::span<const float, 65536> srgbToLinear16() { return tables().decode16; }

std::uint8_t linearToSrgb8(float v)
{
    // NaN and the range's ends clamp; the rest rounds to the nearest step.
    const float clamped = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    return tables().encode[static_cast<std::size_t>(clamped * float{kEncodeSteps} + 0.5f)];
}

}  // namespace kelvora::photo

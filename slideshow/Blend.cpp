#include "slideshow/Blend.h"

#include <array>
#include <cmath>
#include <vector>

namespace kelvora::slideshow {

namespace {

// Linear light in steps of 1/65535, as the fitted pictures are encoded: sRGB's steepest step
// (between 0 and 1 of 255) is 20 of them.
constexpr int kEncodeSteps = 65535;

double decode(double e) { return e <= 0.04045 ? e / 12.92 : std::pow((e + 0.055) / 1.055, 2.4); }

double encode(double l)
{
    if (l <= 0)
        return 0;
    if (l >= 1)
        return 1;
    return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

struct Tables {
    std::array<float, 256> decode8{};
    std::vector<std::uint8_t> encode8 = std::vector<std::uint8_t>(kEncodeSteps + 1);

    Tables()
    {
        for (int v = 0; v < 256; ++v)
            decode8[static_cast<std::size_t>(v)] = static_cast<float>(decode(v / 255.0));
        for (int i = 0; i <= kEncodeSteps; ++i)
            encode8[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(std::lround(encode(i / double{kEncodeSteps}) * 255.0));
    }
};

const Tables& tables()
{
    static const Tables t;
    return t;
}

}  // namespace

float linearOf(std::uint8_t srgb) { return tables().decode8[srgb]; }

std::uint8_t srgbOf(float linear)
{
    const float clamped = linear > 0.0f ? (linear < 1.0f ? linear : 1.0f) : 0.0f;
    return tables().encode8[static_cast<std::size_t>(clamped * float{kEncodeSteps} + 0.5f)];
}

void blendInLinearLight(RgbView from, RgbView to, double weight, RgbTarget out)
{
    const Tables& t = tables();
    const auto w = static_cast<float>(weight);
    const std::size_t row = static_cast<std::size_t>(out.width) * 3;
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t* a = from.data + y * from.stride;
        const std::uint8_t* b = to.data + y * to.stride;
        std::uint8_t* o = out.data + y * out.stride;
        for (std::size_t i = 0; i < row; ++i) {
            const float la = t.decode8[a[i]];
            const float lb = t.decode8[b[i]];
            const float mixed = la + (lb - la) * w;
            o[i] = t.encode8[static_cast<std::size_t>(mixed * float{kEncodeSteps} + 0.5f)];
        }
    }
}

void fadeInLinearLight(RgbView picture, double weight, RgbTarget out)
{
    const Tables& t = tables();
    const auto w = static_cast<float>(weight);
    const std::size_t row = static_cast<std::size_t>(out.width) * 3;
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t* p = picture.data + y * picture.stride;
        std::uint8_t* o = out.data + y * out.stride;
        for (std::size_t i = 0; i < row; ++i)
            o[i] = t.encode8[static_cast<std::size_t>(t.decode8[p[i]] * w * float{kEncodeSteps} + 0.5f)];
    }
}

}  // namespace kelvora::slideshow

#include "slideshow/Blend.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace kelvora::slideshow {

namespace {

double decode(double e) { return e <= 0.04045 ? e / 12.92 : std::pow((e + 0.055) / 1.055, 2.4); }

std::uint32_t fixed(double linear) { return static_cast<std::uint32_t>(std::llround(linear * kLinearOne)); }

// The linear light of each 8-bit value, and of each midpoint between two: a linear light is
// encoded to the value whose two midpoints hold it. A coarse table by the top 16 bits gives
// the value at most one below (the midpoints lie more than 2^18 units apart).
constexpr int kCoarseShift = 14;
struct Tables {
    std::array<std::uint32_t, 256> decoded{};
    std::array<std::uint32_t, 256> upper{};  // the midpoint above each value; past 255 none
    std::vector<std::uint8_t> coarse = std::vector<std::uint8_t>((kLinearOne >> kCoarseShift) + 1);

    Tables()
    {
        for (int v = 0; v < 256; ++v) {
            decoded[static_cast<std::size_t>(v)] = fixed(decode(v / 255.0));
            upper[static_cast<std::size_t>(v)] = v == 255 ? kLinearOne + 1 : fixed(decode((v + 0.5) / 255.0));
        }
        int v = 0;
        for (std::size_t i = 0; i < coarse.size(); ++i) {
            while (v < 255 && (i << kCoarseShift) >= upper[static_cast<std::size_t>(v)])
                ++v;
            coarse[i] = static_cast<std::uint8_t>(v);
        }
    }

    [[nodiscard]] std::uint8_t encode(std::uint32_t linear) const
    {
        std::uint8_t v = coarse[linear >> kCoarseShift];
        while (linear >= upper[v])
            ++v;
        return v;
    }
};

const Tables& tables()
{
    static const Tables t;
    return t;
}

// `weight` made to a fraction of 0 to 1 whose whole is positive.
Weight clamped(Weight weight)
{
    if (weight.whole <= 0)
        return {1, 1};
    return {std::clamp<std::int64_t>(weight.part, 0, weight.whole), weight.whole};
}

}  // namespace

std::uint32_t linearOf(std::uint8_t srgb) { return tables().decoded[srgb]; }

std::uint8_t srgbOf(std::uint32_t linear) { return tables().encode(std::min(linear, kLinearOne)); }

void blendInLinearLight(RgbView from, RgbView to, Weight weight, RgbTarget out)
{
    const Tables& t = tables();
    const Weight w = clamped(weight);
    const std::uint64_t later = static_cast<std::uint64_t>(w.part);
    const std::uint64_t earlier = static_cast<std::uint64_t>(w.whole - w.part);
    const std::uint64_t whole = static_cast<std::uint64_t>(w.whole);
    const std::size_t row = static_cast<std::size_t>(out.width) * 3;
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t* a = from.data + y * from.stride;
        const std::uint8_t* b = to.data + y * to.stride;
        std::uint8_t* o = out.data + y * out.stride;
        for (std::size_t i = 0; i < row; ++i) {
            const std::uint64_t mixed = (t.decoded[a[i]] * earlier + t.decoded[b[i]] * later + whole / 2) / whole;
            o[i] = t.encode(static_cast<std::uint32_t>(mixed));
        }
    }
}

void fadeInLinearLight(RgbView picture, Weight weight, RgbTarget out)
{
    const Tables& t = tables();
    const Weight w = clamped(weight);
    const std::uint64_t part = static_cast<std::uint64_t>(w.part);
    const std::uint64_t whole = static_cast<std::uint64_t>(w.whole);
    const std::size_t row = static_cast<std::size_t>(out.width) * 3;
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t* p = picture.data + y * picture.stride;
        std::uint8_t* o = out.data + y * out.stride;
        for (std::size_t i = 0; i < row; ++i)
            o[i] = t.encode(static_cast<std::uint32_t>((t.decoded[p[i]] * part + whole / 2) / whole));
    }
}

void drawFade(const Shown& shown, RgbView picture, RgbView next, RgbTarget out)
{
    if (shown.kind == Shown::Kind::Crossfade)
        blendInLinearLight(picture, next, shown.weight, out);
    else
        fadeInLinearLight(picture, shown.kind == Shown::Kind::Held ? Weight{} : shown.weight, out);
}

}  // namespace kelvora::slideshow

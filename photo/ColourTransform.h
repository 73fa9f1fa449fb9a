#pragma once

// A picture's own colours turned into linear-light sRGB (the BT.709 primaries, D65): what a
// browser shows of a file with a profile, before anything is scaled or blended. Pictures that
// say nothing of their colours are sRGB already and need none (LinearLight's tables do it).

#include "photo/ColourProfile.h"

#include <cstddef>
#include <memory>

namespace kelvora::photo {

// The samples of a decoded picture, as the transform reads them.
enum class Samples {
    Rgb8,
    Rgb16,  // host order
    Grey8,
    Grey16,        // host order
    Cmyk8,         // ink amounts, 255 full
    InvertedCmyk8  // 255 no ink: what Adobe's writers store, and libjpeg gives back as it is
};

class ColourTransform {
public:
    // The transform for `source`'s pictures laid out as `samples`; nullptr where none is needed
    // (sRGB), or where the profile does not describe such samples or cannot be read: the
    // picture is then shown as sRGB, as browsers show it.
    [[nodiscard]] static std::unique_ptr<ColourTransform> make(const ColourSource& source, Samples samples);
    ~ColourTransform();
    ColourTransform(const ColourTransform&) = delete;
    ColourTransform& operator=(const ColourTransform&) = delete;

    // `pixels` pixels of `in` into red, green and blue linear light at `out` (3 floats a pixel).
    // Colours beyond sRGB come out below 0 or above 1; safe on several threads at once.
    void toLinear(const void* in, std::size_t pixels, float* out) const;

private:
    struct State;
    explicit ColourTransform(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

}  // namespace kelvora::photo

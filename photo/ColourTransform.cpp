#include "photo/ColourTransform.h"

#include <lcms2.h>

#include <cmath>
#include <vector>

namespace kelvora::photo {

namespace {

struct CloseProfile {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, CloseProfile>;

struct FreeCurve {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyYTRIPLE kSrgbPrimaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};

Profile rgbProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, double exponent)
{
    const std::unique_ptr<cmsToneCurve, FreeCurve> curve(cmsBuildGamma(nullptr, exponent));
    if (!curve)
        return nullptr;
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    return Profile(cmsCreateRGBProfile(&white, &primaries, curves));
}

cmsUInt32Number lcmsFormat(Samples samples)
{
    switch (samples) {
    case Samples::Rgb8:
        return TYPE_RGB_8;
    case Samples::Rgb16:
        return TYPE_RGB_16;
    case Samples::Grey8:
        return TYPE_GRAY_8;
    case Samples::Grey16:
        return TYPE_GRAY_16;
    case Samples::Cmyk8:
        return TYPE_CMYK_8;
    case Samples::InvertedCmyk8:
        return TYPE_CMYK_8_REV;
    }
    return 0;
}

bool profileTakes(cmsColorSpaceSignature space, Samples samples)
{
    switch (samples) {
    case Samples::Rgb8:
    case Samples::Rgb16:
        return space == cmsSigRgbData;
    case Samples::Grey8:
    case Samples::Grey16:
        return space == cmsSigGrayData;
    case Samples::Cmyk8:
    case Samples::InvertedCmyk8:
        return space == cmsSigCmykData;
    }
    return false;
}

}  // namespace

struct ColourTransform::State {
    cmsHTRANSFORM transform = nullptr;
    // A gamma without primaries needs no profile: the decoded value of each 8- or 16-bit sample.
    std::vector<float> curve;
    Samples samples = Samples::Rgb8;

    ~State()
    {
        if (transform)
            cmsDeleteTransform(transform);
    }
};

ColourTransform::ColourTransform(std::unique_ptr<State> state) : m_state(std::move(state)) {}
ColourTransform::~ColourTransform() = default;

std::unique_ptr<ColourTransform> ColourTransform::make(const ColourSource& source, Samples samples)
{
    auto state = std::make_unique<State>();
    state->samples = samples;
    const bool cmyk = samples == Samples::Cmyk8 || samples == Samples::InvertedCmyk8;
    if (source.kind == ColourSource::Kind::Srgb || (source.kind == ColourSource::Kind::Gamma && cmyk))
        return nullptr;
    Profile input;
    if (source.kind == ColourSource::Kind::Gamma) {
        if (!source.primaries) {
            const bool wide = samples == Samples::Rgb16 || samples == Samples::Grey16;
            const std::size_t levels = wide ? 65536 : 256;
            state->curve.resize(levels);
            for (std::size_t v = 0; v < levels; ++v)
                state->curve[v] =
                    static_cast<float>(std::pow(static_cast<double>(v) / (levels - 1), 1.0 / source.gamma));
            return std::unique_ptr<ColourTransform>(new ColourTransform(std::move(state)));
        }
        const auto& c = source.primaries->xy;
        const cmsCIExyY white{c[0], c[1], 1.0};
        const cmsCIExyYTRIPLE primaries{{c[2], c[3], 1.0}, {c[4], c[5], 1.0}, {c[6], c[7], 1.0}};
        input = rgbProfile(white, primaries, 1.0 / source.gamma);
    } else {
        input = Profile(cmsOpenProfileFromMem(source.icc.data(), static_cast<cmsUInt32Number>(source.icc.size())));
    }
    if (!input || !profileTakes(cmsGetColorSpace(input.get()), samples))
        return nullptr;
    const Profile output = rgbProfile(kD65, kSrgbPrimaries, 1.0);
    if (!output)
        return nullptr;
    // The perceptual table where a profile has one, as browsers take it; matrix profiles have
    // no other. Float output keeps the colours the 8-bit result would round.
    state->transform = cmsCreateTransform(input.get(), lcmsFormat(samples), output.get(), TYPE_RGB_FLT,
                                          INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    if (!state->transform)
        return nullptr;
    return std::unique_ptr<ColourTransform>(new ColourTransform(std::move(state)));
}

void ColourTransform::toLinear(const void* in, std::size_t pixels, float* out) const
{
    const State& s = *m_state;
    if (s.transform) {
        cmsDoTransform(s.transform, in, out, static_cast<cmsUInt32Number>(pixels));
        return;
    }
    const auto* p8 = static_cast<const std::uint8_t*>(in);
    const auto* p16 = static_cast<const std::uint16_t*>(in);
    for (std::size_t i = 0; i < pixels; ++i) {
        switch (s.samples) {
        case Samples::Rgb8:
            for (int c = 0; c < 3; ++c)
                out[3 * i + c] = s.curve[p8[3 * i + c]];
            break;
        case Samples::Rgb16:
            for (int c = 0; c < 3; ++c)
                out[3 * i + c] = s.curve[p16[3 * i + c]];
            break;
        case Samples::Grey8:
            out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = s.curve[p8[i]];
            break;
        case Samples::Grey16:
            out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = s.curve[p16[i]];
            break;
        default:
            break;
        }
    }
}

}  // namespace kelvora::photo

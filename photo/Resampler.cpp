#include "photo/Resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kelvora::photo {

namespace {

constexpr double kLobes = 3.0;

double lanczos(double x)
{
    if (x == 0)
        return 1;
    if (x <= -kLobes || x >= kLobes)
        return 0;
    const double px = std::numbers::pi * x;
    return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// Weights this small are rounding left from a zero of the kernel: dropped, so that a picture
// at its own size takes each pixel whole.
constexpr double kNegligible = 1e-9;

}  // namespace

Taps lanczosTaps(int sourceSize, double windowStart, double windowSize, int outputSize)
{
    const double step = windowSize / outputSize;  // source pixels an output pixel spans
    const double widen = std::max(1.0, step);
    const double support = kLobes * widen;
    Taps taps;
    taps.perOutput = static_cast<int>(std::ceil(2 * support)) + 1;
    const auto n = static_cast<std::size_t>(outputSize);
    taps.first.resize(n);
    taps.count.resize(n);
    taps.weights.assign(n * static_cast<std::size_t>(taps.perOutput), 0.0f);
    std::vector<double> w(static_cast<std::size_t>(sourceSize));
    for (std::size_t i = 0; i < n; ++i) {
        // Pixel centres: output pixel i's centre, in source pixels whose centres are at j + 0.5.
        const double centre = windowStart + (static_cast<double>(i) + 0.5) * step - 0.5;
        const int low = static_cast<int>(std::floor(centre - support)) + 1;
        const int high = static_cast<int>(std::ceil(centre + support)) - 1;
        int first = sourceSize;
        int last = -1;
        double sum = 0;
        for (int j = low; j <= high; ++j) {
            const double weight = lanczos((j - centre) / widen);
            if (weight == 0)
                continue;
            // Beyond the picture its edge pixels stand in.
            const int at = std::clamp(j, 0, sourceSize - 1);
            if (first > last) {
                first = last = at;
                w[static_cast<std::size_t>(at)] = 0;
            }
            while (last < at)
                w[static_cast<std::size_t>(++last)] = 0;
            w[static_cast<std::size_t>(at)] += weight;
            sum += weight;
        }
        float* out = &taps.weights[i * static_cast<std::size_t>(taps.perOutput)];
        int kept = 0;
        for (int j = first; j <= last; ++j) {
            const double weight = w[static_cast<std::size_t>(j)] / sum;
            out[kept++] = static_cast<float>(std::abs(weight) < kNegligible ? 0.0 : weight);
        }
        // Trailing zeros cost time and add nothing. (Leading ones stay: the first source pixel
        // of successive outputs must never go back, for the ring's sake.)
        while (kept > 1 && out[kept - 1] == 0.0f)
            --kept;
        taps.first[i] = first;
        taps.count[i] = kept;
    }
    return taps;
}

void resample(const RowSource& source, Window window, int width, int height,
              const std::function<void(int y, const Pixel* row)>& deliver)
{
    const Taps across = lanczosTaps(source.width(), window.x, window.width, width);
    const Taps down = lanczosTaps(source.height(), window.y, window.height, height);
    const auto w = static_cast<std::size_t>(width);
    const auto ringRows = static_cast<std::size_t>(down.perOutput);
    std::vector<Pixel> sourceRow(static_cast<std::size_t>(source.width()));
    std::vector<Pixel> ring(ringRows * w);
    std::vector<Pixel> out(w);
    int next = 0;  // the next source row to filter across
    for (int y = 0; y < height; ++y) {
        const int first = down.first[static_cast<std::size_t>(y)];
        const int count = down.count[static_cast<std::size_t>(y)];
        next = std::max(next, first);
        for (; next < first + count; ++next) {
            source.row(next, sourceRow.data());
            Pixel* filtered = &ring[(static_cast<std::size_t>(next) % ringRows) * w];
            for (std::size_t x = 0; x < w; ++x) {
                const Pixel* in = &sourceRow[static_cast<std::size_t>(across.first[x])];
                const float* weight = &across.weights[x * static_cast<std::size_t>(across.perOutput)];
                Pixel sum{};
                for (int k = 0; k < across.count[x]; ++k)
                    sum += in[k] * weight[k];
                filtered[x] = sum;
            }
        }
        const float* weight = &down.weights[static_cast<std::size_t>(y) * ringRows];
        std::fill(out.begin(), out.end(), Pixel{});
        for (int k = 0; k < count; ++k) {
            const Pixel* in = &ring[(static_cast<std::size_t>(first + k) % ringRows) * w];
            const float wk = weight[k];
            for (std::size_t x = 0; x < w; ++x)
                out[x] += in[x] * wk;
        }
        deliver(y, out.data());
    }
}

}  // namespace kelvora::photo

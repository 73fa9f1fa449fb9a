#pragma once

// Lanczos-3 resampling in linear light: each output pixel the weighted sum of the source
// pixels within three of its own widths (of the source's, when enlarging), the weights
// normalised, the picture's edge pixels repeated beyond it. Separable: each source row is
// filtered across, and each output row down a few of those kept in a ring, so memory grows
// with the output's width, not with the picture. Plain floating point in a fixed order: the
// same picture gives the same output on every machine, which the check relies on.

#include "photo/Orientation.h"

#include <functional>
#include <vector>

namespace kelvora::photo {

// Red, green, blue (premultiplied by alpha) and alpha, linear light.
using Pixel = float __attribute__((vector_size(16)));

// A picture's rows, as linear light, on request.
class RowSource {
public:
    virtual ~RowSource() = default;
    [[nodiscard]] virtual int width() const = 0;
    [[nodiscard]] virtual int height() const = 0;
    // Row `y` (0 to height - 1) in full into `out` (width() pixels).
    virtual void row(int y, Pixel* out) const = 0;
};

// The source pixels each output pixel of one direction takes, and their weights.
struct Taps {
    int perOutput = 0;           // the most any output pixel takes; rows of `weights` that long
    std::vector<int> first;      // the first source pixel of each output pixel
    std::vector<int> count;      // how many it takes
    std::vector<float> weights;  // perOutput a pixel
};
// The taps for `outputSize` pixels covering [windowStart, windowStart + windowSize) of a
// source `sourceSize` pixels long.
[[nodiscard]] Taps lanczosTaps(int sourceSize, double windowStart, double windowSize, int outputSize);

// `window` of `source` at `width` x `height` pixels: each output row, top to bottom, is handed
// to `deliver` (valid only during the call).
void resample(const RowSource& source, Window window, int width, int height,
              const std::function<void(int y, const Pixel* row)>& deliver);

}  // namespace kelvora::photo

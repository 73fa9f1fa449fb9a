#include "photo/LinearLight.h"
#include "photo/Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

namespace kelvora::photo {
namespace {

// A picture of sRGB grey levels, opaque.
class GreyRows final : public RowSource {
public:
    GreyRows(int w, int h, std::vector<std::uint8_t> levels) : m_w(w), m_h(h), m_levels(std::move(levels)) {}
    int width() const override { return m_w; }
    int height() const override { return m_h; }
    void row(int y, Pixel* out) const override
    {
        for (int x = 0; x < m_w; ++x) {
            const float v = srgbToLinear8()[m_levels[static_cast<std::size_t>(y * m_w + x)]];
            out[x] = Pixel{v, v, v, 1.0f};
        }
    }

private:
    int m_w, m_h;
    std::vector<std::uint8_t> m_levels;
};

std::vector<std::uint8_t> resampled(const GreyRows& source, Window window, int w, int h)
{
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w * h));
    resample(source, window, w, h, [&](int y, const Pixel* row) {
        for (int x = 0; x < w; ++x)
            out[static_cast<std::size_t>(y * w + x)] = linearToSrgb8(row[x][0]);
    });
    return out;
}

TEST(ResamplerTest, EveryLevelComesBackThroughLinearLight)
{
    for (int v = 0; v < 256; ++v)
        EXPECT_EQ(linearToSrgb8(srgbToLinear8()[static_cast<std::size_t>(v)]), v);
    EXPECT_EQ(linearToSrgb8(-0.5f), 0);
    EXPECT_EQ(linearToSrgb8(7.0f), 255);
    EXPECT_EQ(linearToSrgb8(std::nanf("")), 0);
}

TEST(ResamplerTest, WeightsSumToOneAndNeverStepBack)
{
    for (const auto& [source, out] :
         std::vector<std::pair<int, int>>{{6000, 1920}, {1920, 3840}, {7, 5}, {1, 9}, {5, 1}}) {
        const Taps taps = lanczosTaps(source, 0, source, out);
        for (int i = 0; i < out; ++i) {
            const auto at = static_cast<std::size_t>(i);
            const float* w = &taps.weights[at * static_cast<std::size_t>(taps.perOutput)];
            EXPECT_NEAR(std::accumulate(w, w + taps.count[at], 0.0), 1.0, 1e-5);
            EXPECT_LE(taps.count[at], taps.perOutput);
            EXPECT_GE(taps.first[at], 0);
            EXPECT_LE(taps.first[at] + taps.count[at], source);
            if (i > 0) {
                EXPECT_GE(taps.first[at], taps.first[at - 1]);
            }
        }
    }
}

TEST(ResamplerTest, APictureAtItsOwnSizeKeepsEveryPixel)
{
    std::vector<std::uint8_t> levels(37 * 23);
    for (std::size_t i = 0; i < levels.size(); ++i)
        levels[i] = static_cast<std::uint8_t>(i * 97 % 256);
    const GreyRows source(37, 23, levels);
    EXPECT_EQ(resampled(source, {0, 0, 37, 23}, 37, 23), levels);
}

TEST(ResamplerTest, FineDetailKeepsItsLightWhenShrunk)
{
    // Black and white columns: halved, each pixel is half the light, sRGB 188; a mean of the
    // encoded values (the error of resampling gamma-encoded values) would give 128.
    std::vector<std::uint8_t> stripes(64 * 16);
    for (std::size_t i = 0; i < stripes.size(); ++i)
        stripes[i] = (i % 64) % 2 ? 255 : 0;
    const auto half = resampled(GreyRows(64, 16, stripes), {0, 0, 64, 16}, 32, 8);
    for (std::size_t i = 0; i < half.size(); ++i)
        if (i % 32 > 3 && i % 32 < 28) {  // away from the edges, where the kernel meets the repeated edge
            EXPECT_NEAR(half[i], 188, 1) << i;
        }
    // A flat picture stays flat at any size, larger or smaller.
    const GreyRows flat(10, 10, std::vector<std::uint8_t>(100, 77));
    for (const int side : {1, 3, 10, 31}) {
        for (const std::uint8_t v : resampled(flat, {0, 0, 10, 10}, side, side))
            EXPECT_EQ(v, 77);
    }
}

}  // namespace
}  // namespace kelvora::photo

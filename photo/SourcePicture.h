#pragma once

// A picture file decoded for fitting into a video: its pixels as decoded (at a reduced size
// where a JPEG's DCT can give one that is still large enough), how they stand (EXIF
// orientation) and what its colours are (its profile), handed to the resampler a row at a time
// as linear light. PNG is decoded by libavcodec, JPEG by libjpeg-turbo (scaled in the DCT, so
// a 24-megapixel photo for a full-HD video is decoded at a quarter of its pixels), a bitmap
// taken as the bitmap object holds it.

#include "bitmap/FramePlan.h"
#include "photo/ColourTransform.h"
#include "photo/Framing.h"
#include "photo/Orientation.h"
#include "photo/Resampler.h"
#include "platform/system/LargeBlock.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace kelvora::photo {

// How the decoded samples lie: 8 bits, or 16 in host order; alpha straight (not premultiplied).
enum class Layout { Grey8, GreyAlpha8, Rgb8, Rgba8, Grey16, GreyAlpha16, Rgb16, Rgba16, Cmyk8, InvertedCmyk8 };

class SourcePicture final : public RowSource {
public:
    // The picture is wanted for `frame` as `framing` places it; a JPEG is then decoded at the
    // least DCT scale that still gives each output pixel two source pixels each way. Empty
    // `frame`: at full size.
    struct Want {
        Framing framing;
        OutputSize frame;
    };

    struct Result;
    // A PNG or JPEG file's bytes (the type by content); the reason in Italian when it does not
    // decode. `storage`: a block a picture before has let go (takeStorage), used again where it
    // is large enough: fresh memory costs a fault a page.
    [[nodiscard]] static Result decode(std::span<const std::uint8_t> file, const Want& want,
                                       platform::LargeBlock storage = {});
    // A bitmap's pixel block and colour table, as the bitmap object and its frame plan give them.
    [[nodiscard]] static Result fromBitmap(const bitmap::StreamShape& shape, std::span<const std::uint8_t> bits,
                                           std::span<const std::uint8_t> palette, platform::LargeBlock storage = {});
    // The decoded pixels' storage, for the next picture; this one is empty afterwards.
    [[nodiscard]] platform::LargeBlock takeStorage() { return std::move(m_pixels); }

    SourcePicture(SourcePicture&&) noexcept;
    SourcePicture& operator=(SourcePicture&&) noexcept;
    ~SourcePicture() override;

    [[nodiscard]] int width() const override { return m_width; }
    [[nodiscard]] int height() const override { return m_height; }
    void row(int y, Pixel* out) const override;

    // The file's own sides, as stored (before any orientation; a DCT-scaled decode is smaller).
    [[nodiscard]] int fileWidth() const { return m_fileWidth; }
    [[nodiscard]] int fileHeight() const { return m_fileHeight; }
    [[nodiscard]] Orientation orientation() const { return m_orientation; }
    [[nodiscard]] Sides upright() const { return uprightSides(m_orientation, m_fileWidth, m_fileHeight); }
    [[nodiscard]] bool hasAlpha() const;
    [[nodiscard]] Layout layout() const { return m_layout; }
    [[nodiscard]] bool profiled() const { return m_transform != nullptr; }
    // Row `y` as decoded, in the layout's own samples.
    [[nodiscard]] const std::uint8_t* samples(int y) const
    {
        return m_pixels.data() + static_cast<std::size_t>(y) * m_stride;
    }

private:
    SourcePicture() = default;
    void allocate(Layout layout, int width, int height, platform::LargeBlock storage);
    [[nodiscard]] std::size_t sampleBytes() const;
    [[nodiscard]] int channels() const;

    Layout m_layout = Layout::Rgb8;
    int m_width = 0;
    int m_height = 0;
    int m_fileWidth = 0;
    int m_fileHeight = 0;
    Orientation m_orientation = Orientation::Upright;
    platform::LargeBlock m_pixels;
    std::size_t m_stride = 0;
    std::unique_ptr<ColourTransform> m_transform;
    mutable std::vector<float> m_linear;             // a row's colours through the profile
    mutable std::vector<std::uint8_t> m_colourOnly;  // a row without its alpha, for the profile

    friend struct Decoding;
};

struct SourcePicture::Result {
    std::optional<SourcePicture> picture;
    std::string error;
};

// The DCT scale (n of 8) at which a JPEG of `width` x `height` stored pixels, shown as `want`
// asks, still has two pixels for every output pixel across and down.
[[nodiscard]] int jpegScaleEighths(int width, int height, Orientation orientation, const SourcePicture::Want& want);

}  // namespace kelvora::photo

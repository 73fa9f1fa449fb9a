#pragma once

// One frame as a PNG image, written by us over libdeflate: deflate is where a PNG encoder
// spends its time, and libdeflate's whole-buffer compressor does it in well under half of
// zlib's time at a smaller size. Each row takes the filter that suits it best of none, sub
// and up (palette indices none, as their numbers mean nothing to a filter). A writer is used by one thread
// at a time; a save runs one per encoder.

#include "codec/CodecPixels.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kelvora::codec {

// A picture as a codec takes it: `rows` top-down rows of `width` pixels in `layout`,
// `stride` bytes apart; for Pal8 its colour table.
struct PngPicture {
    PixelLayout layout = PixelLayout::Rgb24;
    std::size_t width = 0;
    std::size_t rows = 0;
    std::span<const std::uint8_t> pixels;
    std::size_t stride = 0;
    const CodecPalette* palette = nullptr;
};

class PngWriter {
public:
    // libdeflate's fastest level: on filtered rows it packs tighter than zlib's default does
    // unfiltered rows (what libavcodec's encoder writes), in under half the time.
    static constexpr int kLevel = 1;

    PngWriter();
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // The picture as one PNG image (8 bits a sample: RGB, or palette indices with their
    // table), replacing what `png` held. False only when no compressor could be had or the
    // picture does not fit a PNG (Bgr0, a width or height of 0 or beyond 2^31 - 1).
    [[nodiscard]] bool write(const PngPicture& picture, std::vector<std::uint8_t>& png);

private:
    struct Compressor;
    std::unique_ptr<Compressor> m_compressor;
    // Kept between frames: one allocation a save, not one a frame.
    std::vector<std::uint8_t> m_filtered;
    std::vector<std::uint8_t> m_deflated;
};

}  // namespace kelvora::codec

#pragma once

// One frame as a PNG image, written by us over libdeflate: deflate is where a PNG encoder
// spends its time, and libdeflate's whole-buffer compressor does it in well under half of
// zlib's time at a smaller size. Each row takes the filter that suits it best (palette
// indices none, as their numbers mean nothing to a filter). The writer also reads back what
// it wrote, to check a frame against its picture without a full PNG decoder. A writer is used
// by one thread at a time; a save runs one per encoder.

#include "codec/CodecPixels.h"
#include "platform/system/LargeBlock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
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
    // When set, called with each row's number just before the writer reads that row, to make
    // it there: the row is then filtered while it is still in the cache.
    std::function<void(std::size_t row)> makeRow;
};

// How a PNG image differs from a picture; kind None when it shows it exactly.
struct PngMismatch {
    enum class Kind { None, Unreadable, Shape, Pixels, Palette };
    Kind kind = Kind::None;
    std::string reason;      // Unreadable: what is wrong with the image
    std::size_t column = 0;  // Pixels: the first pixel that differs, from 0
    std::size_t row = 0;
};

class PngWriter {
public:
    // libdeflate's levels by what the rows hold. Its fastest level packs filtered grain
    // tighter than zlib's default does unfiltered rows (what libavcodec's encoder writes), in
    // under half the time; but it crawls through long runs of one byte (rows filtered to
    // zeros: 4 ns a byte, against 2 at the next level), which the next level also packs
    // tighter. A frame with grain in most of its rows, and a palette frame (its indices are
    // not filtered, so not weighed), take the fastest.
    static constexpr int kGrainLevel = 1;
    static constexpr int kSmoothLevel = 2;

    PngWriter();
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // The picture as one PNG image (8 bits a sample: RGB, or palette indices with their
    // table), replacing what `png` held. False only when no compressor could be had or the
    // picture does not fit a PNG (Bgr0, a width or height of 0 or beyond 2^31 - 1).
    [[nodiscard]] bool write(const PngPicture& picture, std::vector<std::uint8_t>& png);

    // Where `png` differs from `picture` (whose rows are read, not made), reading the image
    // as this writer writes it: one IHDR, the PLTE of a palette image, IDAT chunks and IEND,
    // every chunk's CRC and the zlib stream's checksum checked, every row filter undone.
    [[nodiscard]] PngMismatch compare(std::span<const std::uint8_t> png, const PngPicture& picture);

private:
    // Filters an RGB row into `out`; the filter chosen. Counts the row in m_rowsFiltered,
    // and in m_grainRows when it is grain.
    std::uint8_t filterRow(const std::uint8_t* row, const std::uint8_t* above, std::size_t size, std::uint8_t* out);

    struct Deflate;
    std::unique_ptr<Deflate> m_deflate;
    // Kept between frames: one allocation a save, not one a frame.
    platform::LargeBlock m_filtered;  // a picture's filtered rows, written or read back
    platform::LargeBlock m_deflated;
    std::vector<std::uint8_t> m_idat;  // a read image's compressed data, gathered
    std::vector<std::uint8_t> m_zeros;
    std::vector<std::uint8_t> m_candidates;
    std::size_t m_grainRows = 0;     // of the picture being written
    std::size_t m_rowsFiltered = 0;  // of its RGB rows so far
};

}  // namespace kelvora::codec

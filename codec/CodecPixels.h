#pragma once

// A frame's picture in the form a lossless codec takes it: rows top-down, packed in one of
// three layouts. Bitmaps store rows bottom-up or top-down, padded, in 1 to 32 bits, as
// palette indices, run-length data or 5-bit fields; the codecs want whole bytes. Every
// expansion keeps the colours the file shows: 5-bit and 6-bit fields become 8 bits by
// repeating their top bits (what players show for them), indices keep their palette.

#include "bitmap/FramePlan.h"
#include "codec/Codec.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace kelvora::codec {

enum class PixelLayout {
    Bgr0,   // 4 bytes a pixel: blue, green, red, unused (FFV1's RGB)
    Rgb24,  // 3 bytes a pixel: red, green, blue
    Pal8,   // 1 byte a pixel, an index into a 256-colour table
};

// The layout a stream of `shape` frames is encoded in by `codec` (not Raw).
[[nodiscard]] PixelLayout layoutFor(Codec codec, const bitmap::StreamShape& shape);
[[nodiscard]] std::size_t bytesPerPixel(PixelLayout layout);

// Where the picture goes: rows top-down, `stride` bytes apart (at least a row's bytes).
struct PixelRows {
    std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
};

// A palette as codecs keep it: 256 entries of 0xAARRGGBB, opaque.
using CodecPalette = std::array<std::uint32_t, 256>;

// Writes the frame's picture into `rows` in `layout`. `bits` is the frame's pixel block and
// `palette` its colour table as FramePlan gives it (4 bytes an entry: blue, green, red, 0;
// empty above 8 bits); both must fit `shape`. For Pal8 `paletteOut` receives the table,
// entries beyond the frame's own being opaque black.
void toCodecPixels(const bitmap::StreamShape& shape, std::span<const std::uint8_t> bits,
                   std::span<const std::uint8_t> palette, PixelLayout layout, PixelRows rows, CodecPalette& paletteOut);

// The same picture a row at a time, so that an encoder can take each row while it is still
// in the cache. Run-length frames are drawn out whole when made. `bits` and `palette` must
// outlive it.
class CodecRows {
public:
    CodecRows(const bitmap::StreamShape& shape, std::span<const std::uint8_t> bits,
              std::span<const std::uint8_t> palette, PixelLayout layout);
    ~CodecRows();
    CodecRows(const CodecRows&) = delete;
    CodecRows& operator=(const CodecRows&) = delete;

    [[nodiscard]] std::size_t rows() const;
    // Picture row `y` (top-down) into `out`, a row's bytes in the layout.
    void row(std::size_t y, std::uint8_t* out) const;
    // For frames of up to 8 bits: the colour table as toCodecPixels gives it.
    void colours(CodecPalette& out) const;

private:
    struct Source;
    std::unique_ptr<Source> m_source;
};

}  // namespace kelvora::codec

#pragma once

// How a picture's stored pixels stand to the picture as it is meant to be seen: the EXIF
// Orientation tag (1 to 8) of a camera's JPEG, which viewers, browsers and ffmpeg apply.

#include <cstdint>
#include <span>

namespace kelvora::photo {

// EXIF's values: 1 as stored, 2 mirrored, 3 turned 180°, 4 mirrored top to bottom, 5 mirrored
// and turned 270° clockwise, 6 turned 90° clockwise, 7 mirrored and turned 90°, 8 turned 270°.
enum class Orientation : std::uint8_t {
    Upright = 1,
    Mirrored = 2,
    HalfTurn = 3,
    MirroredVertically = 4,
    Transposed = 5,
    QuarterTurn = 6,
    Transversed = 7,
    ThreeQuarterTurn = 8,
};

// Rows become columns (5 to 8): the upright picture's width is the stored height.
[[nodiscard]] constexpr bool swapsSides(Orientation o) { return static_cast<int>(o) >= 5; }

struct Sides {
    int width = 0;
    int height = 0;
};
[[nodiscard]] constexpr Sides uprightSides(Orientation o, int storedWidth, int storedHeight)
{
    return swapsSides(o) ? Sides{storedHeight, storedWidth} : Sides{storedWidth, storedHeight};
}

// The Orientation of a JPEG file's EXIF block (APP1 "Exif"), read from its bytes up to the
// start of its picture data; Upright where there is none or it holds no valid value.
[[nodiscard]] Orientation jpegOrientation(std::span<const std::uint8_t> file);
// The same from the TIFF structure of an EXIF block (after "Exif\0\0"; PNG's eXIf chunk).
[[nodiscard]] Orientation exifOrientation(std::span<const std::uint8_t> tiff);

// Where stored pixel (i, j) of a picture `storedWidth` x `storedHeight` lands in the upright
// picture: (a, b) = (a0 + ai * i + aj * j, b0 + bi * i + bj * j).
struct PixelMap {
    int a0 = 0, ai = 1, aj = 0;
    int b0 = 0, bi = 0, bj = 1;
};
[[nodiscard]] PixelMap uprightMap(Orientation o, int storedWidth, int storedHeight);

// The stored picture's rectangle (in its own continuous coordinates) that shows as the upright
// rectangle (x, y, width, height).
struct Window {
    double x = 0, y = 0, width = 0, height = 0;
};
[[nodiscard]] Window storedWindow(Orientation o, int storedWidth, int storedHeight, Window upright);

}  // namespace kelvora::photo

#include "photo/Orientation.h"

#include "bitmap/ExifOrientation.h"

#include <algorithm>
#include <cstring>

namespace kelvora::photo {

Orientation exifOrientation(std::span<const std::uint8_t> tiff)
{
    return static_cast<Orientation>(bitmap::exifOrientationValue(tiff));
}

Orientation jpegOrientation(std::span<const std::uint8_t> file)
{
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return Orientation::Upright;
    std::size_t at = 2;
    while (at + 4 <= file.size()) {
        if (file[at] != 0xFF)
            break;
        const std::uint8_t marker = file[at + 1];
        if (marker == 0xFF) {  // fill bytes
            ++at;
            continue;
        }
        // The picture's data begins: no EXIF block comes after it that viewers read.
        if (marker == 0xDA || marker == 0xD9)
            break;
        const std::size_t length = std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (length < 2 || length > file.size() - at - 2)
            break;
        static constexpr std::uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0};
        if (marker == 0xE1 && length >= 2 + sizeof kExif && std::memcmp(&file[at + 4], kExif, sizeof kExif) == 0)
            return exifOrientation(file.subspan(at + 4 + sizeof kExif, length - 2 - sizeof kExif));
        at += 2 + length;
    }
    return Orientation::Upright;
}

PixelMap uprightMap(Orientation o, int w, int h)
{
    switch (o) {
    case Orientation::Upright:
        return {0, 1, 0, 0, 0, 1};
    case Orientation::Mirrored:
        return {w - 1, -1, 0, 0, 0, 1};
    case Orientation::HalfTurn:
        return {w - 1, -1, 0, h - 1, 0, -1};
    case Orientation::MirroredVertically:
        return {0, 1, 0, h - 1, 0, -1};
    case Orientation::Transposed:
        return {0, 0, 1, 0, 1, 0};
    case Orientation::QuarterTurn:
        return {h - 1, 0, -1, 0, 1, 0};
    case Orientation::Transversed:
        return {h - 1, 0, -1, w - 1, -1, 0};
    case Orientation::ThreeQuarterTurn:
        return {0, 0, 1, w - 1, -1, 0};
    }
    return {};
}

Window storedWindow(Orientation o, int w, int h, Window u)
{
    // The corners' stored coordinates: x from the upright u (or v), mirrored where the map runs backwards.
    const double u0 = u.x, u1 = u.x + u.width, v0 = u.y, v1 = u.y + u.height;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    switch (o) {
    case Orientation::Upright:
        x0 = u0, x1 = u1, y0 = v0, y1 = v1;
        break;
    case Orientation::Mirrored:
        x0 = w - u1, x1 = w - u0, y0 = v0, y1 = v1;
        break;
    case Orientation::HalfTurn:
        x0 = w - u1, x1 = w - u0, y0 = h - v1, y1 = h - v0;
        break;
    case Orientation::MirroredVertically:
        x0 = u0, x1 = u1, y0 = h - v1, y1 = h - v0;
        break;
    case Orientation::Transposed:
        x0 = v0, x1 = v1, y0 = u0, y1 = u1;
        break;
    case Orientation::QuarterTurn:
        x0 = v0, x1 = v1, y0 = h - u1, y1 = h - u0;
        break;
    case Orientation::Transversed:
        x0 = w - v1, x1 = w - v0, y0 = h - u1, y1 = h - u0;
        break;
    case Orientation::ThreeQuarterTurn:
        x0 = w - v1, x1 = w - v0, y0 = u0, y1 = u1;
        break;
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

}  // namespace kelvora::photo

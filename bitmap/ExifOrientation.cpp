#include "bitmap/ExifOrientation.h"

namespace kelvora::bitmap {

namespace {

// TIFF fields in the byte order the structure declares ("II" little-endian, "MM" big-endian).
struct Tiff {
    std::span<const std::uint8_t> bytes;
    bool bigEndian = false;

    [[nodiscard]] bool has(std::size_t at, std::size_t size) const
    {
        return at <= bytes.size() && size <= bytes.size() - at;
    }
    [[nodiscard]] std::uint32_t u16(std::size_t at) const
    {
        const std::uint32_t a = bytes[at], b = bytes[at + 1];
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    }
    [[nodiscard]] std::uint32_t u32(std::size_t at) const
    {
        const std::uint32_t first = u16(at), second = u16(at + 2);
        return bigEndian ? (first << 16 | second) : (second << 16 | first);
    }
};

constexpr std::uint32_t kOrientationTag = 0x0112;
constexpr std::uint32_t kShortType = 3;

}  // namespace

std::uint8_t exifOrientationValue(std::span<const std::uint8_t> tiff)
{
    if (tiff.size() < 8)
        return 1;
    Tiff t{tiff};
    if (tiff[0] == 'M' && tiff[1] == 'M')
        t.bigEndian = true;
    else if (!(tiff[0] == 'I' && tiff[1] == 'I'))
        return 1;
    if (t.u16(2) != 42)
        return 1;
    const std::size_t ifd = t.u32(4);
    if (!t.has(ifd, 2))
        return 1;
    const std::size_t entries = t.u16(ifd);
    for (std::size_t e = 0; e < entries; ++e) {
        const std::size_t at = ifd + 2 + 12 * e;
        if (!t.has(at, 12))
            break;
        if (t.u16(at) != kOrientationTag)
            continue;
        if (t.u16(at + 2) != kShortType || t.u32(at + 4) != 1)
            break;
        const std::uint32_t value = t.u16(at + 8);
        return value >= 1 && value <= 8 ? static_cast<std::uint8_t>(value) : 1;
    }
    return 1;
}

}  // namespace kelvora::bitmap

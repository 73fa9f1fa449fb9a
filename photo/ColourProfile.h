#pragma once

// What a picture file says of its colours, as a browser reads it: an embedded ICC profile
// (a JPEG's APP2 "ICC_PROFILE" segments, a PNG's iCCP chunk), PNG's sRGB chunk, or PNG's gAMA
// with cHRM. A file that says nothing is sRGB. In that order of precedence, as the PNG
// standard ranks the chunks.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kelvora::photo {

struct Chromaticities {
    // x, y of the white point and of the red, green and blue primaries.
    std::array<double, 8> xy{};
};

struct ColourSource {
    enum class Kind { Srgb, Icc, Gamma };
    Kind kind = Kind::Srgb;
    std::vector<std::uint8_t> icc;  // Icc: the profile's bytes
    // Gamma: the file's gamma (PNG's gAMA: encoded = linear ^ gamma), and its primaries where
    // cHRM gives them (sRGB's otherwise).
    double gamma = 1.0 / 2.2;
    std::optional<Chromaticities> primaries;

    [[nodiscard]] bool srgb() const { return kind == Kind::Srgb; }
};

// From a JPEG file's bytes (the segments before its picture data).
[[nodiscard]] ColourSource jpegColours(std::span<const std::uint8_t> file);
// From a PNG file's bytes (the chunks before its first IDAT). A profile that does not inflate
// or is implausibly large is ignored, as browsers ignore it.
[[nodiscard]] ColourSource pngColours(std::span<const std::uint8_t> file);

}  // namespace kelvora::photo

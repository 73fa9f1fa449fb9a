#pragma once

// The colour a picture's transparent pixels show over where the video cannot keep them: a
// stream without alpha, or H.264. A browser draws a PNG over its page's colour the same way.

#include <cstdint>

namespace kelvora::codec {

struct Background {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    [[nodiscard]] constexpr bool grey() const { return red == green && green == blue; }
    // Black or white: what a picture of 1 bit a pixel can show.
    [[nodiscard]] constexpr bool blackOrWhite() const { return grey() && (red == 0 || red == 0xFF); }
    bool operator==(const Background&) const = default;
};

}  // namespace kelvora::codec

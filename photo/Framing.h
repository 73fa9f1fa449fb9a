#pragma once

// The video's size and how each picture is fitted into it: the whole picture with bars
// (letterbox) or the frame filled and the rest cut away (crop), centred either way. Standard
// library only: the command line, the window and the save all speak it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora::photo {

// The video's size; zero sides: each save's own rule (the first frame's upright size).
struct OutputSize {
    int width = 0;
    int height = 0;
    [[nodiscard]] bool original() const { return width == 0 || height == 0; }
    bool operator==(const OutputSize&) const = default;
};

// The sides a size may have: even (4:2:0 needs them so), from 16 to 8192.
inline constexpr int kMinSide = 16;
inline constexpr int kMaxSide = 8192;

enum class Fit {
    Letterbox,  // the whole picture, scaled to fit; bars of the background beside or above it
    Crop,       // the frame filled; what lies beyond it is cut away
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

struct Framing {
    OutputSize size;
    Fit fit = Fit::Letterbox;
    Rgb background;  // the bars, and what shows through transparent pixels
    bool operator==(const Framing&) const = default;
};

// "1920x1080" (also with "×" or "X"), "720p", "1080p", "4k" or "original" (any case); nothing
// for anything else, or sides that are odd or outside 16 to 8192.
[[nodiscard]] std::optional<OutputSize> parseOutputSize(std::string_view text);
// "letterbox" or "crop".
[[nodiscard]] std::optional<Fit> parseFit(std::string_view text);
// "#RRGGBB", "#RGB" or a colour's name (black, white, grey, red, green, blue, ... in English,
// and nero, bianco, grigio in Italian).
[[nodiscard]] std::optional<Rgb> parseColour(std::string_view text);

// "1920 × 1080".
[[nodiscard]] std::string sizeText(OutputSize size);
// "#RRGGBB".
[[nodiscard]] std::string colourText(Rgb colour);

// Where a picture of `sourceWidth` x `sourceHeight` (upright) lands in a frame of `frame`:
// the part of the picture shown (in its own pixels, fractional where a crop cuts inside a
// pixel) and the rectangle of the frame it fills. The rest of the frame is background.
struct Placement {
    double sourceX = 0;
    double sourceY = 0;
    double sourceWidth = 0;
    double sourceHeight = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    // The picture fills the frame at its own size: nothing to resample.
    [[nodiscard]] bool identity(int sw, int sh) const
    {
        return x == 0 && y == 0 && sourceX == 0 && sourceY == 0 && width == sw && height == sh && sourceWidth == sw &&
               sourceHeight == sh;
    }
};
[[nodiscard]] Placement place(int sourceWidth, int sourceHeight, OutputSize frame, Fit fit);

// A picture too large for where it is going, shrunk whole: the largest size within `bound`
// with its proportions, each side even and at least 2. A picture within `bound` keeps its size.
[[nodiscard]] OutputSize fitWithin(int width, int height, OutputSize bound);

}  // namespace kelvora::photo

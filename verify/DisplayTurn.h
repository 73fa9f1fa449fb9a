#pragma once

// A stream's display matrix as ffmpeg applies it: ffmpeg turns the pictures before it shows or
// hashes them (a phone's upright video, an MP4 made with -display_rotation), a quarter turn by
// transposing, a half turn by flipping both ways. The check reads the pictures so turned.

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include "photo/Orientation.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kelvora::verify {

struct DisplayTurn {
    int quarters = 0;     // clockwise quarter turns, 0 to 3
    std::string refusal;  // a turn that is no multiple of 90°, which ffmpeg interpolates
};

[[nodiscard]] DisplayTurn displayTurnOf(const AVStream& stream);

// `in` turned into `out` (allocated here, in the same pixel format); false when the format's
// planes cannot be turned sample by sample (bit-packed, paired samples, chroma sampled
// otherwise across than down for a quarter turn), as ffmpeg's transpose filter cannot either.
// `mirrored`: mirrored left to right before the turn (EXIF's orientations 2, 4, 5 and 7).
[[nodiscard]] bool turnFrame(const AVFrame& in, int quarters, AVFrame& out, bool mirrored = false);

// An EXIF orientation as ffmpeg applies it to a JPEG's picture (its decoder gives the picture
// a display matrix of it): mirrored or not, then turned clockwise by quarters.
struct OrientationTurn {
    int quarters = 0;
    bool mirrored = false;
};
[[nodiscard]] OrientationTurn turnOfOrientation(photo::Orientation orientation);

// An RGB picture (3 bytes a pixel, `width` x `height`) turned into `out`.
void turnRgb(std::span<const std::uint8_t> rgb, int width, int height, int quarters, std::vector<std::uint8_t>& out);

}  // namespace kelvora::verify

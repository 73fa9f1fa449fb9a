#pragma once

// What a save that fits its frames (photo/: upright, in sRGB, resampled, placed in the video's
// size) made of a frame file: the same fitting done again from the file, for the check to
// compare the video's frame with, exactly where the codec is lossless.

#include "photo/Framing.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::verify {

struct FittedPicture {
    std::vector<std::uint8_t> rgb;  // framing.size, 3 bytes a pixel, rows top-down
    std::string problem;            // why the file no longer gives a frame, in Italian
};

[[nodiscard]] FittedPicture fittedPicture(const std::string& path, const photo::Framing& framing);

}  // namespace kelvora::verify

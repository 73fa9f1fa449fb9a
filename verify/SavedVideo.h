#pragma once

#include "photo/Framing.h"

#include <optional>
#include <string>

namespace kelvora::verify {

// A video the window saved, as its check takes it.
struct SavedVideo {
    std::string path;
    // MP4 or Matroska: read by libavformat, every frame decoded and measured (PSNR).
    bool measured = false;
    std::string summary;  // what the save said it made: "H.264, 14,2 MB, 131 volte più piccolo"
    // The fitting its frames were given (a size, photos upright and in sRGB); unset: none.
    std::optional<photo::Framing> fitted;
};

}  // namespace kelvora::verify

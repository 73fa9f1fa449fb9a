#pragma once

#include <string>

namespace kelvora::verify {

// A video the window saved, as its check takes it.
struct SavedVideo {
    std::string path;
    // MP4 or Matroska: read by libavformat, every frame decoded and measured (PSNR).
    bool measured = false;
    std::string summary;  // what the save said it made: "H.264, 14,2 MB, 131 volte più piccolo"
};

}  // namespace kelvora::verify

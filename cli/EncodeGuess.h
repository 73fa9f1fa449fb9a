#pragma once

// Whether a run will likely encode or fit pictures, or open the window, from its words alone,
// without the parser or any library: the program's front decides by them which program to
// start and whether on huge pages. A wrong guess costs speed only: the program decides again
// once it has parsed.

#include <span>

namespace kelvora::cli {

// The window (no --output and no --verify), an MP4 or Matroska output, a --codec other than
// raw, a --size other than original, or a slideshow (--concat, --audio).
[[nodiscard]] bool mayEncodeByWords(std::span<char* const> arguments);

// No --output and no --verify: the run opens the window. The front starts the program without
// a window for the rest; a wrong guess costs a second start only.
[[nodiscard]] bool windowByWords(std::span<char* const> arguments);

}  // namespace kelvora::cli

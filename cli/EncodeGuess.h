#pragma once

// Whether a run will likely encode or fit pictures, from its words alone, without the parser
// or any library: the program's front decides by it whether to start the program on huge
// pages. A wrong guess costs speed only: the program decides again once it has parsed.

#include <span>

namespace kelvora::cli {

// The window (no --output and no --verify), an MP4 or Matroska output, a --codec other than
// raw, a --size other than original, or a slideshow (--concat, --audio).
[[nodiscard]] bool mayEncodeByWords(std::span<char* const> arguments);

}  // namespace kelvora::cli

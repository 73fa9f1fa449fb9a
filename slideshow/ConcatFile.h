#pragma once

// A slideshow's pictures and their durations from a file in ffmpeg's concat format:
//
//   ffconcat version 1.0
//   file 'beach.jpg'
//   duration 3
//   file 'it'\''s me.png'     (quoted and escaped as ffmpeg's tokens are)
//   duration 0.5
//
// Each 'file' is a picture; a 'duration' gives the picture before it its duration (without
// one it lasts one frame). Relative paths are taken from the concat file's folder. The file
// names and durations are read as ffmpeg reads them; ffmpeg's other directives ('inpoint',
// 'option', 'stream'...) mean nothing for pictures and are refused, each with its line, as is
// a picture that is not there. Standard library only.

#include "slideshow/Duration.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora::slideshow {

struct ConcatEntry {
    std::string path;  // as the file system spells it: the concat file's folder before a relative one
    std::optional<Duration> duration;
    int line = 0;  // where its 'file' stands, from 1
};

struct ConcatList {
    std::vector<ConcatEntry> entries;
    // Why the file is refused, in Italian, with the line ("riga 4: ..."); empty when it is not.
    std::string error;
    [[nodiscard]] bool ok() const { return error.empty(); }
};

// The concat file's text, its relative paths taken from `folder`; the pictures are not looked for.
[[nodiscard]] ConcatList parseConcat(std::string_view text, const std::filesystem::path& folder);

// The concat file at `path`, read whole (at most kLongestConcatFile bytes), each picture
// looked for on the disk.
inline constexpr std::size_t kLongestConcatFile = std::size_t{256} << 20;
[[nodiscard]] ConcatList readConcatFile(const std::filesystem::path& path);

}  // namespace kelvora::slideshow

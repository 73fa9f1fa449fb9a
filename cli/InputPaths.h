#pragma once

// Where the batch mode's paths come from besides the arguments, and what can be said of one
// before the bitmap object reads it.

#include <cstdio>
#include <optional>
#include <string>

namespace kelvora::cli {

// Paths one at a time from a stream, one per line or NUL-terminated; the whole list is
// never held. Empty entries are skipped; a final entry without its separator still counts.
class PathList {
public:
    PathList(std::FILE* in, bool nullSeparated);
    ~PathList();
    PathList(const PathList&) = delete;
    PathList& operator=(const PathList&) = delete;

    // The next path, or nothing at the end (or on a read error: see failed()).
    [[nodiscard]] std::optional<std::string> next();
    [[nodiscard]] bool failed() const;

private:
    std::FILE* m_in;
    int m_separator;
    char* m_buffer = nullptr;
    std::size_t m_capacity = 0;
};

// The reason a path cannot be a frame that the bitmap object's own messages would misname:
// a loop of symbolic links, a link to nothing, a folder on the way that cannot be searched,
// a file that may not be read. Empty when the bitmap object should look for itself (a
// readable file, a missing one, one that is not a regular file).
[[nodiscard]] std::string unreadableReason(const std::string& path);

}  // namespace kelvora::cli

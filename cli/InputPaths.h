#pragma once

// Where the batch mode's paths come from besides the arguments, and what can be said of one
// before the bitmap object reads it.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace kelvora::cli {

// Paths one at a time from a stream, one per line or NUL-terminated; the whole list is
// never held, and no entry longer than a path can be is either. Empty entries are skipped
// (though not thousands in a row); a final entry without its separator still counts.
class PathList {
public:
    PathList(std::FILE* in, bool nullSeparated);

    // The next path, or nothing at the end, on a read error, or on an entry that cannot be a
    // path (see problem()).
    [[nodiscard]] std::optional<std::string> next();
    // Why the list stopped before its end, in Italian ("la riga 3 ..."); empty when it was
    // read to the end.
    [[nodiscard]] std::string problem() const;

private:
    enum class Stop { None, ReadError, TooLong, NulInLine, OnlyEmpty };

    std::FILE* m_in;
    bool m_nullSeparated;
    std::string m_entry;
    std::size_t m_number = 0;  // of the entry in hand, counting empty ones, from 1
    Stop m_stop = Stop::None;
};

// The --list file (`list`: its name, "-" for standard input, empty for none), open while this
// lives, and its paths.
class ListInput {
public:
    ListInput(const std::string& list, bool nullSeparated);

    // None when there is no list or it could not be opened.
    [[nodiscard]] PathList* paths() { return m_paths ? &*m_paths : nullptr; }
    // Why the list could not be opened (errno); 0 when it was, or there is none.
    [[nodiscard]] int openError() const { return m_error; }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_file{nullptr, std::fclose};
    std::optional<PathList> m_paths;
    int m_error = 0;
};

// The reason a path cannot be a frame that the bitmap object's own messages would misname:
// a loop of symbolic links, a link to nothing, a folder on the way that cannot be searched,
// a file that may not be read. Empty when the bitmap object should look for itself (a
// readable file, a missing one, one that is not a regular file).
[[nodiscard]] std::string unreadableReason(const std::string& path);

}  // namespace kelvora::cli

#pragma once

// Numbers missing from a folder's numbered frame files (frame_1 ... frame_10, or zero-padded
// frame_006 ... frame_010): the names a sequence would have between its first and its last
// file, as a user would look for them. Only told, never a reason to refuse anything. Both
// the window's add and the batch mode take a folder's names through it. No Qt.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora::adding {

class NumberGaps {
public:
    // A folder's names begin: a sequence never runs on from one folder into the next.
    void startFolder() { m_sequence = {}; }
    // The folder's next file name (no folder), in natural order. Names that differ only in
    // their last run of digits are one sequence; a name of another form ends the sequence.
    void take(std::string_view name);

    // Numbers missing so far, and the first few names they would have (padding kept).
    [[nodiscard]] std::uint64_t missing() const { return m_missing; }
    [[nodiscard]] const std::vector<std::string>& firstMissing() const { return m_firstMissing; }
    // "manca 1 numero: g_4.bmp", "mancano 2 numeri: g_4.bmp, g_7.bmp", and beyond three
    // names "... e altri N"; empty when nothing is missing.
    [[nodiscard]] std::string summary() const;

    static constexpr std::size_t kNamesShown = 3;

private:
    struct Sequence {
        std::string prefix;  // before the number
        std::string suffix;  // after it: the rest of the name, extension included
        std::uint64_t last = 0;
        std::size_t width = 0;  // digits of a zero-padded number; 0 when unpadded
        bool open = false;
    };
    void note(const Sequence& sequence, std::uint64_t from, std::uint64_t to);

    Sequence m_sequence;
    std::uint64_t m_missing = 0;
    std::vector<std::string> m_firstMissing;
};

}  // namespace kelvora::adding

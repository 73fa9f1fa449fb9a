#pragma once

// The directory search by wildcard pattern: the bare names of the normal files of a folder
// that match, one by one, then empty text. The folder's own order is arbitrary on Linux, so
// the search returns names in natural order (frame_2 before frame_10), always the same.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora::platform {

class DirectorySearch {
public:
    DirectorySearch() = default;  // no names
    // Reads the folder at once; a folder that cannot be read gives no names.
    DirectorySearch(const std::filesystem::path& folder, std::string_view pattern);
    // The same for the names that match any of `patterns` (a picture type of several extensions).
    DirectorySearch(const std::filesystem::path& folder, std::span<const std::string_view> patterns);

    // The next matching name, without its folder; empty text when there are no more.
    [[nodiscard]] std::string next();
    // The matching names in order, each valid as long as the search: for a reader that needs
    // them more than once (or not as strings).
    [[nodiscard]] std::size_t size() const { return m_names.size(); }
    [[nodiscard]] std::string_view name(std::size_t index) const { return text(m_names[index]); }

private:
    // A name's place in the blocks; names are never split across blocks.
    struct Name {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t length;
    };
    void keep(std::string_view name);
    [[nodiscard]] std::string_view text(const Name& name) const;

    // A folder of a million frames is held as its names' bytes in large blocks and 12 bytes
    // a name, not as a million string objects.
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_fill = 0;  // bytes used in the last block
    std::vector<Name> m_names;
    std::size_t m_next = 0;
};

// "*" and "?" wildcards, letters compared without regard to case.
[[nodiscard]] bool matchesWildcard(std::string_view name, std::string_view pattern);

// Runs of digits compare by their value, the rest without regard to case; names that still
// compare equal are ordered by their bytes, so the order is total.
[[nodiscard]] bool naturalLess(std::string_view a, std::string_view b);

}  // namespace kelvora::platform

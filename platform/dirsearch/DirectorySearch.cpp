#include "platform/dirsearch/DirectorySearch.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace kelvora::platform {

namespace {

char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Normal files only: regular files (or links to them), no hidden names. The entry's own type
// answers for most names; only links (and file systems that give no type) cost a lookup.
bool isNormalFile(int folder, const dirent& entry)
{
    if (entry.d_name[0] == '.' || entry.d_name[0] == '\0')
        return false;
    if (entry.d_type == DT_REG)
        return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return false;
    struct stat info {};
    return ::fstatat(folder, entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

// A folder opened for reading its entries, closed on every way out.
struct OpenFolder {
    explicit OpenFolder(const std::filesystem::path& path) : stream(::opendir(path.c_str())) {}
    ~OpenFolder()
    {
        if (stream)
            ::closedir(stream);
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    DIR* stream;
};

// <0, 0 or >0 comparing the digit runs a and b by value (leading zeros ignored).
int compareNumbers(std::string_view a, std::string_view b)
{
    // Runs of one length (zero-padded frame numbers) compare by value as they compare as text.
    if (a.size() != b.size()) {
        const auto strip = [](std::string_view digits) {
            const std::size_t first = digits.find_first_not_of('0');
            return first == std::string_view::npos ? std::string_view() : digits.substr(first);
        };
        a = strip(a);
        b = strip(b);
        if (a.size() != b.size())
            return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

// Where the run of digits starting at `from` ends.
std::size_t digitsEnd(std::string_view text, std::size_t from)
{
    while (from < text.size() && isDigit(text[from]))
        ++from;
    return from;
}

int compareNatural(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::size_t endA = digitsEnd(a, i);
            const std::size_t endB = digitsEnd(b, j);
            if (const int order = compareNumbers(a.substr(i, endA - i), b.substr(j, endB - j)))
                return order;
            i = endA;
            j = endB;
            continue;
        }
        const char x = foldCase(a[i]);
        const char y = foldCase(b[j]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return 0;
}

}  // namespace

DirectorySearch::DirectorySearch(const std::filesystem::path& folder, std::string_view pattern)
    : DirectorySearch(folder, std::span(&pattern, 1))
{
}

DirectorySearch::DirectorySearch(const std::filesystem::path& folder, std::span<const std::string_view> patterns)
{
    const OpenFolder open(folder);
    if (!open.stream)
        return;
    // A read error ends the listing like its end does: the names found so far are the folder's.
    while (const dirent* entry = ::readdir(open.stream)) {
        const std::string_view name(entry->d_name);
        const bool matches =
            std::ranges::any_of(patterns, [name](std::string_view pattern) { return matchesWildcard(name, pattern); });
        if (matches && isNormalFile(::dirfd(open.stream), *entry))
            keep(name);
    }
    std::sort(m_names.begin(), m_names.end(),
              [this](const Name& a, const Name& b) { return naturalLess(text(a), text(b)); });
}

void DirectorySearch::keep(std::string_view name)
{
    // A name is at most a few hundred bytes; one longer than a block gets a block of its own.
    constexpr std::size_t kBlockBytes = std::size_t{1} << 16;
    if (m_blocks.empty() || m_fill + name.size() > kBlockBytes) {
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(std::max(kBlockBytes, name.size())));
        m_fill = 0;
    }
    std::copy(name.begin(), name.end(), m_blocks.back().get() + m_fill);
    m_names.push_back({static_cast<std::uint32_t>(m_blocks.size() - 1), static_cast<std::uint32_t>(m_fill),
                       static_cast<std::uint32_t>(name.size())});
    m_fill += name.size();
}

std::string_view DirectorySearch::text(const Name& name) const
{
    return {m_blocks[name.block].get() + name.offset, name.length};
}

std::string DirectorySearch::next()
{
    return m_next < m_names.size() ? std::string(text(m_names[m_next++])) : std::string();
}

bool matchesWildcard(std::string_view name, std::string_view pattern)
{
    // Iterative matcher with one backtrack point for the latest "*".
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || foldCase(pattern[p]) == foldCase(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool naturalLess(std::string_view a, std::string_view b)
{
    // Names of one folder mostly share a long prefix: the comparison starts where they first
    // differ, or at the start of the run of digits that place is in, since that run is
    // compared by its value.
    std::size_t from = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
    while (from > 0 && isDigit(a[from - 1]))
        --from;
    const int order = compareNatural(a.substr(from), b.substr(from));
    return order != 0 ? order < 0 : a < b;
}

}  // namespace kelvora::platform

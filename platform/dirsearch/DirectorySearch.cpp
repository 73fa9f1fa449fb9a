#include "platform/dirsearch/DirectorySearch.h"

#include <algorithm>

namespace kelvora::platform {

namespace {

char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Normal files only: regular files (or links to them), no hidden names.
bool isNormalFile(const std::filesystem::directory_entry& entry)
{
    std::error_code error;
    const std::string name = entry.path().filename().string();
    return !name.empty() && name.front() != '.' && entry.is_regular_file(error);
}

// <0, 0 or >0 comparing the digit runs a and b by value (leading zeros ignored).
int compareNumbers(std::string_view a, std::string_view b)
{
    const auto strip = [](std::string_view digits) {
        const std::size_t first = digits.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view() : digits.substr(first);
    };
    const std::string_view x = strip(a);
    const std::string_view y = strip(b);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

int compareNatural(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::size_t endA = std::find_if_not(a.begin() + i, a.end(), isDigit) - a.begin();
            const std::size_t endB = std::find_if_not(b.begin() + j, b.end(), isDigit) - b.begin();
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
{
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (matchesWildcard(name, pattern) && isNormalFile(*it))
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
    const int order = compareNatural(a, b);
    return order != 0 ? order < 0 : a < b;
}

}  // namespace kelvora::platform

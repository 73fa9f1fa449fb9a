#pragma once

// Comparisons of ASCII words and file extensions that ignore case, header-only so the program's
// front, which links no library of ours but the C++ runtime's, shares them with the save.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string_view>

namespace kelvora::platform {

// `text` ends with `end`, `end` given in lower case ("VIDEO.MP4" ends with ".mp4").
[[nodiscard]] inline bool endsWithNoCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() &&
           std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char word, char given) { return std::tolower(static_cast<unsigned char>(given)) == word; });
}

// `text` is `word`, `word` given in lower case.
[[nodiscard]] inline bool equalsNoCase(std::string_view text, std::string_view word)
{
    return text.size() == word.size() && endsWithNoCase(text, word);
}

}  // namespace kelvora::platform

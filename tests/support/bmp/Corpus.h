#pragma once

// The real-world BMP corpus the tests read (shared/corpus/bmpsuite beside the project).

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace kelvora::testsupport {

inline const std::filesystem::path kCorpus = std::filesystem::path(KELVORA_CORPUS_DIR) / "bmpsuite";

// Every .bmp of the corpus, as paths relative to it, sorted; empty when the corpus is absent.
inline std::vector<std::string> corpusFiles()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kCorpus, error))
        if (entry.is_regular_file() && entry.path().extension() == ".bmp")
            names.push_back(std::filesystem::relative(entry.path(), kCorpus).string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kelvora::testsupport

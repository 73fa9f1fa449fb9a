#pragma once

#include "platform/text/CompactTexts.h"

#include <QString>

#include <cstddef>
#include <vector>

namespace kelvora::platform {

// Paths in order, held as runs that share a folder: the folder's text once a run, each
// path's name (what follows its last separator) in compact texts. A folder of a million
// frames then costs its names' bytes, not its own path a million times over.
class CompactPaths {
public:
    void append(const QString& path);
    [[nodiscard]] int size() const { return m_names.size(); }
    // Path index, for a reader that goes once through the paths in order from the first: the
    // names behind it are freed as it goes (see CompactTexts::takeInOrder).
    [[nodiscard]] QString takeInOrder(int index);

private:
    struct Run {
        int first;  // the index of its first path
        QString folder;
    };
    CompactTexts m_names;
    std::vector<Run> m_runs;
    std::size_t m_reading = 0;  // the run the reader is in
};

}  // namespace kelvora::platform

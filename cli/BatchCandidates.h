#pragma once

#include "cli/InputPaths.h"
#include "platform/dirsearch/DirectorySearch.h"
#include "platform/msgbox/MessageBox.h"
#include "video/FrameSource.h"

#include <atomic>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::cli {

// The run's candidates in order: the arguments' items, then the list's (read as the save goes,
// never held whole: an entry is dropped once given). A folder stands for its picture files of
// the type most of them have (BMP, PNG or JPEG) in natural order, anything else for itself. The one in hand keeps its own bytes, so a frame is
// saved under the very name given. Without a list the folders are read at the start, so the
// count is known for the progress.
class BatchCandidates final : public video::FrameSource {
public:
    // `everyType`: a folder gives its picture files of every type (a save that fits frames of
    // any format), not only the commonest type's.
    BatchCandidates(const std::vector<std::string>& items, PathList* list, bool everyType = false);

    [[nodiscard]] int count() const override { return m_list ? -1 : m_count; }
    std::optional<std::string> next() override;
    void givenAgain(const std::string& path) override { m_current = path; }
    // The candidate last given, as the file system names it (the loading thread's).
    [[nodiscard]] const std::string& current() const { return m_current; }
    // The items and list entries held, not yet given whole (a folder counts once).
    [[nodiscard]] std::size_t held() const { return m_entries.size(); }
    // Every candidate listed: those given so far and the rest, read now to the list's end (their
    // names only: no file is opened). For a save cut short, which did not read on. -1 when
    // `stop` is set before the end (a list that never ends is no reason to wait for ever).
    [[nodiscard]] int listedCount(const std::atomic<bool>& stop);
    // For each folder whose numbered files skip numbers: the folder and the names missing.
    std::vector<std::string> gapLines;

private:
    struct Entry {
        bool isFolder = false;
        std::string path;                 // a file, absolute; a folder's ends with its separator
        platform::DirectorySearch files;  // a folder's picture files
    };

    [[nodiscard]] Entry entryFor(const std::string& item);

    PathList* m_list;
    bool m_everyType = false;
    std::deque<Entry> m_entries;
    std::size_t m_inFolder = 0;
    int m_count = 0;
    int m_given = 0;
    std::string m_current;
};

// A refused candidate's message as a line. Where the system can say more precisely why the
// file cannot be read (a loop of links, a link to nothing, no permission), that is the line.
class CandidateMessages final : public platform::MessageBoxService {
public:
    explicit CandidateMessages(const BatchCandidates& candidates) : m_candidates(candidates) {}

    void MsgBox(const std::string& text, int, const std::string&) override;

private:
    const BatchCandidates& m_candidates;
};

}  // namespace kelvora::cli

#include "cli/BatchCandidates.h"

#include "adding/FrameAdder.h"
#include "adding/NumberGaps.h"
#include "cli/Messages.h"

#include <filesystem>

namespace kelvora::cli {

namespace fs = std::filesystem;

BatchCandidates::BatchCandidates(const std::vector<std::string>& items, PathList* list, bool everyType)
    : m_list(list), m_everyType(everyType)
{
    for (const std::string& item : items) {
        m_entries.push_back(entryFor(item));
        m_count += m_entries.back().isFolder ? static_cast<int>(m_entries.back().files.size()) : 1;
    }
}

std::optional<std::string> BatchCandidates::next()
{
    while (true) {
        if (!m_entries.empty()) {
            Entry& entry = m_entries.front();
            if (!entry.isFolder) {
                m_current = std::move(entry.path);
                m_entries.pop_front();
                ++m_given;
                return m_current;
            }
            if (m_inFolder < entry.files.size()) {
                const std::string_view name = entry.files.name(m_inFolder++);
                m_current.assign(entry.path).append(name);
                ++m_given;
                return m_current;
            }
            m_entries.pop_front();  // the folder's names are no longer needed
            m_inFolder = 0;
            continue;
        }
        const std::optional<std::string> item = m_list ? m_list->next() : std::nullopt;
        if (!item)
            return std::nullopt;
        m_entries.push_back(entryFor(*item));
    }
}

int BatchCandidates::listedCount(const std::atomic<bool>& stop)
{
    while (next())
        if (stop.load(std::memory_order_relaxed))
            return -1;
    return m_given;
}

BatchCandidates::Entry BatchCandidates::entryFor(const std::string& item)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(item, error);
    Entry entry;
    entry.path = error ? item : absolute.string();
    if (fs::is_directory(entry.path, error)) {
        entry.isFolder = true;
        adding::NumberGaps gaps;
        entry.files = m_everyType ? adding::pictureNamesOfFolder(entry.path, &gaps)
                                  : adding::frameNamesOfFolder(entry.path, std::nullopt, &gaps);
        if (gaps.missing() > 0)
            gapLines.push_back(entry.path + ": " + gaps.summary());
        if (!entry.path.ends_with('/'))
            entry.path += '/';
    }
    return entry;
}

void CandidateMessages::MsgBox(const std::string& text, int, const std::string&)
{
    const std::string& path = m_candidates.current();
    if (const std::string reason = unreadableReason(path); !reason.empty())
        say(path + ": " + reason);
    else
        say(text);
}

}  // namespace kelvora::cli

#include "app/ListHistory.h"

#include "platform/toolkit/ListBox.h"

#include <utility>

namespace kelvora::app {

void moveRows(platform::ListBox& list, const std::vector<platform::RowRange>& out,
              const std::vector<platform::RowRange>& in, platform::CompactTexts& parked)
{
    platform::CompactTexts moving = out.empty() ? std::exchange(parked, {}) : list.takeRows(out);
    if (in.empty())
        parked = std::move(moving);
    else
        list.insertRows(in, std::move(moving));
}

std::vector<TagRun> tagRuns(const platform::ListBox& list, std::span<const platform::RowRange> ranges)
{
    std::vector<TagRun> runs;
    for (const platform::RowRange& range : ranges)
        for (int row = range.first; row < range.end(); ++row) {
            const std::int64_t tag = list.Tag(row);
            if (!runs.empty() && runs.back().tag == tag && runs.back().rows.end() == row)
                ++runs.back().rows.count;
            else
                runs.push_back({{row, 1}, tag});
        }
    return runs;
}

void applyTags(platform::ListBox& list, std::span<const TagRun> runs)
{
    for (const TagRun& run : runs)
        list.setTags(run.rows, run.tag);
}

namespace {

// The rows a change of tags touched, to be selected afterwards.
std::vector<platform::RowRange> rowsOf(const std::vector<TagRun>& runs)
{
    std::vector<platform::RowRange> rows;
    for (const TagRun& run : runs) {
        if (!rows.empty() && rows.back().end() == run.rows.first)
            rows.back().count += run.rows.count;
        else
            rows.push_back(run.rows);
    }
    return rows;
}

}  // namespace

void ListHistory::record(ListChange change)
{
    m_changes.resize(m_done);  // what was undone can no longer be redone
    m_changes.push_back(std::move(change));
    if (m_changes.size() > kMostChanges)
        m_changes.pop_front();
    m_done = m_changes.size();
}

std::optional<AppliedChange> ListHistory::undo(platform::ListBox& list)
{
    if (!canUndo())
        return std::nullopt;
    ListChange& change = m_changes[--m_done];
    if (!change.tagsBefore.empty()) {
        applyTags(list, change.tagsBefore);
        return AppliedChange{rowsOf(change.tagsAfter), change.formatBefore};
    }
    moveRows(list, change.inserted, change.removed, change.parked);
    return AppliedChange{change.removed, change.formatBefore};
}

std::optional<AppliedChange> ListHistory::redo(platform::ListBox& list)
{
    if (!canRedo())
        return std::nullopt;
    ListChange& change = m_changes[m_done++];
    if (!change.tagsAfter.empty()) {
        applyTags(list, change.tagsAfter);
        return AppliedChange{rowsOf(change.tagsAfter), change.formatAfter};
    }
    moveRows(list, change.removed, change.inserted, change.parked);
    return AppliedChange{change.inserted, change.formatAfter};
}

std::size_t ListHistory::bytesHeld() const
{
    std::size_t bytes = 0;
    for (const ListChange& change : m_changes)
        bytes += change.parked.bytesHeld() +
                 (change.removed.capacity() + change.inserted.capacity()) * sizeof(platform::RowRange) +
                 (change.tagsBefore.capacity() + change.tagsAfter.capacity()) * sizeof(TagRun);
    return bytes;
}

}  // namespace kelvora::app

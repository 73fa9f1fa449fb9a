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
    moveRows(list, change.inserted, change.removed, change.parked);
    return AppliedChange{change.removed, change.formatBefore};
}

std::optional<AppliedChange> ListHistory::redo(platform::ListBox& list)
{
    if (!canRedo())
        return std::nullopt;
    ListChange& change = m_changes[m_done++];
    moveRows(list, change.removed, change.inserted, change.parked);
    return AppliedChange{change.inserted, change.formatAfter};
}

std::size_t ListHistory::bytesHeld() const
{
    std::size_t bytes = 0;
    for (const ListChange& change : m_changes)
        bytes += change.parked.bytesHeld() +
                 (change.removed.capacity() + change.inserted.capacity()) * sizeof(platform::RowRange);
    return bytes;
}

}  // namespace kelvora::app

#pragma once

#include "adding/FrameAdder.h"
#include "platform/text/CompactTexts.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace kelvora::platform {
class ListBox;
}  // namespace kelvora::platform

namespace kelvora::app {

// Rows that carry one tag (a frame's duration; 0: none).
struct TagRun {
    platform::RowRange rows;
    std::int64_t tag = 0;
};

// One change of the frame list, as it can be undone and done again. Every change the window
// makes is one form: some rows taken out (`removed`, as numbered before the change) and some
// put in (`inserted`, as numbered after it); a move takes rows out and puts the same texts
// back elsewhere, an add puts in only, a delete or a clear takes out only. The texts that are
// out of the list (a delete's while it is done, an add's while it is undone) are held in
// `parked`, compactly and once: never a copy of the list. A change of the rows' tags moves no
// row: it holds the tags before and after as runs (rows alike share one), so giving a
// duration to a million frames costs a few bytes to undo.
struct ListChange {
    std::vector<platform::RowRange> removed;
    std::vector<platform::RowRange> inserted;
    platform::CompactTexts parked;
    // The frame format before and after: a change that empties the list frees it, and
    // undoing that change must take it back.
    adding::FrameFormat formatBefore;
    adding::FrameFormat formatAfter;
    std::vector<TagRun> tagsBefore;
    std::vector<TagRun> tagsAfter;
};

// What undoing or redoing a change left: the rows it put in (to be selected) and the format
// the list's frames have now.
struct AppliedChange {
    std::vector<platform::RowRange> rows;
    adding::FrameFormat format;
};

// The window's undo and redo of the list's changes, the latest kMostChanges of them.
class ListHistory {
public:
    static constexpr std::size_t kMostChanges = 100;

    // A change just made on the list (its removed texts, if any, in `parked`); nothing is
    // left to redo after it.
    void record(ListChange change);
    [[nodiscard]] bool canUndo() const { return m_done > 0; }
    [[nodiscard]] bool canRedo() const { return m_done < m_changes.size(); }
    // Undoes the latest change done, or redoes the latest undone, on `list`.
    [[nodiscard]] std::optional<AppliedChange> undo(platform::ListBox& list);
    [[nodiscard]] std::optional<AppliedChange> redo(platform::ListBox& list);
    // Bytes held for the texts out of the list and the ranges (for tests and benchmarks).
    [[nodiscard]] std::size_t bytesHeld() const;

private:
    std::deque<ListChange> m_changes;
    std::size_t m_done = 0;  // changes [0, m_done) are done, the rest undone
};

// Moves rows on `list` from `out` to `in` (taking their texts, or those parked when `out` is
// empty; parking them when `in` is empty): one change done or undone.
// The tags `list` has over `ranges`, as runs of rows alike.
[[nodiscard]] std::vector<TagRun> tagRuns(const platform::ListBox& list, std::span<const platform::RowRange> ranges);
// Gives the rows of each run its tag.
void applyTags(platform::ListBox& list, std::span<const TagRun> runs);

void moveRows(platform::ListBox& list, const std::vector<platform::RowRange>& out,
              const std::vector<platform::RowRange>& in, platform::CompactTexts& parked);

}  // namespace kelvora::app

#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kelvora::platform {

// Rows first to first + count - 1 of a list.
struct RowRange {
    int first = 0;
    int count = 0;
    [[nodiscard]] int end() const { return first + count; }
    bool operator==(const RowRange&) const = default;
};

// The number of rows the ranges cover.
[[nodiscard]] int rowsIn(std::span<const RowRange> ranges);

// An ordered sequence of texts held in few allocations: the bytes of all texts share large
// blocks, and each text costs 12 bytes of index beside its own bytes. A text is kept as UTF-8
// (a path's own bytes) unless it holds a lone surrogate (a file name that is not UTF-8), which
// keeps its UTF-16 units, so every text comes back exactly as stored. A list of a million
// file paths then weighs little more than the paths themselves, with no object per entry.
// Each text may carry a tag, a number its owner keeps with it (the window: how long the frame
// lasts); tags travel with their texts through every move, removal and insertion, and cost
// nothing until one is set, then 8 bytes a text.
class CompactTexts {
public:
    [[nodiscard]] int size() const { return static_cast<int>(m_refs.size()); }
    [[nodiscard]] QString at(int index) const;
    void append(QStringView text);
    // Appends every text of `other` (another store), as stored, with no text object made for any.
    void appendAll(const CompactTexts& other);
    // Replaces text index in place; the others keep their places.
    void replace(int index, QStringView text);
    void swap(int a, int b);
    // Text index's tag; 0 for none.
    [[nodiscard]] std::int64_t tag(int index) const
    {
        return m_tags.empty() || index < 0 || index >= size() ? 0 : m_tags[static_cast<std::size_t>(index)];
    }
    void setTag(int index, std::int64_t tag);
    // Some text has a tag other than 0.
    [[nodiscard]] bool anyTag() const { return m_tagged > 0; }
    void remove(int index);
    // Removes the rows of `ranges` (in order, apart, not adjacent) in one pass and returns
    // their texts, in order.
    [[nodiscard]] CompactTexts takeRanges(std::span<const RowRange> ranges);
    // Puts `texts` back so that they hold the rows of `ranges` afterwards (the ranges as the
    // list numbers its rows then, in order), the other texts keeping their order: undoes
    // takeRanges with the same ranges.
    void insertRanges(std::span<const RowRange> ranges, const CompactTexts& texts);
    void clear();
    // Makes room for `count` texts in the index (their bytes are taken as they come).
    void reserve(std::size_t count) { m_refs.reserve(count); }
    // Text index for a reader that goes once, in order, through an appended list: the bytes
    // of the texts behind it are freed as it goes (whole blocks), so those must not be read
    // again.
    [[nodiscard]] QString takeInOrder(int index);
    // Bytes held for the texts and their index, slack included.
    [[nodiscard]] std::size_t bytesHeld() const;

private:
    struct Ref {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t bytes : 31;
        std::uint32_t utf16 : 1;  // the bytes are UTF-16 units, not UTF-8
    };
    struct Block {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity;
    };

    [[nodiscard]] Ref store(QStringView text);
    [[nodiscard]] Ref storeBytes(const char* data, std::size_t bytes, bool utf16);
    // Frees the blocks that hold only texts before `index`.
    void releaseBefore(int index);
    [[nodiscard]] char* at(const Ref& ref) const { return m_blocks[ref.block].bytes.get() + ref.offset; }
    // Rewrites the live texts into fresh blocks once the dead ones outweigh them.
    void compactIfWasteful();

    // The tag of a text that was just appended or inserted at the end of the index.
    void pushTag(std::int64_t tag);
    void countTags();
    // Moves the texts [from, end) down to `kept` onwards (tags and all), kept growing by them.
    void closeUp(std::size_t from, std::size_t end, std::size_t& kept);

    std::vector<Ref> m_refs;
    // Beside m_refs, one for one; empty while every tag is 0.
    std::vector<std::int64_t> m_tags;
    std::size_t m_tagged = 0;  // tags other than 0
    std::vector<Block> m_blocks;
    std::size_t m_fill = 0;     // bytes used in the last block
    std::size_t m_live = 0;     // bytes of the texts in the index
    std::size_t m_garbage = 0;  // bytes no text refers to any more
};

}  // namespace kelvora::platform

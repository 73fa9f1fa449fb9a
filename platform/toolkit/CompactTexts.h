#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelvora::platform {

// An ordered sequence of texts held in few allocations: the UTF-16 units of all texts share
// large blocks, and each text costs 12 bytes of index beside its own units. A list of a
// million file paths then weighs little more than the paths themselves, with no object per
// entry. Texts come back exactly as stored (lone surrogates included).
class CompactTexts {
public:
    [[nodiscard]] int size() const { return static_cast<int>(m_refs.size()); }
    [[nodiscard]] QString at(int index) const;
    void append(QStringView text);
    // Replaces text index in place; the others keep their places.
    void replace(int index, QStringView text);
    void swap(int a, int b) { std::swap(m_refs[static_cast<std::size_t>(a)], m_refs[static_cast<std::size_t>(b)]); }
    void remove(int index);
    void clear();
    // Makes room for `count` more texts in the index (units are taken as they come).
    void reserve(std::size_t count) { m_refs.reserve(count); }
    // Frees the units of the texts before `index` where whole blocks allow it, for a reader
    // that goes through an appended list once: those texts must not be read again.
    void releaseBefore(int index);
    // Bytes held for the texts and their index, slack included.
    [[nodiscard]] std::size_t bytesHeld() const;

private:
    struct Ref {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t length;
    };
    struct Block {
        std::unique_ptr<char16_t[]> units;
        std::size_t capacity;
    };

    [[nodiscard]] Ref store(QStringView text);
    // Rewrites the live texts into fresh blocks once the dead ones outweigh them.
    void compactIfWasteful();

    std::vector<Ref> m_refs;
    std::vector<Block> m_blocks;
    std::size_t m_fill = 0;     // units used in the last block
    std::size_t m_live = 0;     // units of the texts in the index
    std::size_t m_garbage = 0;  // units no text refers to any more
};

}  // namespace kelvora::platform

#include "platform/toolkit/CompactTexts.h"

#include <algorithm>
#include <cstring>

namespace kelvora::platform {

namespace {

// 128 KiB blocks: small enough that the last one's slack does not count, large enough that
// a million paths take a few hundred allocations.
constexpr std::size_t kBlockUnits = std::size_t{1} << 16;

}  // namespace

QString CompactTexts::at(int index) const
{
    if (index < 0 || index >= size())
        return {};
    const Ref& ref = m_refs[static_cast<std::size_t>(index)];
    const char16_t* units = m_blocks[ref.block].units.get() + ref.offset;
    return QString(reinterpret_cast<const QChar*>(units), static_cast<qsizetype>(ref.length));
}

CompactTexts::Ref CompactTexts::store(QStringView text)
{
    const std::size_t length = static_cast<std::size_t>(text.size());
    if (m_blocks.empty() || m_fill + length > m_blocks.back().capacity) {
        // A text longer than a block gets a block of its own size.
        const std::size_t capacity = std::max(kBlockUnits, length);
        m_blocks.push_back(Block{std::make_unique_for_overwrite<char16_t[]>(capacity), capacity});
        m_fill = 0;
    }
    const Ref ref{static_cast<std::uint32_t>(m_blocks.size() - 1), static_cast<std::uint32_t>(m_fill),
                  static_cast<std::uint32_t>(length)};
    if (length > 0)
        std::memcpy(m_blocks.back().units.get() + m_fill, text.utf16(), length * sizeof(char16_t));
    m_fill += length;
    m_live += length;
    return ref;
}

void CompactTexts::append(QStringView text) { m_refs.push_back(store(text)); }

void CompactTexts::replace(int index, QStringView text)
{
    if (index < 0 || index >= size())
        return;
    Ref& ref = m_refs[static_cast<std::size_t>(index)];
    const std::size_t length = static_cast<std::size_t>(text.size());
    if (length <= ref.length) {
        // Fits where the old text was: no new units are taken.
        std::memcpy(m_blocks[ref.block].units.get() + ref.offset, text.utf16(), length * sizeof(char16_t));
        m_garbage += ref.length - length;
        m_live -= ref.length - length;
        ref.length = static_cast<std::uint32_t>(length);
    } else {
        const std::size_t old = ref.length;
        ref = store(text);
        m_garbage += old;
        m_live -= old;
    }
    compactIfWasteful();
}

void CompactTexts::remove(int index)
{
    if (index < 0 || index >= size())
        return;
    const auto at = m_refs.begin() + index;
    m_garbage += at->length;
    m_live -= at->length;
    m_refs.erase(at);
    compactIfWasteful();
}

void CompactTexts::clear()
{
    std::vector<Ref>().swap(m_refs);
    m_blocks.clear();
    m_fill = m_live = m_garbage = 0;
}

void CompactTexts::releaseBefore(int index)
{
    if (index <= 0 || index >= size())
        return;
    // Appended texts fill the blocks in order: every block before text index's is behind it.
    for (std::uint32_t b = 0; b < m_refs[static_cast<std::size_t>(index)].block; ++b) {
        m_blocks[b].units.reset();
        m_blocks[b].capacity = 0;
    }
}

std::size_t CompactTexts::bytesHeld() const
{
    std::size_t units = 0;
    for (const Block& block : m_blocks)
        units += block.capacity;
    return units * sizeof(char16_t) + m_refs.capacity() * sizeof(Ref) + m_blocks.capacity() * sizeof(Block);
}

void CompactTexts::compactIfWasteful()
{
    if (m_garbage < kBlockUnits || m_garbage < m_live)
        return;
    CompactTexts fresh;
    fresh.m_refs.reserve(m_refs.size());
    for (int i = 0; i < size(); ++i) {
        const Ref& ref = m_refs[static_cast<std::size_t>(i)];
        const char16_t* units = m_blocks[ref.block].units.get() + ref.offset;
        fresh.append(QStringView(units, static_cast<qsizetype>(ref.length)));
    }
    *this = std::move(fresh);
}

}  // namespace kelvora::platform

#include "platform/text/CompactTexts.h"

#include <algorithm>
#include <cstring>

namespace kelvora::platform {

namespace {

// 128 KiB blocks: small enough that the last one's slack does not count, large enough that
// a million paths take a few hundred allocations.
constexpr std::size_t kBlockBytes = std::size_t{1} << 17;

// The stored form of a text: UTF-8 when that gives the text back exactly, else UTF-16.
struct Encoded {
    QByteArray utf8;
    QStringView utf16;
    [[nodiscard]] bool isUtf16() const { return utf8.isNull(); }
    [[nodiscard]] const char* data() const
    {
        return isUtf16() ? reinterpret_cast<const char*>(utf16.utf16()) : utf8.constData();
    }
    [[nodiscard]] std::size_t size() const
    {
        return isUtf16() ? static_cast<std::size_t>(utf16.size()) * sizeof(char16_t)
                         : static_cast<std::size_t>(utf8.size());
    }
};

Encoded encode(QStringView text)
{
    if (text.isValidUtf16()) {
        QByteArray utf8 = text.toUtf8();
        if (utf8.isNull())
            utf8 = QByteArray("");  // an empty text is UTF-8 too
        return {std::move(utf8), {}};
    }
    return {QByteArray(), text};
}

}  // namespace

QString CompactTexts::at(int index) const
{
    if (index < 0 || index >= size())
        return {};
    const Ref& ref = m_refs[static_cast<std::size_t>(index)];
    if (ref.utf16)
        return QString(reinterpret_cast<const QChar*>(at(ref)), static_cast<qsizetype>(ref.bytes / sizeof(char16_t)));
    return QString::fromUtf8(at(ref), static_cast<qsizetype>(ref.bytes));
}

CompactTexts::Ref CompactTexts::store(QStringView text)
{
    const Encoded encoded = encode(text);
    return storeBytes(encoded.data(), encoded.size(), encoded.isUtf16());
}

CompactTexts::Ref CompactTexts::storeBytes(const char* data, std::size_t bytes, bool utf16)
{
    // UTF-16 units stay aligned in their block.
    m_fill += m_fill % 2;
    if (m_blocks.empty() || m_fill + bytes > m_blocks.back().capacity) {
        // A text longer than a block gets a block of its own size.
        const std::size_t capacity = std::max(kBlockBytes, bytes);
        m_blocks.push_back(Block{std::make_unique_for_overwrite<char[]>(capacity), capacity});
        m_fill = 0;
    }
    const Ref ref{static_cast<std::uint32_t>(m_blocks.size() - 1), static_cast<std::uint32_t>(m_fill),
                  static_cast<std::uint32_t>(bytes), utf16 ? 1u : 0u};
    if (bytes > 0)
        std::memcpy(m_blocks.back().bytes.get() + m_fill, data, bytes);
    m_fill += bytes;
    m_live += bytes;
    return ref;
}

void CompactTexts::append(QStringView text) { m_refs.push_back(store(text)); }

void CompactTexts::appendAll(const CompactTexts& other)
{
    // No exact reserve: appends come in many batches, and the index grows geometrically.
    for (const Ref& ref : other.m_refs)
        m_refs.push_back(storeBytes(other.at(ref), ref.bytes, ref.utf16 != 0));
}

void CompactTexts::replace(int index, QStringView text)
{
    if (index < 0 || index >= size())
        return;
    Ref& ref = m_refs[static_cast<std::size_t>(index)];
    const std::size_t old = ref.bytes;
    const Encoded encoded = encode(text);
    const std::size_t bytes = encoded.size();
    // Fits where the old text was (UTF-16 there is aligned as it was): no new bytes are taken.
    if (bytes <= old && (!encoded.isUtf16() || ref.offset % 2 == 0)) {
        std::memcpy(at(ref), encoded.data(), bytes);
        ref.bytes = static_cast<std::uint32_t>(bytes);
        ref.utf16 = encoded.isUtf16() ? 1u : 0u;
        m_garbage += old - bytes;
        m_live -= old - bytes;
    } else {
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
    m_garbage += at->bytes;
    m_live -= at->bytes;
    m_refs.erase(at);
    compactIfWasteful();
}

int rowsIn(std::span<const RowRange> ranges)
{
    int rows = 0;
    for (const RowRange& range : ranges)
        rows += range.count;
    return rows;
}

CompactTexts CompactTexts::takeRanges(std::span<const RowRange> ranges)
{
    CompactTexts taken;
    taken.reserve(static_cast<std::size_t>(rowsIn(ranges)));
    std::size_t kept = 0;
    std::size_t from = 0;
    for (const RowRange& range : ranges) {
        const auto first = static_cast<std::size_t>(range.first);
        const auto end = static_cast<std::size_t>(range.end());
        // The rows between the ranges close up; those of the range go to `taken`.
        std::move(m_refs.begin() + static_cast<std::ptrdiff_t>(from),
                  m_refs.begin() + static_cast<std::ptrdiff_t>(first),
                  m_refs.begin() + static_cast<std::ptrdiff_t>(kept));
        kept += first - from;
        for (std::size_t i = first; i < end; ++i) {
            const Ref& ref = m_refs[i];
            taken.m_refs.push_back(taken.storeBytes(at(ref), ref.bytes, ref.utf16 != 0));
            m_garbage += ref.bytes;
            m_live -= ref.bytes;
        }
        from = end;
    }
    std::move(m_refs.begin() + static_cast<std::ptrdiff_t>(from), m_refs.end(),
              m_refs.begin() + static_cast<std::ptrdiff_t>(kept));
    kept += m_refs.size() - from;
    m_refs.resize(kept);
    compactIfWasteful();
    return taken;
}

void CompactTexts::insertRanges(std::span<const RowRange> ranges, const CompactTexts& texts)
{
    const std::size_t before = m_refs.size();
    const auto after = before + static_cast<std::size_t>(rowsIn(ranges));
    std::vector<Ref> refs;
    refs.reserve(after);
    std::size_t old = 0;
    int next = 0;
    for (const RowRange& range : ranges) {
        while (refs.size() < static_cast<std::size_t>(range.first) && old < before)
            refs.push_back(m_refs[old++]);
        for (int i = 0; i < range.count; ++i, ++next) {
            const Ref& ref = texts.m_refs[static_cast<std::size_t>(next)];
            refs.push_back(storeBytes(texts.at(ref), ref.bytes, ref.utf16 != 0));
        }
    }
    while (old < before)
        refs.push_back(m_refs[old++]);
    m_refs = std::move(refs);
}

void CompactTexts::clear()
{
    std::vector<Ref>().swap(m_refs);
    m_blocks.clear();
    m_fill = m_live = m_garbage = 0;
}

QString CompactTexts::takeInOrder(int index)
{
    if (index % 4096 == 0)  // often enough for a million paths, rarely enough to cost nothing
        releaseBefore(index);
    return at(index);
}

void CompactTexts::releaseBefore(int index)
{
    if (index <= 0 || index >= size())
        return;
    // Appended texts fill the blocks in order: every block before text index's is behind it.
    for (std::uint32_t b = 0; b < m_refs[static_cast<std::size_t>(index)].block; ++b) {
        m_blocks[b].bytes.reset();
        m_blocks[b].capacity = 0;
    }
}

std::size_t CompactTexts::bytesHeld() const
{
    std::size_t bytes = 0;
    for (const Block& block : m_blocks)
        bytes += block.capacity;
    return bytes + m_refs.capacity() * sizeof(Ref) + m_blocks.capacity() * sizeof(Block);
}

void CompactTexts::compactIfWasteful()
{
    if (m_garbage < kBlockBytes || m_garbage < m_live)
        return;
    CompactTexts fresh;
    fresh.m_refs.reserve(m_refs.size());
    for (int i = 0; i < size(); ++i)
        fresh.append(at(i));
    *this = std::move(fresh);
}

}  // namespace kelvora::platform

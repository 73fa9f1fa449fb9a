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

void CompactTexts::append(QStringView text)
{
    m_refs.push_back(store(text));
    pushTag(0);
}

void CompactTexts::pushTag(std::int64_t tag)
{
    if (m_tags.empty() && tag == 0)
        return;
    // The first tag set: every text before it has none.
    m_tags.resize(m_refs.size() - 1, 0);
    m_tags.push_back(tag);
    m_tagged += tag != 0 ? 1 : 0;
}

void CompactTexts::countTags()
{
    m_tagged = static_cast<std::size_t>(std::ranges::count_if(m_tags, [](std::int64_t tag) { return tag != 0; }));
    if (m_tagged == 0)
        std::vector<std::int64_t>().swap(m_tags);
}

void CompactTexts::setTag(int index, std::int64_t tag)
{
    if (index < 0 || index >= size() || (m_tags.empty() && tag == 0))
        return;
    m_tags.resize(m_refs.size(), 0);
    std::int64_t& old = m_tags[static_cast<std::size_t>(index)];
    m_tagged += (tag != 0 ? 1 : 0);
    m_tagged -= (old != 0 ? 1 : 0);
    old = tag;
    if (m_tagged == 0)
        std::vector<std::int64_t>().swap(m_tags);
}

void CompactTexts::swap(int a, int b)
{
    std::swap(m_refs[static_cast<std::size_t>(a)], m_refs[static_cast<std::size_t>(b)]);
    if (!m_tags.empty())
        std::swap(m_tags[static_cast<std::size_t>(a)], m_tags[static_cast<std::size_t>(b)]);
}

void CompactTexts::appendAll(const CompactTexts& other)
{
    // No exact reserve: appends come in many batches, and the index grows geometrically.
    for (int i = 0; i < other.size(); ++i) {
        const Ref& ref = other.m_refs[static_cast<std::size_t>(i)];
        m_refs.push_back(storeBytes(other.at(ref), ref.bytes, ref.utf16 != 0));
        pushTag(other.tag(i));
    }
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
    if (!m_tags.empty()) {
        m_tagged -= m_tags[static_cast<std::size_t>(index)] != 0 ? 1 : 0;
        m_tags.erase(m_tags.begin() + index);
        if (m_tagged == 0)
            std::vector<std::int64_t>().swap(m_tags);
    }
    compactIfWasteful();
}

int rowsIn(std::span<const RowRange> ranges)
{
    int rows = 0;
    for (const RowRange& range : ranges)
        rows += range.count;
    return rows;
}

void CompactTexts::closeUp(std::size_t from, std::size_t end, std::size_t& kept)
{
    const auto at = [](auto& items, std::size_t i) { return items.begin() + static_cast<std::ptrdiff_t>(i); };
    std::move(at(m_refs, from), at(m_refs, end), at(m_refs, kept));
    if (!m_tags.empty())
        std::move(at(m_tags, from), at(m_tags, end), at(m_tags, kept));
    kept += end - from;
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
        // The rows of the range go to `taken` before the rows after the last range close up
        // over them.
        for (std::size_t i = first; i < end; ++i) {
            const Ref& ref = m_refs[i];
            taken.m_refs.push_back(taken.storeBytes(at(ref), ref.bytes, ref.utf16 != 0));
            taken.pushTag(tag(static_cast<int>(i)));
            m_garbage += ref.bytes;
            m_live -= ref.bytes;
        }
        closeUp(from, first, kept);
        from = end;
    }
    closeUp(from, m_refs.size(), kept);
    m_refs.resize(kept);
    if (!m_tags.empty()) {
        m_tags.resize(kept);
        countTags();
    }
    compactIfWasteful();
    return taken;
}

void CompactTexts::insertRanges(std::span<const RowRange> ranges, const CompactTexts& texts)
{
    const std::size_t before = m_refs.size();
    const auto after = before + static_cast<std::size_t>(rowsIn(ranges));
    const bool tagged = !m_tags.empty() || !texts.m_tags.empty();
    std::vector<Ref> refs;
    std::vector<std::int64_t> tags;
    refs.reserve(after);
    tags.reserve(tagged ? after : 0);
    std::size_t old = 0;
    int next = 0;
    const auto keep = [&] {
        if (tagged)
            tags.push_back(tag(static_cast<int>(old)));
        refs.push_back(m_refs[old++]);
    };
    for (const RowRange& range : ranges) {
        while (refs.size() < static_cast<std::size_t>(range.first) && old < before)
            keep();
        for (int i = 0; i < range.count; ++i, ++next) {
            const Ref& ref = texts.m_refs[static_cast<std::size_t>(next)];
            refs.push_back(storeBytes(texts.at(ref), ref.bytes, ref.utf16 != 0));
            if (tagged)
                tags.push_back(texts.tag(next));
        }
    }
    while (old < before)
        keep();
    m_refs = std::move(refs);
    m_tags = std::move(tags);
    countTags();
}

void CompactTexts::clear()
{
    std::vector<Ref>().swap(m_refs);
    std::vector<std::int64_t>().swap(m_tags);
    m_tagged = 0;
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
    return bytes + m_refs.capacity() * sizeof(Ref) + m_tags.capacity() * sizeof(std::int64_t) +
           m_blocks.capacity() * sizeof(Block);
}

void CompactTexts::compactIfWasteful()
{
    if (m_garbage < kBlockBytes || m_garbage < m_live)
        return;
    CompactTexts fresh;
    fresh.m_refs.reserve(m_refs.size());
    for (int i = 0; i < size(); ++i)
        fresh.append(at(i));
    fresh.m_tags = std::move(m_tags);
    fresh.m_tagged = m_tagged;
    *this = std::move(fresh);
}

}  // namespace kelvora::platform

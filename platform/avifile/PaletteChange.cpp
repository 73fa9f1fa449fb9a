#include "platform/avifile/PaletteChange.h"

#include <algorithm>

#include "platform/binary/ByteReader.h"
#include "platform/binary/ByteWriter.h"

namespace kelvora::avifile {

namespace {
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kEntrySize = 4;
constexpr std::size_t kMaxEntries = 256;
}  // namespace

std::optional<std::span<const std::uint8_t>> colourTableOf(std::span<const std::uint8_t> format)
{
    binary::ByteReader in(format);
    const std::uint32_t biSize = in.u32();
    in.skip(10);  // biWidth, biHeight, biPlanes
    const std::uint16_t biBitCount = in.u16();
    if (in.overran() || biBitCount > 8 || biSize < kHeaderSize || biSize > format.size())
        return std::nullopt;
    auto table = format.subspan(biSize);
    table = table.first(std::min(table.size() / kEntrySize, kMaxEntries) * kEntrySize);
    return table;
}

bool differsOnlyInPalette(std::span<const std::uint8_t> current, std::span<const std::uint8_t> next)
{
    const auto table = colourTableOf(current);
    if (!table || current.size() != next.size())
        return false;
    const auto tableStart = static_cast<std::size_t>(table->data() - current.data());
    const auto tableEnd = tableStart + table->size();
    return std::equal(current.begin(), current.begin() + static_cast<std::ptrdiff_t>(tableStart), next.begin()) &&
           std::equal(current.begin() + static_cast<std::ptrdiff_t>(tableEnd), current.end(),
                      next.begin() + static_cast<std::ptrdiff_t>(tableEnd));
}

std::vector<std::uint8_t> paletteChange(std::span<const std::uint8_t> from, std::span<const std::uint8_t> to)
{
    const std::size_t entries = std::min({from.size(), to.size(), kMaxEntries * kEntrySize}) / kEntrySize;
    std::size_t first = entries;
    std::size_t last = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        if (!std::equal(from.begin() + static_cast<std::ptrdiff_t>(i * kEntrySize),
                        from.begin() + static_cast<std::ptrdiff_t>(i * kEntrySize + 3),
                        to.begin() + static_cast<std::ptrdiff_t>(i * kEntrySize))) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first == entries)
        return {};
    const std::size_t count = last - first + 1;
    std::vector<std::uint8_t> payload(4 + kEntrySize * count);
    binary::ByteWriter out(payload);
    out.u8(static_cast<std::uint8_t>(first));         // bFirstEntry
    out.u8(static_cast<std::uint8_t>(count & 0xFF));  // bNumEntries, 0 for all 256
    out.u16(0);                                       // wFlags
    for (std::size_t i = first; i <= last; ++i) {
        const auto quad = to.subspan(i * kEntrySize, kEntrySize);  // RGBQUAD: blue, green, red
        out.u8(quad[2]);                                           // peRed
        out.u8(quad[1]);                                           // peGreen
        out.u8(quad[0]);                                           // peBlue
        out.u8(0);                                                 // peFlags
    }
    return payload;
}

}  // namespace kelvora::avifile

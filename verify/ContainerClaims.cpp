#include "verify/ContainerClaims.h"

#include "platform/filesystem/FileOpener.h"

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace kelvora::verify {

namespace {

// Boxes libavformat's MP4 reader reads the boxes inside of, at whatever depth they stand.
constexpr std::string_view kContainers[] = {"moov", "trak", "mdia", "minf", "stbl", "moof", "traf", "mvex",
                                            "edts", "dinf", "udta", "tref", "mfra", "wave", "sinf", "schi"};
// Deeper than any real file nests them.
constexpr int kDeepest = 24;

// Tables whose count libavformat's MP4 reader allocates for before it reads an entry: where
// the count is, from the box's body, and how many bytes an entry takes at the least.
struct Table {
    std::string_view type;
    int countAt;
    int entryBytes;
};
constexpr Table kTables[] = {{"stco", 4, 4}, {"co64", 4, 8}, {"stsc", 4, 12}, {"stss", 4, 4}, {"stps", 4, 4},
                             {"stts", 4, 8}, {"ctts", 4, 8}, {"elst", 4, 12}, {"sbgp", 8, 8}};

std::uint32_t bigEndian(std::span<const std::uint8_t> b)
{
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

class BoxWalk {
public:
    BoxWalk(platform::File& file, std::int64_t length) : m_file(file), m_length(length) {}

    // The boxes from `at` to `end`; false once the walk is to stop (a read failed, a
    // compressed header).
    bool boxes(std::int64_t at, std::int64_t end, int depth)
    {
        while (at + 8 <= end) {
            std::array<std::uint8_t, 16> head{};
            if (!read(at, std::span(head).first(8)))
                return false;
            std::int64_t size = bigEndian(head);
            const std::string_view type(reinterpret_cast<const char*>(head.data() + 4), 4);
            std::int64_t body = at + 8;
            if (size == 1) {
                if (at + 16 > end || !read(at + 8, std::span(head).subspan(8, 8)))
                    return true;
                const std::uint64_t large = std::uint64_t{bigEndian(std::span(head).subspan(8, 4))} << 32 |
                                            bigEndian(std::span(head).subspan(12, 4));
                size = large > static_cast<std::uint64_t>(end - at) ? end - at : static_cast<std::int64_t>(large);
                body = at + 16;
            } else if (size == 0) {
                size = end - at;  // to the end of what holds it
            }
            if (size < body - at)
                return true;                                       // the reader stops at a box smaller than its header
            const std::int64_t boxEnd = std::min(at + size, end);  // cut short as the reader cuts it
            if (!box(type, body, boxEnd, depth))
                return false;
            at = boxEnd;
        }
        return true;
    }

    [[nodiscard]] std::uint64_t samples() const { return m_samples; }
    [[nodiscard]] bool compressedHeader() const { return m_compressed; }
    [[nodiscard]] const std::string& overclaim() const { return m_overclaim; }

private:
    bool box(std::string_view type, std::int64_t body, std::int64_t end, int depth)
    {
        if (type == "cmov") {
            m_compressed = true;
            return false;
        }
        if (type == "stsz" || type == "stz2" || type == "trun") {
            // version and flags, then (stsz) the common size, (stz2) the field size, then the count
            const std::int64_t countAt = body + (type == "trun" ? 4 : 8);
            std::array<std::uint8_t, 4> count{};
            if (countAt + 4 <= end && read(countAt, count))
                m_samples += bigEndian(count);
            return true;
        }
        for (const Table& table : kTables)
            if (type == table.type)
                return tableFits(table, body, end);
        if (depth >= kDeepest)
            return true;
        if (type == "meta")
            return meta(body, end, depth);
        for (const std::string_view container : kContainers)
            if (type == container)
                return boxes(body, end, depth + 1);
        return true;
    }

    // A count of more entries than the table's box holds is a claim no real file makes: the
    // reader would allocate for it all the same (a 20-byte 'stco' of 167 million entries, 1.3 GB).
    bool tableFits(const Table& table, std::int64_t body, std::int64_t end)
    {
        std::array<std::uint8_t, 4> count{};
        const std::int64_t entriesAt = body + table.countAt + 4;
        if (entriesAt > end || !read(body + table.countAt, count))
            return true;
        const std::uint64_t room =
            static_cast<std::uint64_t>(end - entriesAt) / static_cast<unsigned>(table.entryBytes);
        if (bigEndian(count) > room && m_overclaim.empty())
            m_overclaim = "dichiara " + std::to_string(bigEndian(count)) + " voci nella tabella '" +
                          std::string(table.type) + "', che ne ha posto per " + std::to_string(room);
        return m_overclaim.empty();
    }

    // A 'meta' box is read from its handler box on, found four bytes at a time (with or
    // without the version and flags the ISO form puts first).
    bool meta(std::int64_t body, std::int64_t end, int depth)
    {
        for (std::int64_t at = body; at + 8 <= end; at += 4) {
            std::array<std::uint8_t, 4> tag{};
            if (!read(at + 4, tag))
                return false;
            if (std::string_view(reinterpret_cast<const char*>(tag.data()), 4) == "hdlr")
                return boxes(at, end, depth + 1);
        }
        return true;
    }

    bool read(std::int64_t at, std::span<std::uint8_t> into)
    {
        return at >= 0 && at + static_cast<std::int64_t>(into.size()) <= m_length &&
               m_file.readExactlyAt(into, at) == platform::ReadOutcome::Complete;
    }

    platform::File& m_file;
    std::int64_t m_length;
    std::uint64_t m_samples = 0;
    bool m_compressed = false;
    std::string m_overclaim;  // the first table that claims more entries than it holds
};

}  // namespace

std::string sampleClaimsRefusal(const std::filesystem::path& path, std::int64_t length)
{
    platform::OpenResult opened = platform::systemFileOpener().open(path, platform::OpenMode::Read);
    if (!opened.file.isOpen() || length <= 0)
        return {};  // libavformat says why it cannot be read
    BoxWalk walk(opened.file, length);
    (void)walk.boxes(0, length, 0);
    if (!walk.overclaim().empty())
        return walk.overclaim();
    if (walk.compressedHeader())
        return "ha l'intestazione compressa (cmov), che qui non si legge";
    if (walk.samples() > static_cast<std::uint64_t>(length))
        return "dichiara " + std::to_string(walk.samples()) + " campioni, più dei byte del file (" +
               std::to_string(length) + "): ognuno ne occupa almeno uno";
    return {};
}

}  // namespace kelvora::verify

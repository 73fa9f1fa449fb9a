#include "video/PngIntegrity.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace kelvora::video {

namespace {

constexpr std::size_t kSignatureBytes = 8;
constexpr std::size_t kWindowBytes = std::size_t{1} << 20;

std::uint32_t be32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// One pass of the picture's rows (the whole picture, or one of Adam7's seven): each row is a
// filter byte and its samples.
struct Pass {
    std::int64_t rowBytes = 0;
    std::int64_t rows = 0;
};

int channelsOf(bitmap::PngColour colour)
{
    switch (colour) {
    case bitmap::PngColour::Grey:
    case bitmap::PngColour::Palette:
        return 1;
    case bitmap::PngColour::GreyAlpha:
        return 2;
    case bitmap::PngColour::Rgb:
        return 3;
    case bitmap::PngColour::Rgba:
        return 4;
    }
    return 4;
}

std::vector<Pass> passesOf(const bitmap::PictureHeader& header)
{
    const std::int64_t bits = std::int64_t{channelsOf(header.png.colour)} * header.png.bitDepth;
    const auto pass = [&](std::int64_t width, std::int64_t rows) {
        return width > 0 && rows > 0 ? Pass{1 + (width * bits + 7) / 8, rows} : Pass{};
    };
    const std::int64_t w = header.width;
    const std::int64_t h = header.height;
    if (!header.png.interlaced)
        return {pass(w, h)};
    struct Step {
        int x, y, dx, dy;
    };
    constexpr std::array<Step, 7> kAdam7 = {
        {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};
    std::vector<Pass> passes;
    for (const Step& s : kAdam7)
        passes.push_back(pass((w - s.x + s.dx - 1) / s.dx, (h - s.y + s.dy - 1) / s.dy));
    return passes;
}

// Walks the rows' starts through the inflated bytes as they come, checking each row's filter
// type (0 to 4).
class RowFilters {
public:
    explicit RowFilters(std::vector<Pass> passes) : m_passes(std::move(passes)) { skipEmpty(); }

    [[nodiscard]] std::int64_t total() const
    {
        std::int64_t bytes = 0;
        for (const Pass& p : m_passes)
            bytes += p.rowBytes * p.rows;
        return bytes;
    }

    // The inflated bytes from offset `at`; false at the first row with an unknown filter.
    bool take(std::span<const std::uint8_t> bytes, std::int64_t at)
    {
        const std::int64_t end = at + static_cast<std::int64_t>(bytes.size());
        while (m_pass < m_passes.size() && m_rowStart < end) {
            if (bytes[static_cast<std::size_t>(m_rowStart - at)] > 4) {
                m_badFilter = bytes[static_cast<std::size_t>(m_rowStart - at)];
                return false;
            }
            ++m_row;
            m_rowStart += m_passes[m_pass].rowBytes;
            if (m_row == m_passes[m_pass].rows) {
                ++m_pass;
                m_row = 0;
                skipEmpty();
            }
        }
        return true;
    }

    [[nodiscard]] std::string badFilterReason() const
    {
        return "una riga di pixel ha il filtro PNG " + std::to_string(m_badFilter) +
               ", che non esiste: i dati dell'immagine sono danneggiati";
    }

private:
    void skipEmpty()
    {
        while (m_pass < m_passes.size() && m_passes[m_pass].rows == 0)
            ++m_pass;
    }

    std::vector<Pass> m_passes;
    std::size_t m_pass = 0;
    std::int64_t m_row = 0;
    std::int64_t m_rowStart = 0;
    int m_badFilter = 0;
};

const char* const kBadData = "i dati compressi dell'immagine (IDAT) sono danneggiati: non si decomprimono";
const char* const kShortData = "i dati dell'immagine (IDAT) finiscono prima delle sue righe di pixel";

struct FreeDecompressor {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// The loader thread's buffers, kept from frame to frame: fresh memory costs a page fault a page.
struct Scratch {
    std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor{libdeflate_alloc_decompressor()};
    std::vector<std::uint8_t> joined;  // the IDAT chunks' data, where there are several
    std::vector<std::uint8_t> inflated;
};

// A picture too large for one buffer (or whose data runs on past its rows), inflated through
// a window of kWindowBytes.
std::string inflateStreaming(std::span<const std::span<const std::uint8_t>> idat, RowFilters& rows)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return "memoria insufficiente per controllare l'immagine";
    std::vector<std::uint8_t> window(kWindowBytes);
    std::int64_t total = 0;
    int status = Z_OK;
    std::string damage;
    for (const auto& data : idat) {
        z.next_in = const_cast<Bytef*>(data.data());
        z.avail_in = static_cast<uInt>(data.size());
        while (z.avail_in > 0 && status == Z_OK && damage.empty()) {
            z.next_out = window.data();
            z.avail_out = static_cast<uInt>(window.size());
            status = inflate(&z, Z_NO_FLUSH);
            const std::size_t produced = window.size() - z.avail_out;
            if (status != Z_OK && status != Z_STREAM_END)
                damage = kBadData;
            else if (!rows.take(std::span(window).first(produced), total))
                damage = rows.badFilterReason();
            total += static_cast<std::int64_t>(produced);
        }
    }
    inflateEnd(&z);
    if (!damage.empty())
        return damage;
    if (status != Z_STREAM_END)
        return total < rows.total() ? kShortData : kBadData;
    return total < rows.total() ? kShortData : "";
}

std::string inflateWhole(std::span<const std::span<const std::uint8_t>> idat, RowFilters& rows)
{
    thread_local Scratch scratch;
    if (!scratch.decompressor)
        return "memoria insufficiente per controllare l'immagine";
    std::span<const std::uint8_t> stream = idat.front();
    if (idat.size() > 1) {
        scratch.joined.clear();
        for (const auto& data : idat)
            scratch.joined.insert(scratch.joined.end(), data.begin(), data.end());
        stream = scratch.joined;
    }
    scratch.inflated.resize(static_cast<std::size_t>(rows.total()));
    std::size_t inflated = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress(scratch.decompressor.get(), stream.data(), stream.size(), scratch.inflated.data(),
                                   scratch.inflated.size(), &inflated);
    // More data than the rows need: read to its end through a window, where its checksum is.
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE)
        return inflateStreaming(idat, rows);
    if (result != LIBDEFLATE_SUCCESS)
        return kBadData;
    if (!rows.take(std::span(scratch.inflated).first(inflated), 0))
        return rows.badFilterReason();
    return static_cast<std::int64_t>(inflated) < rows.total() ? kShortData : "";
}

}  // namespace

std::string pngDamage(std::span<const std::uint8_t> png, const bitmap::PictureHeader& header)
{
    std::vector<std::span<const std::uint8_t>> idat;
    std::size_t at = kSignatureBytes;
    for (;;) {
        if (png.size() - at < 12)
            return "il file finisce dentro un blocco PNG";
        const std::uint32_t length = be32(png.data() + at);
        const std::uint8_t* type = png.data() + at + 4;
        if (length > 0x7FFFFFFFu || length > png.size() - at - 12)
            return "il blocco PNG all'offset " + std::to_string(at) + " va oltre la fine del file";
        if (libdeflate_crc32(0, type, 4 + std::size_t{length}) != be32(type + 4 + length))
            return "il blocco " + std::string(reinterpret_cast<const char*>(type), 4) + " all'offset " +
                   std::to_string(at) + " è danneggiato: il suo CRC non torna";
        if (std::memcmp(type, "IDAT", 4) == 0)
            idat.push_back(png.subspan(at + 8, length));
        if (std::memcmp(type, "IEND", 4) == 0)
            break;
        at += 12 + std::size_t{length};
    }
    if (idat.empty())
        return "l'immagine PNG non ha dati (IDAT)";
    RowFilters rows(passesOf(header));
    return rows.total() <= kWholeInflateBytes ? inflateWhole(idat, rows) : inflateStreaming(idat, rows);
}

}  // namespace kelvora::video

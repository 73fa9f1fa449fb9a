#include "codec/PngWriter.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace kelvora::codec {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Decoders take IDAT data in any pieces; a bound keeps each chunk's length far from 2^31.
constexpr std::size_t kMostIdatBytes = 1 << 20;
constexpr std::size_t kMostSide = 0x7FFFFFFF;

// The filters tried on each row. Average and Paeth would pack a few per cent tighter but cost
// more than deflate's fastest level saves; these three vectorise.
enum Filter : std::uint8_t { None = 0, Sub = 1, Up = 2 };

// Row `row` filtered by `filter` into `out`, with the usual heuristic's cost: the sum of the
// output read as signed bytes. `above` is the row above (zeros for the first). This runs three
// times over every byte of a frame: the first pixel, which has nothing to its left, is taken
// apart so that the loop over the rest has no branch and vectorises.
template <Filter filter> std::uint8_t predict(int left, int up)
{
    if constexpr (filter == Sub)
        return static_cast<std::uint8_t>(left);
    else if constexpr (filter == Up)
        return static_cast<std::uint8_t>(up);
    else
        return 0;
}

template <Filter filter>
std::uint64_t filterRow(const std::uint8_t* row, const std::uint8_t* above, std::size_t size, std::size_t bpp,
                        std::uint8_t* out)
{
    std::uint32_t cost = 0;
    std::uint64_t total = 0;
    const std::size_t first = std::min(bpp, size);
    for (std::size_t i = 0; i < first; ++i) {
        out[i] = static_cast<std::uint8_t>(row[i] - predict<filter>(0, above[i]));
        total += out[i] < 128 ? out[i] : 256 - out[i];
    }
    // Blocks of a mebibyte keep the 32-bit sum from overflowing with no test in the loop.
    for (std::size_t block = first; block < size; block += std::size_t{1} << 20) {
        const std::size_t end = std::min(size, block + (std::size_t{1} << 20));
        for (std::size_t i = block; i < end; ++i) {
            const auto value = static_cast<std::uint8_t>(row[i] - predict<filter>(row[i - bpp], above[i]));
            out[i] = value;
            cost += value < 128 ? value : 256u - value;
        }
        total += cost;
        cost = 0;
    }
    return total + cost;
}

using RowFilter = std::uint64_t (*)(const std::uint8_t*, const std::uint8_t*, std::size_t, std::size_t, std::uint8_t*);
constexpr std::array<RowFilter, 3> kFilters = {filterRow<None>, filterRow<Sub>, filterRow<Up>};

// PNG's numbers are big-endian.
void putU32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putChunk(std::vector<std::uint8_t>& png, std::string_view type, std::span<const std::uint8_t> data)
{
    putU32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type.begin(), type.end());
    png.insert(png.end(), data.begin(), data.end());
    putU32(png, libdeflate_crc32(0, png.data() + typeAt, 4 + data.size()));
}

}  // namespace

struct PngWriter::Compressor {
    libdeflate_compressor* handle = libdeflate_alloc_compressor(kLevel);
    ~Compressor() { libdeflate_free_compressor(handle); }
};

PngWriter::PngWriter() : m_compressor(std::make_unique<Compressor>()) {}
PngWriter::~PngWriter() = default;

bool PngWriter::write(const PngPicture& picture, std::vector<std::uint8_t>& png)
{
    const bool palette = picture.layout == PixelLayout::Pal8;
    if (!m_compressor->handle || picture.layout == PixelLayout::Bgr0 || (palette && !picture.palette) ||
        picture.width == 0 || picture.rows == 0 || picture.width > kMostSide || picture.rows > kMostSide)
        return false;
    const std::size_t bpp = palette ? 1 : 3;
    const std::size_t rowBytes = picture.width * bpp;
    m_filtered.resize(picture.rows * (rowBytes + 1));
    std::vector<std::uint8_t> zeros(rowBytes, 0), candidate(palette ? 0 : rowBytes);
    for (std::size_t r = 0; r < picture.rows; ++r) {
        const std::span<const std::uint8_t> row = picture.pixels.subspan(r * picture.stride, rowBytes);
        const std::span<const std::uint8_t> above =
            r == 0 ? std::span<const std::uint8_t>(zeros) : picture.pixels.subspan((r - 1) * picture.stride, rowBytes);
        std::uint8_t* out = m_filtered.data() + r * (rowBytes + 1);
        if (palette) {
            out[0] = None;
            std::copy(row.begin(), row.end(), out + 1);
            continue;
        }
        std::uint64_t best = UINT64_MAX;
        for (std::size_t filter = 0; filter < kFilters.size(); ++filter) {
            const std::uint64_t c = kFilters[filter](row.data(), above.data(), rowBytes, bpp, candidate.data());
            if (c < best) {
                best = c;
                out[0] = static_cast<std::uint8_t>(filter);
                std::copy(candidate.begin(), candidate.end(), out + 1);
            }
        }
    }

    png.clear();
    for (const std::uint8_t b : kSignature)
        png.push_back(b);
    std::vector<std::uint8_t> header;
    putU32(header, static_cast<std::uint32_t>(picture.width));  // Width
    putU32(header, static_cast<std::uint32_t>(picture.rows));   // Height
    header.push_back(8);                                        // Bit depth
    header.push_back(palette ? 3 : 2);                          // Colour type: palette or RGB
    header.push_back(0);                                        // Compression method
    header.push_back(0);                                        // Filter method
    header.push_back(0);                                        // Interlace method: none
    putChunk(png, "IHDR", header);
    if (palette) {
        std::vector<std::uint8_t> plte;
        plte.reserve(256 * 3);
        for (const std::uint32_t argb : *picture.palette) {
            plte.push_back(static_cast<std::uint8_t>(argb >> 16));
            plte.push_back(static_cast<std::uint8_t>(argb >> 8));
            plte.push_back(static_cast<std::uint8_t>(argb));
        }
        putChunk(png, "PLTE", plte);
    }
    const std::size_t bound = libdeflate_zlib_compress_bound(m_compressor->handle, m_filtered.size());
    if (m_deflated.size() < bound)
        m_deflated.resize(bound);
    const std::span<std::uint8_t> deflated(m_deflated);
    const std::size_t size = libdeflate_zlib_compress(m_compressor->handle, m_filtered.data(), m_filtered.size(),
                                                      deflated.data(), deflated.size());
    if (size == 0)
        return false;
    for (std::size_t at = 0; at < size; at += kMostIdatBytes)
        putChunk(png, "IDAT", deflated.subspan(at, std::min(kMostIdatBytes, size - at)));
    putChunk(png, "IEND", {});
    return true;
}

}  // namespace kelvora::codec

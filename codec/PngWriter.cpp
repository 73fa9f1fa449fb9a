#include "codec/PngWriter.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

namespace kelvora::codec {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Decoders take IDAT data in any pieces; a bound keeps each chunk's length far from 2^31.
constexpr std::size_t kMostIdatBytes = 1 << 20;
constexpr std::size_t kMostSide = 0x7FFFFFFF;

enum Filter : std::uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

std::uint8_t paeth(int left, int up, int upLeft)
{
    const int p = left + up - upLeft;
    const int pa = std::abs(p - left);
    const int pb = std::abs(p - up);
    const int pc = std::abs(p - upLeft);
    if (pa <= pb && pa <= pc)
        return static_cast<std::uint8_t>(left);
    return static_cast<std::uint8_t>(pb <= pc ? up : upLeft);
}

// Row `row` filtered by `filter` into `out`; `previous` is the row above (zeros for the first).
void filterRow(Filter filter, std::span<const std::uint8_t> row, std::span<const std::uint8_t> previous,
               std::size_t bpp, std::uint8_t* out)
{
    for (std::size_t i = 0; i < row.size(); ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        const int up = previous[i];
        const int upLeft = i >= bpp ? previous[i - bpp] : 0;
        int predicted = 0;
        switch (filter) {
        case None:
            break;
        case Sub:
            predicted = left;
            break;
        case Up:
            predicted = up;
            break;
        case Average:
            predicted = (left + up) / 2;
            break;
        case Paeth:
            predicted = paeth(left, up, upLeft);
            break;
        }
        out[i] = static_cast<std::uint8_t>(row[i] - predicted);
    }
}

// The usual heuristic: the filter whose output, read as signed bytes, sums smallest.
std::uint64_t cost(std::span<const std::uint8_t> filtered)
{
    std::uint64_t sum = 0;
    for (const std::uint8_t b : filtered)
        sum += b < 128 ? b : 256 - b;
    return sum;
}

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
        for (const Filter filter : {None, Sub, Up, Average, Paeth}) {
            filterRow(filter, row, above, bpp, candidate.data());
            if (const std::uint64_t c = cost(candidate); c < best) {
                best = c;
                out[0] = filter;
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
    std::vector<std::uint8_t> deflated(bound);
    const std::size_t size =
        libdeflate_zlib_compress(m_compressor->handle, m_filtered.data(), m_filtered.size(), deflated.data(), bound);
    if (size == 0)
        return false;
    for (std::size_t at = 0; at < size; at += kMostIdatBytes)
        putChunk(png, "IDAT", std::span(deflated).subspan(at, std::min(kMostIdatBytes, size - at)));
    putChunk(png, "IEND", {});
    return true;
}

}  // namespace kelvora::codec

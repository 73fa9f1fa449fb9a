#include "codec/PngWriter.h"

#include "codec/Ssse3.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kelvora::codec {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Decoders take IDAT data in any pieces; a bound keeps each chunk's length far from 2^31.
constexpr std::size_t kMostIdatBytes = 1 << 20;
constexpr std::size_t kMostSide = 0x7FFFFFFF;

// The row filters the writer uses, of PNG's five: Average and Paeth, chosen by the usual
// heuristic, made grainy frames larger, not smaller, and cost more than deflate's fastest
// level saves (Paeth does not vectorise). The reader takes these three only.
enum Filter : std::uint8_t { None = 0, Sub = 1, Up = 2 };
constexpr std::uint8_t kFilterCount = 3;
// A row whose best filter still leaves this much a byte (the heuristic's cost) is grain.
constexpr std::uint64_t kGrainPerByte = 4;

// The filter's prediction of a byte from the one to its left (`a`) and the one above (`b`).
template <Filter filter> std::uint8_t predict(int a, int b)
{
    if constexpr (filter == Sub)
        return static_cast<std::uint8_t>(a);
    else if constexpr (filter == Up)
        return static_cast<std::uint8_t>(b);
    else
        return 0;
}

constexpr unsigned magnitude(std::uint8_t value) { return value < 128 ? value : 256u - value; }

using FilterCosts = std::array<std::uint64_t, kFilterCount>;

// The heuristic's cost of bytes [from, to) of a row under each filter, a byte at a time.
void addCosts(const std::uint8_t* row, const std::uint8_t* above, std::size_t from, std::size_t to, std::size_t bpp,
              FilterCosts& costs)
{
    for (std::size_t i = from; i < to; ++i) {
        const int left = i < bpp ? 0 : row[i - bpp];
        costs[None] += magnitude(static_cast<std::uint8_t>(row[i] - predict<None>(left, above[i])));
        costs[Sub] += magnitude(static_cast<std::uint8_t>(row[i] - predict<Sub>(left, above[i])));
        costs[Up] += magnitude(static_cast<std::uint8_t>(row[i] - predict<Up>(left, above[i])));
    }
}

// The heuristic's cost of row `row` under each filter; `above` is the row above (zeros for the
// first). One pass for all three, 16 bytes a step where SSE2 is there: a byte's magnitude is
// the smaller of it and its negation, and psadbw sums them. Three passes widening each byte
// to 32 bits were a tenth of a PNG save's time.
FilterCosts costsOf(const std::uint8_t* row, const std::uint8_t* above, std::size_t size, std::size_t bpp)
{
    FilterCosts costs{};
    const std::size_t first = std::min(bpp, size);
    addCosts(row, above, 0, first, bpp, costs);
    std::size_t i = first;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    __m128i none = zero, sub = zero, up = zero;
    const auto sumOfMagnitudes = [&](__m128i difference) {
        return _mm_sad_epu8(_mm_min_epu8(difference, _mm_sub_epi8(zero, difference)), zero);
    };
    for (; i + 16 <= size; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - bpp));
        const __m128i over = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i));
        none = _mm_add_epi64(none, sumOfMagnitudes(here));
        sub = _mm_add_epi64(sub, sumOfMagnitudes(_mm_sub_epi8(here, left)));
        up = _mm_add_epi64(up, sumOfMagnitudes(_mm_sub_epi8(here, over)));
    }
    const auto total = [](__m128i sums) {
        std::array<std::uint64_t, 2> halves{};
        _mm_storeu_si128(reinterpret_cast<__m128i*>(halves.data()), sums);
        return halves[0] + halves[1];
    };
    costs[None] += total(none);
    costs[Sub] += total(sub);
    costs[Up] += total(up);
#endif
    addCosts(row, above, i, size, bpp, costs);
    return costs;
}

template <Filter filter>
void applyFilter(const std::uint8_t* row, const std::uint8_t* above, std::size_t size, std::size_t bpp,
                 std::uint8_t* out)
{
    const std::size_t first = std::min(bpp, size);
    for (std::size_t i = 0; i < first; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - predict<filter>(0, above[i]));
    for (std::size_t i = first; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - predict<filter>(row[i - bpp], above[i]));
}

#ifdef KELVORA_X86
// Sub undone on RGB bytes [3, ...) four pixels a step, as far as 16 bytes can be read; the
// index it stopped at. A byte at a time each waits for the one three before it; here each
// step sums its four pixels in two shifted adds and adds the last pixel of the step before,
// so only that one add waits.
[[gnu::target("ssse3")]] std::size_t subUndoneByShuffle(std::uint8_t* row, std::size_t size)
{
    const __m128i lastPixel = _mm_setr_epi8(9, 10, 11, 9, 10, 11, 9, 10, 11, 9, 10, 11, 9, 10, 11, 9);
    // The first pixel, which has no left neighbour, is the carry into the first step.
    __m128i carry = _mm_shuffle_epi8(_mm_cvtsi32_si128(static_cast<int>(row[0] | row[1] << 8 | row[2] << 16)),
                                     _mm_setr_epi8(0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0));
    std::size_t i = 3;
    for (; i + 16 <= size; i += 12) {
        __m128i sums = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        sums = _mm_add_epi8(sums, _mm_slli_si128(sums, 3));
        sums = _mm_add_epi8(sums, _mm_slli_si128(sums, 6));
        const __m128i pixels = _mm_add_epi8(sums, carry);
        // Twelve bytes written: the last four of the load are the next step's, still filtered.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row + i), pixels);
        const auto tail = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(pixels, 8)));
        std::memcpy(row + i + 8, &tail, 4);
        carry = _mm_shuffle_epi8(pixels, lastPixel);
    }
    return i;
}
#endif

// The filter undone in place: `row` holds the filtered bytes and receives the pixels.
template <Filter filter>
void undoFilter(std::uint8_t* row, const std::uint8_t* above, std::size_t size, std::size_t bpp)
{
    const std::size_t first = std::min(bpp, size);
    for (std::size_t i = 0; i < first; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + predict<filter>(0, above[i]));
    std::size_t i = first;
#ifdef KELVORA_X86
    if (filter == Sub && bpp == 3 && size >= 3 && hasSsse3())
        i = subUndoneByShuffle(row, size);
#endif
    for (; i < size; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + predict<filter>(row[i - bpp], above[i]));
}

// The heuristic's cost, the sum of absolute values, misjudges grain: on a noisy picture
// unfiltered rows spread least (a filter adds the noise of two pixels) though far from zero,
// and deflate's Huffman codes care only for the spread. So grainy rows are priced by what
// their bytes cost under the statistics of the grainy rows before them, decaying as deflate's
// blocks move on.
class GrainModel {
public:
    void reset() { m_weights.fill(1.0f); }
    // The bits each byte value costs now, in sixteenths.
    void prices(std::array<std::uint16_t, 256>& out) const
    {
        float total = 0;
        for (const float w : m_weights)
            total += w;
        // A value unseen for thousands of rows decays towards 0: its price is held at 40 bits.
        for (std::size_t b = 0; b < out.size(); ++b)
            out[b] = static_cast<std::uint16_t>(16.0f * std::log2(total / std::max(m_weights[b], total * 1e-12f)));
    }
    void add(const std::uint8_t* bytes, std::size_t size)
    {
        std::array<std::uint32_t, 256> counts{};
        for (std::size_t i = 0; i < size; ++i)
            ++counts[bytes[i]];
        for (std::size_t b = 0; b < counts.size(); ++b)
            m_weights[b] = m_weights[b] * kDecay + static_cast<float>(counts[b]);
    }

private:
    static constexpr float kDecay = 0.98f;  // about the last 50 grainy rows count
    std::array<float, 256> m_weights{};
};

std::uint64_t priceOf(const std::uint8_t* bytes, std::size_t size, const std::array<std::uint16_t, 256>& prices)
{
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < size; ++i)
        total += prices[bytes[i]];
    return total;
}

struct FilterOps {
    void (*apply)(const std::uint8_t*, const std::uint8_t*, std::size_t, std::size_t, std::uint8_t*);
    void (*undo)(std::uint8_t*, const std::uint8_t*, std::size_t, std::size_t);
};
template <Filter filter> constexpr FilterOps opsOf() { return {applyFilter<filter>, undoFilter<filter>}; }
constexpr std::array<FilterOps, kFilterCount> kFilters = {opsOf<None>(), opsOf<Sub>(), opsOf<Up>()};

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

// The writer's header of a picture: width, height, 8 bits a sample, RGB or palette, no interlace.
std::vector<std::uint8_t> headerOf(const PngPicture& picture)
{
    std::vector<std::uint8_t> header;
    putU32(header, static_cast<std::uint32_t>(picture.width));
    putU32(header, static_cast<std::uint32_t>(picture.rows));
    header.push_back(8);                                            // Bit depth
    header.push_back(picture.layout == PixelLayout::Pal8 ? 3 : 2);  // Colour type: palette or RGB
    header.insert(header.end(), {0, 0, 0});                         // Compression, filter, interlace
    return header;
}

std::vector<std::uint8_t> paletteChunkOf(const CodecPalette& palette)
{
    std::vector<std::uint8_t> plte;
    plte.reserve(256 * 3);
    for (const std::uint32_t argb : palette) {
        plte.push_back(static_cast<std::uint8_t>(argb >> 16));
        plte.push_back(static_cast<std::uint8_t>(argb >> 8));
        plte.push_back(static_cast<std::uint8_t>(argb));
    }
    return plte;
}

std::uint32_t readU32(const std::uint8_t* at)
{
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}

bool validPicture(const PngPicture& picture)
{
    return picture.layout != PixelLayout::Bgr0 && (picture.layout != PixelLayout::Pal8 || picture.palette) &&
           picture.width > 0 && picture.rows > 0 && picture.width <= kMostSide && picture.rows <= kMostSide;
}

PngMismatch unreadable(std::string reason) { return {PngMismatch::Kind::Unreadable, std::move(reason), 0, 0}; }

// The first `size` bytes of `block`, which grows to hold them (frames of a stream share one
// size, so it grows once); empty when the memory cannot be had.
std::span<std::uint8_t> roomIn(platform::LargeBlock& block, std::size_t size)
{
    if (block.size() < size)
        block = platform::LargeBlock::allocate(size);
    return block.size() < size ? std::span<std::uint8_t>{} : block.bytes().first(size);
}

}  // namespace

struct PngWriter::Deflate {
    libdeflate_compressor* grainy = libdeflate_alloc_compressor(kGrainLevel);
    libdeflate_compressor* smooth = libdeflate_alloc_compressor(kSmoothLevel);
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    GrainModel grain;
    ~Deflate()
    {
        libdeflate_free_compressor(grainy);
        libdeflate_free_compressor(smooth);
        libdeflate_free_decompressor(decompressor);
    }
};

PngWriter::PngWriter() : m_deflate(std::make_unique<Deflate>()) {}
PngWriter::~PngWriter() = default;

bool PngWriter::write(const PngPicture& picture, std::vector<std::uint8_t>& png)
{
    if (!m_deflate->grainy || !m_deflate->smooth || !validPicture(picture))
        return false;
    const bool palette = picture.layout == PixelLayout::Pal8;
    const std::size_t bpp = palette ? 1 : 3;
    const std::size_t rowBytes = picture.width * bpp;
    const std::span<std::uint8_t> filtered = roomIn(m_filtered, picture.rows * (rowBytes + 1));
    if (filtered.empty())
        return false;
    m_zeros.resize(rowBytes);
    m_deflate->grain.reset();
    m_grainRows = 0;
    m_rowsFiltered = 0;
    for (std::size_t r = 0; r < picture.rows; ++r) {
        if (picture.makeRow)
            picture.makeRow(r);
        const std::uint8_t* row = picture.pixels.data() + r * picture.stride;
        const std::uint8_t* above = r == 0 ? m_zeros.data() : row - picture.stride;
        std::uint8_t* out = filtered.data() + r * (rowBytes + 1);
        if (palette) {
            out[0] = None;
            std::memcpy(out + 1, row, rowBytes);
        } else {
            out[0] = filterRow(row, above, rowBytes, out + 1);
        }
    }

    png.assign(kSignature.begin(), kSignature.end());
    putChunk(png, "IHDR", headerOf(picture));
    if (palette)
        putChunk(png, "PLTE", paletteChunkOf(*picture.palette));
    libdeflate_compressor* compressor =
        palette || 2 * m_grainRows > picture.rows ? m_deflate->grainy : m_deflate->smooth;
    // The worst case is the picture's size and more, but the output fills a small part, and
    // fresh pages never written are never faulted in.
    const std::span<std::uint8_t> deflated =
        roomIn(m_deflated, libdeflate_zlib_compress_bound(compressor, filtered.size()));
    if (deflated.empty())
        return false;
    const std::size_t size =
        libdeflate_zlib_compress(compressor, filtered.data(), filtered.size(), deflated.data(), deflated.size());
    if (size == 0)
        return false;
    for (std::size_t at = 0; at < size; at += kMostIdatBytes)
        putChunk(png, "IDAT", deflated.subspan(at, std::min(kMostIdatBytes, size - at)));
    putChunk(png, "IEND", {});
    return true;
}

std::uint8_t PngWriter::filterRow(const std::uint8_t* row, const std::uint8_t* above, std::size_t size,
                                  std::uint8_t* out)
{
    constexpr std::size_t bpp = 3;
    const FilterCosts costs = costsOf(row, above, size, bpp);
    auto chosen = static_cast<std::uint8_t>(std::min_element(costs.begin(), costs.end()) - costs.begin());
    ++m_rowsFiltered;
    if (costs[chosen] < kGrainPerByte * size) {
        kFilters[chosen].apply(row, above, size, bpp, out);
        return chosen;
    }
    ++m_grainRows;
    // The grain model only for frames that are mostly grain so far: in a smooth frame the
    // rows it judges grain are edges and patterns, and pricing them cost 8 % of a synthetic
    // full-HD save's CPU time, and leaving them to the sum of absolute values moved sizes by
    // under 1 % (full HD 0.1 % larger, 720p and 4K 0.8 % smaller). Photo-like frames are
    // grain from their first row, and are written as before.
    if (2 * m_grainRows <= m_rowsFiltered) {
        kFilters[chosen].apply(row, above, size, bpp, out);
        return chosen;
    }
    std::array<std::uint16_t, 256> prices{};
    m_deflate->grain.prices(prices);
    m_candidates.resize(kFilterCount * size);
    std::uint64_t best = UINT64_MAX;
    for (std::uint8_t filter = 0; filter < kFilterCount; ++filter) {
        std::uint8_t* candidate = m_candidates.data() + filter * size;
        kFilters[filter].apply(row, above, size, bpp, candidate);
        if (const std::uint64_t price = priceOf(candidate, size, prices); price < best) {
            best = price;
            chosen = filter;
        }
    }
    std::memcpy(out, m_candidates.data() + chosen * size, size);
    m_deflate->grain.add(out, size);
    return chosen;
}

PngMismatch PngWriter::compare(std::span<const std::uint8_t> png, const PngPicture& picture)
{
    if (!m_deflate->decompressor)
        return unreadable("memoria insufficiente");
    if (!validPicture(picture))
        return {PngMismatch::Kind::Shape, {}, 0, 0};
    if (png.size() < kSignature.size() || !std::equal(kSignature.begin(), kSignature.end(), png.begin()))
        return unreadable("non è un'immagine PNG");
    // The chunks, each checked against its CRC; the IDAT data gathered in order.
    std::vector<std::uint8_t> header, plte;
    std::size_t idat = 0;
    bool ended = false;
    std::size_t at = kSignature.size();
    while (!ended) {
        if (png.size() - at < 12)
            return unreadable("immagine troncata");
        const std::size_t length = readU32(png.data() + at);
        if (length > png.size() - at - 12)
            return unreadable("immagine troncata");
        const std::string_view type(reinterpret_cast<const char*>(png.data() + at + 4), 4);
        const std::span<const std::uint8_t> data = png.subspan(at + 8, length);
        if (libdeflate_crc32(0, png.data() + at + 4, 4 + length) != readU32(png.data() + at + 8 + length))
            return unreadable("CRC errato nel blocco " + std::string(type));
        if (type == "IHDR")
            header.assign(data.begin(), data.end());
        else if (type == "PLTE")
            plte.assign(data.begin(), data.end());
        else if (type == "IDAT") {
            if (m_idat.size() < idat + length)
                m_idat.resize(idat + length);
            std::copy(data.begin(), data.end(), m_idat.begin() + static_cast<std::ptrdiff_t>(idat));
            idat += length;
        } else if (type == "IEND")
            ended = true;
        else
            return unreadable("blocco sconosciuto " + std::string(type));
        at += 12 + length;
    }
    if (at != png.size())
        return unreadable("dati dopo la fine dell'immagine");
    const bool palette = picture.layout == PixelLayout::Pal8;
    if (header != headerOf(picture))
        return {PngMismatch::Kind::Shape, {}, 0, 0};
    if (palette && plte != paletteChunkOf(*picture.palette))
        return {PngMismatch::Kind::Palette, {}, 0, 0};

    // Inflated to exactly the filtered rows' size, the stream's checksum checked.
    const std::size_t bpp = palette ? 1 : 3;
    const std::size_t rowBytes = picture.width * bpp;
    const std::span<std::uint8_t> filtered = roomIn(m_filtered, picture.rows * (rowBytes + 1));
    if (filtered.empty())
        return unreadable("memoria insufficiente");
    std::size_t inflated = 0;
    if (libdeflate_zlib_decompress(m_deflate->decompressor, m_idat.data(), idat, filtered.data(), filtered.size(),
                                   &inflated) != LIBDEFLATE_SUCCESS ||
        inflated != filtered.size())
        return unreadable("dati compressi non validi");
    m_zeros.resize(rowBytes);
    for (std::size_t r = 0; r < picture.rows; ++r) {
        std::uint8_t* row = filtered.data() + r * (rowBytes + 1);
        const std::uint8_t* above = r == 0 ? m_zeros.data() : row - rowBytes;
        if (row[0] >= kFilterCount)
            return unreadable("filtro di riga sconosciuto");
        kFilters[row[0]].undo(row + 1, above, rowBytes, bpp);
        const std::uint8_t* want = picture.pixels.data() + r * picture.stride;
        if (std::memcmp(row + 1, want, rowBytes) != 0) {
            const auto differs = std::mismatch(want, want + rowBytes, row + 1);
            return {PngMismatch::Kind::Pixels, {}, static_cast<std::size_t>(differs.first - want) / bpp, r};
        }
    }
    return {};
}

}  // namespace kelvora::codec

#include "bitmap/FramePlan.h"

#include "bitmap/FrameValidity.h"
#include "platform/binary/ByteReader.h"
#include "platform/binary/ByteWriter.h"

#include <algorithm>
#include <array>
#include <limits>

namespace kelvora::bitmap {
namespace {

using binary::BI_BITFIELDS;
using binary::BI_RGB;
using binary::BI_RLE4;
using binary::BI_RLE8;
using binary::kCoreHeaderSize;
using binary::kInfoHeaderSize;

// The OS/2 2.x header: the same first 40 bytes, but its compression 3 and 4 are Huffman and
// 24-bit RLE, which no player decodes.
constexpr std::int32_t kOs2V2HeaderSize = 64;

struct Masks {
    std::uint32_t red = 0;
    std::uint32_t green = 0;
    std::uint32_t blue = 0;
    bool operator==(const Masks&) const = default;
};
constexpr Masks kMasks565{0xF800, 0x07E0, 0x001F};
constexpr Masks kMasks555{0x7C00, 0x03E0, 0x001F};
constexpr Masks kMasks888{0x00FF0000, 0x0000FF00, 0x000000FF};

// What the checks need of one loaded bitmap.
struct Frame {
    std::int32_t width;
    std::int32_t height;
    std::int32_t bitCount;
    std::int32_t compression;
    std::int32_t headerSize;
    std::int64_t rows;  // the height as a row count
    std::span<const std::uint8_t> info;
    std::span<const std::uint8_t> bits;  // empty after a headers-only load of uncompressed pixels
    std::size_t bitsSize;
    std::size_t storedBits;
    const cDIB& dib;
};

FramePlan refused(std::string reason)
{
    FramePlan plan;
    plan.reason = std::move(reason);
    return plan;
}

std::string hex(std::uint32_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return text;
}

// The bit-field masks follow the first 40 bytes of the header whatever its size.
Masks masksOf(std::span<const std::uint8_t> info)
{
    binary::ByteReader in(info.subspan(std::min(info.size(), kInfoHeaderSize)));
    Masks masks;
    masks.red = in.u32();
    masks.green = in.u32();
    masks.blue = in.u32();
    return masks;
}

// The header's unsigned fields (depth, planes, sizes, codes) as the format means them.
std::string unsignedText(std::uint32_t value) { return std::to_string(value); }

// A JPEG or PNG picture stored whole inside the bitmap: its depth field says nothing (often
// 0), so the compression is the reason. In the OS/2 2.x header the same code means 24-bit RLE.
std::string embeddedPictureRefusal(const Frame& f)
{
    constexpr std::int32_t kJpeg = 4;
    constexpr std::int32_t kPng = 5;
    if ((f.compression != kJpeg && f.compression != kPng) || f.headerSize == kOs2V2HeaderSize ||
        static_cast<std::uint32_t>(f.headerSize) < kInfoHeaderSize)
        return {};
    return std::string("immagine ") + (f.compression == kJpeg ? "JPEG" : "PNG") +
           " dentro il file bitmap: i lettori video non la leggono";
}

// Why the header, depth and size cannot make a frame; empty when they can.
std::string headerRefusal(const Frame& f)
{
    constexpr std::array kDepths{1, 4, 8, 16, 24, 32};
    if (std::find(kDepths.begin(), kDepths.end(), f.bitCount) == kDepths.end())
        return "profondità di colore di " + unsignedText(static_cast<std::uint16_t>(f.bitCount)) +
               " bit: i lettori video usano 1, 4, 8, 16, 24 o 32 bit";
    if (f.dib.Planes() != 1)
        return unsignedText(static_cast<std::uint16_t>(f.dib.Planes())) +
               " piani di colore: i lettori video ne leggono uno solo";
    const bool os2 = f.headerSize == static_cast<std::int32_t>(kCoreHeaderSize);
    if (!os2 && (static_cast<std::uint32_t>(f.headerSize) < kInfoHeaderSize ||
                 static_cast<std::uint32_t>(f.headerSize) > f.info.size()))
        return "intestazione di " + unsignedText(static_cast<std::uint32_t>(f.headerSize)) +
               " byte di un tipo sconosciuto";
    if (os2 && f.bitCount == 16)
        return "profondità di 16 bit in un'intestazione OS/2";
    if (f.height == std::numeric_limits<std::int32_t>::min() || !sizeIsDecodable(f.width, f.rows))
        return "dimensioni di " + std::to_string(f.width) + "×" + std::to_string(f.rows) +
               " pixel che i lettori video non gestiscono";
    if (f.width > kLargestVideoSide || f.rows > kLargestVideoSide)
        return "dimensioni di " + std::to_string(f.width) + "×" + std::to_string(f.rows) +
               " pixel: un video AVI ha al massimo " + std::to_string(kLargestVideoSide) + " pixel per lato";
    return {};
}

// Why the compression cannot make a frame as it is; empty when it can. Bit fields are
// checked with their masks.
std::string compressionRefusal(const Frame& f)
{
    switch (f.compression) {
    case BI_RGB:
        return {};
    case BI_RLE8:
    case BI_RLE4: {
        const int depth = f.compression == BI_RLE8 ? 8 : 4;
        const std::string name = f.compression == BI_RLE8 ? "RLE8" : "RLE4";
        if (f.bitCount != depth)
            return "compressione " + name + " con " + std::to_string(f.bitCount) +
                   " bit per pixel: i lettori video la leggono solo con " + std::to_string(depth) + " bit";
        if (f.height < 0)
            return "compressione " + name +
                   " con le righe dall'alto in basso: i lettori video la leggono solo dal basso in alto";
        if (!(f.compression == BI_RLE8 ? isSoundRle8(f.bits, f.width, f.height)
                                       : isSoundRle4(f.bits, f.width, f.height)))
            return "dati compressi RLE che escono dall'immagine o non finiscono come devono";
        return {};
    }
    case BI_BITFIELDS:
        if (f.headerSize != kOs2V2HeaderSize && (f.bitCount == 16 || f.bitCount == 32))
            return {};
        break;
    default:
        break;
    }
    return "compressione di tipo " + unsignedText(static_cast<std::uint32_t>(f.compression)) +
           " che i lettori video non leggono";
}

// The colour table the file gives, as 4-byte entries for every possible index.
std::vector<std::uint8_t> paletteOf(const Frame& f)
{
    const std::size_t full = std::size_t{1} << f.bitCount;
    const bool os2 = f.headerSize == static_cast<std::int32_t>(kCoreHeaderSize);
    const std::size_t entrySize = os2 ? 3 : 4;
    const auto start = static_cast<std::size_t>(f.headerSize);
    const std::size_t present = f.info.size() > start ? (f.info.size() - start) / entrySize : 0;
    std::size_t count = std::min(full, present);
    if (!os2 && f.dib.ClrUsed() > 0)
        count = std::min(count, static_cast<std::size_t>(f.dib.ClrUsed()));
    std::vector<std::uint8_t> palette(4 * full, 0);
    const std::uint8_t* from = f.info.data() + start;
    for (std::size_t i = 0; i < count; ++i, from += entrySize) {
        palette[4 * i] = from[0];
        palette[4 * i + 1] = from[1];
        palette[4 * i + 2] = from[2];
    }
    return palette;
}

// The 40-byte header with the frame's meaning and, up to 8 bits, the full colour table.
std::vector<std::uint8_t> standardFormat(const Frame& f, std::int32_t compression,
                                         std::span<const std::uint8_t> palette)
{
    binary::BITMAPINFOHEADER header;
    header.biSize = static_cast<std::int32_t>(kInfoHeaderSize);
    header.biWidth = f.width;
    header.biHeight = f.height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::int16_t>(f.bitCount);
    header.biCompression = compression;
    header.biSizeImage = compression == BI_RGB
                             ? static_cast<std::int32_t>(binary::rowStride(f.width, f.bitCount) * f.rows)
                             : f.dib.SizeImage();
    header.biXPelsPerMeter = f.dib.XPPM();
    header.biYPelsPerMeter = f.dib.YPPM();
    header.biClrUsed = static_cast<std::int32_t>(palette.size() / 4);
    // Bit fields (16-bit 5-6-5) keep their three masks after the header, where players read them.
    const std::size_t masks = compression == BI_BITFIELDS ? 12 : 0;
    std::vector<std::uint8_t> format(kInfoHeaderSize + masks + palette.size());
    binary::writeInfoHeader(header, std::span(format).first<kInfoHeaderSize>());
    if (masks > 0)
        std::copy_n(f.info.begin() + static_cast<std::ptrdiff_t>(kInfoHeaderSize), masks,
                    format.begin() + static_cast<std::ptrdiff_t>(kInfoHeaderSize));
    std::copy(palette.begin(), palette.end(), format.begin() + static_cast<std::ptrdiff_t>(kInfoHeaderSize + masks));
    return format;
}

// Bit fields that mean a plain layout are written as BI_RGB; 16-bit 5-6-5 ones stay bit
// fields, which players decode; any other masks would need the pixels converted.
std::optional<std::int32_t> writtenCompression(const Frame& f, std::string& reason)
{
    if (f.compression != BI_BITFIELDS)
        return f.compression;
    const Masks masks = masksOf(f.info);
    if (f.bitCount == 16 && masks == kMasks565 && f.info.size() >= kInfoHeaderSize + 12)
        return BI_BITFIELDS;
    if ((f.bitCount == 16 && masks == kMasks555) || (f.bitCount == 32 && masks == kMasks888))
        return BI_RGB;
    reason = "maschere di colore insolite (rosso " + hex(masks.red) + ", verde " + hex(masks.green) + ", blu " +
             hex(masks.blue) + "): i lettori video le mostrerebbero solo convertendo i pixel";
    return std::nullopt;
}

}  // namespace

bool sizeIsDecodable(std::int64_t bufferWidth, std::int64_t rows)
{
    constexpr std::int64_t kLargestArea = std::numeric_limits<std::int32_t>::max() / 8;
    return bufferWidth > 0 && rows > 0 && (bufferWidth + 128) * (rows + 128) <= kLargestArea;
}

FramePlan planFrame(const cDIB& dib)
{
    const std::int32_t height = dib.Height();
    const Frame f{dib.Width(),
                  height,
                  dib.BitCount(),
                  dib.Compression(),
                  dib.SizeInfoHeader(),
                  height < 0 ? -std::int64_t{height} : height,
                  {dib.PointerToBitmapInfo(), static_cast<std::size_t>(dib.SizeBitmapInfo())},
                  dib.bits(),
                  static_cast<std::size_t>(dib.SizeImage()),
                  dib.storedBits(),
                  dib};
    if (std::string why = embeddedPictureRefusal(f); !why.empty())
        return refused(std::move(why));
    if (std::string why = headerRefusal(f); !why.empty())
        return refused(std::move(why));
    const bool rle = f.compression == BI_RLE8 || f.compression == BI_RLE4;
    const std::int64_t rowBytes = binary::rowStride(f.width, f.bitCount) * f.rows;
    if (!rle && static_cast<std::int64_t>(f.bitsSize) < rowBytes)
        return refused("il blocco dei pixel è più corto delle righe dell'immagine");
    // A file cut short (a copy still running) would show its missing rows as black.
    if (static_cast<std::int64_t>(f.storedBits) < (rle ? static_cast<std::int64_t>(f.bitsSize) : rowBytes)) {
        FramePlan plan;
        plan.form = FramePlan::Form::Incomplete;
        plan.reason = "il file finisce prima delle sue righe di pixel";
        return plan;
    }
    if (std::string why = compressionRefusal(f); !why.empty())
        return refused(std::move(why));
    std::string reason;
    const std::optional<std::int32_t> compression = writtenCompression(f, reason);
    if (!compression)
        return refused(std::move(reason));

    FramePlan plan;
    plan.shape = StreamShape{f.width, f.height, f.bitCount, *compression};
    if (f.bitCount <= 8) {
        // Players take the table from the end of the format block and some need all its
        // entries, so only a 40-byte header followed by a full table is written as stored.
        const std::size_t fullTable = std::size_t{4} << f.bitCount;
        const bool plain =
            f.headerSize == static_cast<std::int32_t>(kInfoHeaderSize) && f.info.size() == kInfoHeaderSize + fullTable;
        if (plain)
            plan.palette.assign(f.info.begin() + kInfoHeaderSize, f.info.end());
        else
            plan.palette = paletteOf(f);
        plan.form = plain ? FramePlan::Form::AsStored : FramePlan::Form::StandardHeader;
        plan.format = plain ? std::vector<std::uint8_t>(f.info.begin(), f.info.end())
                            : standardFormat(f, *compression, plan.palette);
        return plan;
    }
    // A block larger than a stream's format may be (a gap before the pixels) gives its header alone.
    const bool plain = *compression == f.compression && f.headerSize != static_cast<std::int32_t>(kCoreHeaderSize) &&
                       f.info.size() <= kLargestFormatBlock;
    plan.form = plain ? FramePlan::Form::AsStored : FramePlan::Form::StandardHeader;
    plan.format = plain ? std::vector<std::uint8_t>(f.info.begin(), f.info.end()) : standardFormat(f, *compression, {});
    return plan;
}

std::vector<std::uint8_t> formatWithPalette(std::span<const std::uint8_t> format, std::span<const std::uint8_t> palette)
{
    std::vector<std::uint8_t> changed(format.begin(), format.end());
    if (palette.size() <= changed.size())
        std::copy(palette.begin(), palette.end(), changed.end() - static_cast<std::ptrdiff_t>(palette.size()));
    return changed;
}

}  // namespace kelvora::bitmap

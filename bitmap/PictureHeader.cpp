#include "bitmap/PictureHeader.h"

#include "bitmap/ExifOrientation.h"
#include "bitmap/FramePlan.h"
#include "platform/binary/BitmapRecords.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <numeric>
#include <span>
#include <vector>

namespace kelvora::bitmap {

namespace {

// The first read covers a PNG's leading chunks and a JPEG's tables where no camera data
// comes first; the rest is read in pieces of the same size where it is needed.
constexpr std::int64_t kFirstRead = 4096;
// A JPEG's end marker may be followed by a little padding.
constexpr std::int64_t kJpegTail = 256;
// Beyond 64 MiB of picture (at four bytes a pixel), a byte of file may stand for at most
// 65,536 bytes of picture: far beyond what deflate or JPEG achieve on any real picture.
constexpr std::int64_t kPictureBytesAnyFile = std::int64_t{64} << 20;
constexpr std::int64_t kPictureBytesPerFileByte = 65536;
// Segments or chunks before the picture's data: real files have a few dozen.
constexpr int kMostSegments = 65536;

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::array<std::uint8_t, 12> kPngEnd = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
constexpr std::int64_t kPngIhdrEnd = 33;  // signature, IHDR's length and type, 13 bytes, CRC

std::uint32_t be16(const std::uint8_t* p) { return std::uint32_t{p[0]} << 8 | p[1]; }
std::uint32_t be32(const std::uint8_t* p) { return be16(p) << 16 | be16(p + 2); }

std::uint32_t crc32(std::span<const std::uint8_t> bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The file read at chosen places: the first piece once, then a piece wherever a read falls
// outside what is held (the segments after a camera's data come in one read, not one each).
class HeaderSource {
public:
    HeaderSource(platform::File& file, std::int64_t length) : m_file(file), m_length(length) {}

    [[nodiscard]] std::int64_t length() const { return m_length; }
    [[nodiscard]] std::int64_t bytesRead() const { return m_bytesRead; }
    [[nodiscard]] int error() const { return m_error; }

    // Fills `out` from `offset`: Complete, Short where the file ends first (or has shrunk),
    // Failed on a read error.
    [[nodiscard]] platform::ReadOutcome read(std::span<std::uint8_t> out, std::int64_t offset)
    {
        const auto size = static_cast<std::int64_t>(out.size());
        if (offset < 0 || offset > m_length || size > m_length - offset)
            return platform::ReadOutcome::Short;
        for (const Piece* piece : {&m_first, &m_later})
            if (piece->holds(offset, size)) {
                std::copy_n(piece->bytes.begin() + (offset - piece->at), out.size(), out.begin());
                return platform::ReadOutcome::Complete;
            }
        Piece& piece = m_first.bytes.empty() && offset == 0 ? m_first : m_later;
        if (size > kPiece) {
            m_bytesRead += size;
            return outcomeOf(m_file.readExactlyAt(out, offset));
        }
        piece.at = offset;
        piece.bytes.resize(static_cast<std::size_t>(std::min(kPiece, m_length - offset)));
        m_bytesRead += static_cast<std::int64_t>(piece.bytes.size());
        const auto got = m_file.readAt(piece.bytes, offset);
        if (!got) {
            piece.bytes.clear();
            return outcomeOf(platform::ReadOutcome::Failed);
        }
        piece.bytes.resize(*got);  // a file that shrank: the read comes out short
        if (!piece.holds(offset, size))
            return platform::ReadOutcome::Short;
        std::copy_n(piece.bytes.begin(), out.size(), out.begin());
        return platform::ReadOutcome::Complete;
    }

private:
    static constexpr std::int64_t kPiece = kFirstRead;

    struct Piece {
        std::int64_t at = 0;
        std::vector<std::uint8_t> bytes;
        [[nodiscard]] bool holds(std::int64_t offset, std::int64_t size) const
        {
            return offset >= at && offset + size <= at + static_cast<std::int64_t>(bytes.size());
        }
    };

    platform::ReadOutcome outcomeOf(platform::ReadOutcome outcome)
    {
        if (outcome == platform::ReadOutcome::Failed)
            m_error = errno;
        return outcome;
    }

    platform::File& m_file;
    std::int64_t m_length;
    std::int64_t m_bytesRead = 0;
    int m_error = 0;
    Piece m_first;  // from the file's start
    Piece m_later;  // the last piece read elsewhere
};

PictureHeader ending(PictureHeader header, PictureHeader::Outcome outcome, std::string reason)
{
    header.outcome = outcome;
    header.reason = std::move(reason);
    return header;
}

PictureHeader refused(PictureHeader header, std::string reason)
{
    return ending(std::move(header), PictureHeader::Outcome::Refused, std::move(reason));
}

PictureHeader incomplete(PictureHeader header, std::string reason)
{
    return ending(std::move(header), PictureHeader::Outcome::Incomplete, std::move(reason));
}

// What a read that did not complete makes of the header.
PictureHeader unread(PictureHeader header, platform::ReadOutcome outcome, const HeaderSource& source,
                     std::string whatEndsEarly)
{
    if (outcome == platform::ReadOutcome::Failed) {
        header.error = source.error();
        return ending(std::move(header), PictureHeader::Outcome::ReadError, std::strerror(source.error()));
    }
    return incomplete(std::move(header), std::move(whatEndsEarly));
}

// Why pictures of width x height cannot come from a file of fileLength bytes; empty when they can.
std::string sizeRefusal(std::int64_t width, std::int64_t height, std::int64_t fileLength)
{
    const std::string size = std::to_string(width) + "×" + std::to_string(height) + " pixel";
    if (width <= 0 || height <= 0)
        return "dimensioni di " + size + ", che non sono un'immagine";
    if (width > kLargestVideoSide || height > kLargestVideoSide)
        return "dimensioni di " + size + ": un video AVI ha al massimo " + std::to_string(kLargestVideoSide) +
               " pixel per lato";
    const std::int64_t bytes = width * height * 4;
    if (bytes > kPictureBytesAnyFile && bytes / kPictureBytesPerFileByte > fileLength)
        return "dimensioni di " + size + ", troppo grandi per un file di " + std::to_string(fileLength) + " byte";
    // A frame no player can show is no frame. libavcodec's bound is the tighter of the two
    // our readers know: the check (verify/PictureLimits) decodes up to 1 GiB at 4 bytes a pixel.
    if (!sizeIsDecodable(pictureBufferWidth(width), height))
        return "dimensioni di " + size +
               ", troppo grandi perché ffmpeg e i lettori video le decodifichino (al massimo circa 268 milioni di "
               "pixel compreso un margine: 16256×16255, 32767×8032)";
    return {};
}

bool validPngDepth(std::uint8_t colour, std::uint8_t depth)
{
    switch (colour) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

bool isChunkType(const std::uint8_t* type)
{
    return std::all_of(type, type + 4, [](std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

// The chunks between IHDR and the first IDAT: an animation control (APNG) and the palette.
PictureHeader walkPngChunks(PictureHeader header, HeaderSource& source)
{
    bool palette = false;
    bool srgb = false;
    bool gamma = false;
    std::int64_t at = kPngIhdrEnd;
    for (int chunks = 0;; ++chunks) {
        std::array<std::uint8_t, 8> head{};
        if (const auto got = source.read(head, at); got != platform::ReadOutcome::Complete)
            return unread(std::move(header), got, source, "il file finisce prima dei dati dell'immagine");
        const std::uint32_t length = be32(head.data());
        const std::uint8_t* type = head.data() + 4;
        if (length > 0x7FFFFFFFu || !isChunkType(type) || chunks == kMostSegments)
            return refused(std::move(header), "blocco PNG non valido all'offset " + std::to_string(at));
        if (static_cast<std::int64_t>(length) + 12 > source.length() - at)
            return incomplete(std::move(header), "il file finisce dentro un blocco PNG");
        if (std::memcmp(type, "IDAT", 4) == 0)
            break;
        if (std::memcmp(type, "IEND", 4) == 0)
            return refused(std::move(header), "l'immagine PNG non ha dati (IDAT)");
        if (std::memcmp(type, "acTL", 4) == 0)
            header.png.animated = true;
        if (std::memcmp(type, "PLTE", 4) == 0)
            palette = true;
        if (std::memcmp(type, "tRNS", 4) == 0)
            header.png.transparentKey = true;
        header.profiled = header.profiled || std::memcmp(type, "iCCP", 4) == 0;
        srgb = srgb || std::memcmp(type, "sRGB", 4) == 0;
        if (std::memcmp(type, "gAMA", 4) == 0 && length != 4) {
            gamma = true;  // a gamma of no sense: not plain sRGB either
        } else if (std::memcmp(type, "gAMA", 4) == 0) {
            // 1/2.2 (ImageMagick, GIMP and libpng write 45455 beside sRGB's own chromaticities)
            // is how most tools say plain sRGB; other gammas are other colours.
            std::array<std::uint8_t, 4> value{};
            if (const auto got = source.read(value, at + 8); got != platform::ReadOutcome::Complete)
                return unread(std::move(header), got, source, "il file finisce dentro un blocco PNG");
            const std::uint32_t g = be32(value.data());
            gamma = gamma || g < 45000 || g > 46000;
        }
        at += 12 + static_cast<std::int64_t>(length);
    }
    header.profiled = header.profiled || (gamma && !srgb);
    if (header.png.colour == PngColour::Palette && !palette)
        return refused(std::move(header), "immagine PNG a tavolozza senza tavolozza (PLTE)");
    std::array<std::uint8_t, kPngEnd.size()> tail{};
    if (const auto got = source.read(tail, source.length() - static_cast<std::int64_t>(tail.size()));
        got != platform::ReadOutcome::Complete || tail != kPngEnd)
        return unread(std::move(header), got == platform::ReadOutcome::Failed ? got : platform::ReadOutcome::Short,
                      source, "il file finisce prima del blocco finale IEND");
    header.outcome = PictureHeader::Outcome::Read;
    return header;
}

PictureHeader readPng(PictureHeader header, HeaderSource& source)
{
    std::array<std::uint8_t, kPngIhdrEnd> start{};
    if (const auto got = source.read(start, 0); got != platform::ReadOutcome::Complete)
        return unread(std::move(header), got, source, "il file finisce dentro l'intestazione PNG");
    if (be32(start.data() + 8) != 13 || std::memcmp(start.data() + 12, "IHDR", 4) != 0)
        return refused(std::move(header), "l'immagine PNG non comincia con l'intestazione IHDR");
    if (crc32(std::span(start).subspan(12, 17)) != be32(start.data() + 29))
        return refused(std::move(header), "l'intestazione PNG (IHDR) è danneggiata: il suo CRC non torna");
    const std::uint32_t width = be32(start.data() + 16);
    const std::uint32_t height = be32(start.data() + 20);
    const std::uint8_t depth = start[24];
    const std::uint8_t colour = start[25];
    if (!validPngDepth(colour, depth))
        return refused(std::move(header), "tipo di colore PNG " + std::to_string(colour) + " con " +
                                              std::to_string(depth) + " bit, che non esiste");
    if (start[26] != 0 || start[27] != 0 || start[28] > 1)
        return refused(std::move(header), "metodo di compressione, filtro o interlacciamento PNG sconosciuto");
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        return refused(std::move(header), "dimensioni PNG oltre il massimo del formato");
    if (auto why = sizeRefusal(width, height, source.length()); !why.empty())
        return refused(std::move(header), std::move(why));
    header.width = static_cast<std::int32_t>(width);
    header.height = static_cast<std::int32_t>(height);
    header.png.colour = static_cast<PngColour>(colour);
    header.png.bitDepth = depth;
    header.png.interlaced = start[28] == 1;
    return walkPngChunks(std::move(header), source);
}

bool isFrameMarker(std::uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The frame header (SOFn) at `payload`: process, precision, sides and components.
PictureHeader readJpegFrame(PictureHeader header, std::uint8_t marker, std::span<const std::uint8_t> payload,
                            std::int64_t fileLength)
{
    const unsigned kind = marker & 0x0Fu;
    JpegFacts& jpeg = header.jpeg;
    jpeg.arithmetic = (kind & 8u) != 0;
    jpeg.hierarchical = (kind & 7u) >= 5;
    jpeg.process = kind == 0          ? JpegProcess::Baseline
                   : (kind & 3u) == 1 ? JpegProcess::Extended
                   : (kind & 3u) == 2 ? JpegProcess::Progressive
                                      : JpegProcess::Lossless;
    if (payload.size() < 6 || payload[5] < 1 || payload[5] > 4 || payload.size() != 6 + 3 * std::size_t{payload[5]})
        return refused(std::move(header), "intestazione JPEG (SOF) di lunghezza o numero di componenti non valido");
    jpeg.precision = payload[0];
    const std::uint32_t height = be16(payload.data() + 1);
    const std::uint32_t width = be16(payload.data() + 3);
    jpeg.componentCount = payload[5];
    const bool lossless = jpeg.process == JpegProcess::Lossless;
    if ((lossless && (jpeg.precision < 2 || jpeg.precision > 16)) ||
        (!lossless && jpeg.precision != 8 && (jpeg.precision != 12 || jpeg.process == JpegProcess::Baseline)))
        return refused(std::move(header),
                       "precisione JPEG di " + std::to_string(jpeg.precision) + " bit, che il processo non ammette");
    for (std::size_t i = 0; i < jpeg.componentCount; ++i) {
        const std::uint8_t* c = payload.data() + 6 + 3 * i;
        JpegComponent component{c[0], static_cast<std::uint8_t>(c[1] >> 4), static_cast<std::uint8_t>(c[1] & 15)};
        if (component.horizontal < 1 || component.horizontal > 4 || component.vertical < 1 || component.vertical > 4)
            return refused(std::move(header), "fattori di campionamento JPEG non validi");
        for (std::size_t j = 0; j < i; ++j)
            if (jpeg.components[j].id == component.id)
                return refused(std::move(header), "due componenti JPEG con lo stesso numero");
        jpeg.components[i] = component;
    }
    if (height == 0)
        return refused(std::move(header), "altezza JPEG dichiarata solo dopo i dati (DNL), che i lettori non leggono");
    if (auto why = sizeRefusal(width, height, fileLength); !why.empty())
        return refused(std::move(header), std::move(why));
    header.width = static_cast<std::int32_t>(width);
    header.height = static_cast<std::int32_t>(height);
    return header;
}

// The end marker, looked for among the file's last bytes after the first scan's header at
// `scan` (entropy-coded data never holds it). Where it is not there, data follows the picture
// or the file is cut short: only reading the picture through tells which, so that is left to
// the read that takes the picture's bytes (findPictureEnd).
PictureHeader checkJpegEnd(PictureHeader header, HeaderSource& source, std::int64_t scan, bool multiPicture)
{
    const std::int64_t from = std::max(scan, source.length() - kJpegTail);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(source.length() - from));
    if (const auto got = source.read(tail, from); got != platform::ReadOutcome::Complete)
        return unread(std::move(header), got, source, "il file finisce prima della fine dell'immagine JPEG");
    header.jpeg.firstScan = scan;
    // The end counts as found when only padding follows it; a file of several pictures (MPF)
    // may end with another picture's end marker.
    header.jpeg.endInTail = false;
    for (std::size_t i = tail.size(); i >= 2 && !multiPicture; --i) {
        if (tail[i - 2] == 0xFF && tail[i - 1] == 0xD9) {
            header.jpeg.endInTail = true;
            break;
        }
        if (tail[i - 1] != 0x00 && tail[i - 1] != 0xFF)
            break;
    }
    header.outcome = PictureHeader::Outcome::Read;
    return header;
}

// What is read of an EXIF block: its first directory, where Orientation is kept.
constexpr std::size_t kExifReadBytes = 1024;

PictureHeader readJpeg(PictureHeader header, HeaderSource& source)
{
    bool frame = false;
    bool multiPicture = false;  // an APP2 "MPF" segment: more pictures follow this one in the file
    std::int64_t at = 2;
    for (int segments = 0; segments < kMostSegments; ++segments) {
        std::array<std::uint8_t, 4> head{};
        if (const auto got = source.read(head, at); got != platform::ReadOutcome::Complete)
            return unread(std::move(header), got, source, "il file finisce prima dei dati dell'immagine JPEG");
        const std::uint8_t marker = head[1];
        if (head[0] != 0xFF || marker == 0x00 || marker == 0xD8)
            return refused(std::move(header), "segmento JPEG non valido all'offset " + std::to_string(at));
        if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += marker == 0xFF ? 1 : 2;  // a fill byte, or a marker with no length
            continue;
        }
        if (marker == 0xD9)
            return refused(std::move(header), "l'immagine JPEG finisce prima dei suoi dati");
        const std::uint32_t length = be16(head.data() + 2);
        if (length < 2)
            return refused(std::move(header), "segmento JPEG di lunghezza non valida all'offset " + std::to_string(at));
        if (static_cast<std::int64_t>(length) + 2 > source.length() - at)
            return incomplete(std::move(header), "il file finisce dentro un segmento JPEG");
        if (marker == 0xDA) {
            if (!frame)
                return refused(std::move(header), "dati JPEG prima dell'intestazione del fotogramma (SOF)");
            return checkJpegEnd(std::move(header), source, at + 2 + length, multiPicture);
        }
        if (marker == 0xE2 && length >= 6) {
            std::array<std::uint8_t, 12> id{};
            const auto read = std::span(id).first(std::min<std::size_t>(id.size(), length - 2));
            if (const auto got = source.read(read, at + 4); got != platform::ReadOutcome::Complete)
                return unread(std::move(header), got, source, "il file finisce dentro un segmento JPEG");
            multiPicture = multiPicture || std::memcmp(id.data(), "MPF", 4) == 0;
            header.profiled = header.profiled || std::memcmp(id.data(), "ICC_PROFILE", 12) == 0;
        }
        // EXIF's Orientation is in its first directory, a few hundred bytes in.
        if (marker == 0xE1 && length >= 16 && header.jpeg.orientation == 1) {
            std::vector<std::uint8_t> exif(std::min<std::size_t>(length - 2, kExifReadBytes));
            if (const auto got = source.read(exif, at + 4); got != platform::ReadOutcome::Complete)
                return unread(std::move(header), got, source, "il file finisce dentro un segmento JPEG");
            if (std::memcmp(exif.data(), "Exif\0\0", 6) == 0)
                header.jpeg.orientation = exifOrientationValue(std::span(exif).subspan(6));
        }
        if (isFrameMarker(marker) || (marker == 0xEE && length >= 14)) {
            std::vector<std::uint8_t> payload(std::min<std::size_t>(length - 2, isFrameMarker(marker) ? 768 : 12));
            if (const auto got = source.read(payload, at + 4); got != platform::ReadOutcome::Complete)
                return unread(std::move(header), got, source, "il file finisce dentro un segmento JPEG");
            if (marker == 0xEE) {
                if (std::memcmp(payload.data(), "Adobe", 5) == 0) {
                    header.jpeg.adobe = true;
                    header.jpeg.adobeTransform = payload[11];
                }
            } else if (frame) {
                return refused(std::move(header), "due intestazioni di fotogramma JPEG (SOF)");
            } else {
                frame = true;
                if (payload.size() != length - 2)
                    return refused(std::move(header), "intestazione JPEG (SOF) troppo lunga");
                header = readJpegFrame(std::move(header), marker, payload, source.length());
                if (!header.reason.empty())
                    return header;
            }
        }
        at += 2 + length;
    }
    return refused(std::move(header), "troppi segmenti JPEG prima dei dati dell'immagine");
}

PictureHeader readBmp(PictureHeader header, HeaderSource& source)
{
    const std::int64_t available =
        std::min<std::int64_t>(source.length(), binary::kFileHeaderSize + binary::kInfoHeaderSize) -
        static_cast<std::int64_t>(binary::kFileHeaderSize);
    if (available < static_cast<std::int64_t>(binary::kCoreHeaderSize))
        return incomplete(std::move(header), "il file finisce dentro l'intestazione bitmap");
    std::vector<std::uint8_t> info(static_cast<std::size_t>(available));
    if (const auto got = source.read(info, binary::kFileHeaderSize); got != platform::ReadOutcome::Complete)
        return unread(std::move(header), got, source, "il file finisce dentro l'intestazione bitmap");
    const auto fields = binary::readAnyInfoHeader(info);
    header.width = fields.biWidth;
    header.height = fields.biHeight;
    header.outcome = PictureHeader::Outcome::Read;
    return header;
}

bool startsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> expected)
{
    return bytes.size() >= expected.size() && std::equal(expected.begin(), expected.end(), bytes.begin());
}

// A PNG signature's line ends (CR LF, then SUB and LF: there to show such damage) as a
// transfer in text mode leaves them, and what it did.
struct LineEndDamage {
    std::initializer_list<std::uint8_t> ends;
    const char* change;
};
constexpr LineEndDamage kLineEndDamage[] = {
    {{0x0D, 0x0D, 0x0A, 0x1A, 0x0D, 0x0A}, "ogni LF diventato CR LF"},
    {{0x0A, 0x1A, 0x0A}, "ogni CR LF diventato LF"},
    {{0x0D, 0x0D, 0x1A, 0x0D}, "ogni LF diventato CR"},
    {{0x0A, 0x0A, 0x1A, 0x0A}, "ogni CR diventato LF"},
};

// What a PNG signature that is not whole says happened to it; empty when the bytes do not
// look like one.
std::string pngSignatureDamage(std::span<const std::uint8_t> start)
{
    if (startsWith(start, {0x89, 'P', 'N', 'G'}))
        for (const LineEndDamage& damage : kLineEndDamage)
            if (startsWith(start.subspan(4), damage.ends))
                return std::string("la firma PNG è stata alterata da un trasferimento in modalità testo (") +
                       damage.change + "), che ha danneggiato anche i dati dell'immagine";
    if (start.size() < kPngSignature.size())
        return {};
    if (start[0] == (kPngSignature[0] & 0x7F) &&
        std::equal(kPngSignature.begin() + 1, kPngSignature.end(), start.begin() + 1))
        return "la firma PNG ha perso il bit più alto del suo primo byte: il file è passato per un trasferimento a 7 "
               "bit, che ha danneggiato anche i dati dell'immagine";
    const auto same = std::inner_product(kPngSignature.begin(), kPngSignature.end(), start.begin(), 0, std::plus<>(),
                                         std::equal_to<>());
    const bool chunkFollows = start.size() >= 16 && std::memcmp(start.data() + 12, "IHDR", 4) == 0;
    if (same == static_cast<int>(kPngSignature.size()) - 1 || (chunkFollows && same >= 4))
        return "la firma PNG (i primi 8 byte del file) è danneggiata";
    return {};
}

// A JPEG's data read forward in large pieces, for the walk to its end marker.
class ForwardBytes {
public:
    ForwardBytes(platform::File& file, std::int64_t length) : m_file(file), m_length(length) {}

    [[nodiscard]] int error() const { return m_error; }
    [[nodiscard]] bool failed() const { return m_error != 0; }

    // The byte at `offset`, or -1 where the file ends there (or a read failed).
    int at(std::int64_t offset)
    {
        if (!holds(offset) && !fill(offset))
            return -1;
        return m_bytes[static_cast<std::size_t>(offset - m_at)];
    }

    // The first 0xFF from `offset` on, or -1 where there is none before the file ends.
    std::int64_t nextFF(std::int64_t offset)
    {
        while (holds(offset) || fill(offset)) {
            const auto* begin = m_bytes.data() + (offset - m_at);
            const auto* end = m_bytes.data() + m_bytes.size();
            if (const void* found = std::memchr(begin, 0xFF, static_cast<std::size_t>(end - begin)))
                return m_at + (static_cast<const std::uint8_t*>(found) - m_bytes.data());
            offset = m_at + static_cast<std::int64_t>(m_bytes.size());
        }
        return -1;
    }

private:
    static constexpr std::size_t kPiece = std::size_t{256} << 10;

    [[nodiscard]] bool holds(std::int64_t offset) const
    {
        return offset >= m_at && offset < m_at + static_cast<std::int64_t>(m_bytes.size());
    }

    bool fill(std::int64_t offset)
    {
        if (offset < 0 || offset >= m_length || failed())
            return false;
        m_bytes.resize(static_cast<std::size_t>(std::min<std::int64_t>(kPiece, m_length - offset)));
        const auto got = m_file.readAt(m_bytes, offset);
        if (!got) {
            m_error = errno != 0 ? errno : EIO;
            m_bytes.clear();
            return false;
        }
        m_bytes.resize(*got);
        m_at = offset;
        return *got > 0;
    }

    platform::File& m_file;
    std::int64_t m_length;
    std::int64_t m_at = 0;
    std::vector<std::uint8_t> m_bytes;
    int m_error = 0;
};

// Walks a JPEG from its first scan's data to its end marker: through entropy-coded data to
// the next marker (0xFF followed by neither 0 nor a restart), over each segment by its length
// (tables, and the scans of a progressive picture), to EOI.
PictureEnd walkToJpegEnd(platform::File& file, std::int64_t fileLength, std::int64_t firstScan)
{
    ForwardBytes bytes(file, fileLength);
    const auto stopped = [&](std::string reason) {
        PictureEnd end;
        end.outcome = bytes.failed() ? PictureEnd::Outcome::ReadError : PictureEnd::Outcome::Incomplete;
        end.error = bytes.error();
        end.reason = bytes.failed() ? std::string(std::strerror(bytes.error())) : std::move(reason);
        return end;
    };
    const std::string cutShort = "il file finisce prima della fine dell'immagine JPEG (EOI)";
    // Bytes between segments that are no marker are stepped over, as decoders do.
    for (std::int64_t at = firstScan;;) {
        at = bytes.nextFF(at);
        if (at < 0)
            return stopped(cutShort);
        std::int64_t next = at + 1;
        while (bytes.at(next) == 0xFF)  // fill bytes before a marker
            ++next;
        const int marker = bytes.at(next);
        if (marker < 0)
            return stopped(cutShort);
        if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7)) {
            at = next + 1;  // a stuffed 0xFF or a restart marker: still the scan's data
            continue;
        }
        if (marker == 0xD9) {
            PictureEnd end;
            end.end = next + 1;
            return end;
        }
        if (marker == 0xD8)
            return stopped("un'altra immagine JPEG comincia all'offset " + std::to_string(next - 1) +
                           " prima della fine di questa");
        if (marker == 0x01) {
            at = next + 1;  // TEM: a marker with no length
            continue;
        }
        const int high = bytes.at(next + 1);
        const int low = bytes.at(next + 2);
        if (high < 0 || low < 0)
            return stopped(cutShort);
        const std::int64_t length = high << 8 | low;
        if (length < 2)
            return stopped("segmento JPEG di lunghezza non valida all'offset " + std::to_string(next - 1));
        at = next + 1 + length;
        if (at > fileLength)
            return stopped(cutShort);
    }
}
}  // namespace

std::optional<PictureType> pictureTypeOfContent(std::span<const std::uint8_t> start)
{
    if (startsWith(start, {'B', 'M'}))
        return PictureType::Bmp;
    if (start.size() >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), start.begin()))
        return PictureType::Png;
    if (startsWith(start, {0xFF, 0xD8, 0xFF}))
        return PictureType::Jpeg;
    return std::nullopt;
}

std::string recognisedContent(std::span<const std::uint8_t> start)
{
    if (std::string damage = pngSignatureDamage(start); !damage.empty())
        return damage;
    // OS/2's other bitmap files: an array of bitmaps (one per screen), icons and pointers.
    if (startsWith(start, {'B', 'A'}))
        return "è un insieme di bitmap OS/2 (bitmap array, «BA»), con un'immagine per ogni tipo di schermo: i "
               "lettori video leggono un bitmap solo, che cominci con «BM»";
    for (const char* icon : {"IC", "CI", "PT", "CP"})
        if (startsWith(start, {static_cast<std::uint8_t>(icon[0]), static_cast<std::uint8_t>(icon[1])}) &&
            start.size() >= 16 && start[14] == 'B')
            return std::string("è un'icona o un puntatore OS/2 («") + icon + "»), non un bitmap";
    return {};
}

std::optional<PictureType> pictureTypeOfName(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    if (extension == ".bmp")
        return PictureType::Bmp;
    if (extension == ".png")
        return PictureType::Png;
    if (extension == ".jpg" || extension == ".jpeg")
        return PictureType::Jpeg;
    return std::nullopt;
}

const char* pictureTypeName(PictureType type)
{
    switch (type) {
    case PictureType::Bmp:
        return "BMP";
    case PictureType::Png:
        return "PNG";
    case PictureType::Jpeg:
        return "JPEG";
    }
    return "";
}

std::string JpegFacts::samplingText() const
{
    if (componentCount == 1)
        return "scala di grigi";
    const JpegComponent& luma = components[0];
    const bool chromaAlike = componentCount == 3 && components[1].horizontal == 1 && components[1].vertical == 1 &&
                             components[2] == JpegComponent{components[2].id, 1, 1};
    if (chromaAlike) {
        if (luma.horizontal == 2 && luma.vertical == 2)
            return "4:2:0";
        if (luma.horizontal == 2 && luma.vertical == 1)
            return "4:2:2";
        if (luma.horizontal == 1 && luma.vertical == 1)
            return "4:4:4";
        if (luma.horizontal == 1 && luma.vertical == 2)
            return "4:4:0";
        if (luma.horizontal == 4 && luma.vertical == 1)
            return "4:1:1";
    }
    std::string text;
    for (std::size_t i = 0; i < componentCount; ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(components[i].horizontal) + "×" +
                std::to_string(components[i].vertical);
    return "campionamento " + text;
}

PictureHeader readPictureHeader(platform::File& file, std::int64_t fileLength, std::optional<PictureType> named)
{
    HeaderSource source(file, fileLength);
    PictureHeader header;
    std::array<std::uint8_t, kPngSignature.size()> start{};
    const std::size_t have = static_cast<std::size_t>(std::min<std::int64_t>(fileLength, start.size()));
    const auto got = source.read(std::span(start).first(have), 0);
    const auto finish = [&](PictureHeader result) {
        result.bytesRead = source.bytesRead();
        return result;
    };
    if (got != platform::ReadOutcome::Complete)
        return finish(unread(std::move(header), got, source, "il file è stato accorciato mentre veniva letto"));
    const auto type = pictureTypeOfContent(std::span(start).first(have));
    if (!type) {
        std::array<std::uint8_t, 16> more{};
        const std::size_t known = static_cast<std::size_t>(std::min<std::int64_t>(fileLength, more.size()));
        std::string what;
        if (known > have && source.read(std::span(more).first(known), 0) == platform::ReadOutcome::Complete)
            what = recognisedContent(std::span(more).first(known));
        else
            what = recognisedContent(std::span(start).first(have));
        const std::string expected =
            named ? std::string("un'immagine ") + pictureTypeName(*named) : std::string("un'immagine BMP, PNG o JPEG");
        return finish(refused(std::move(header), fileLength == 0 ? "il file è vuoto"
                                                 : !what.empty() ? what
                                                                 : "il contenuto del file non è " + expected));
    }
    header.type = *type;
    if (named && *named != *type)
        return finish(refused(std::move(header), std::string("il contenuto è un'immagine ") + pictureTypeName(*type) +
                                                     ", non " + pictureTypeName(*named) + " come dice il nome"));
    switch (*type) {
    case PictureType::Bmp:
        return finish(readBmp(std::move(header), source));
    case PictureType::Png:
        return finish(readPng(std::move(header), source));
    case PictureType::Jpeg:
        return finish(readJpeg(std::move(header), source));
    }
    return finish(std::move(header));
}

PictureEnd findPictureEnd(platform::File& file, std::int64_t fileLength, const PictureHeader& header)
{
    if (header.type == PictureType::Jpeg && !header.jpeg.endInTail)
        return walkToJpegEnd(file, fileLength, header.jpeg.firstScan);
    PictureEnd end;
    end.end = fileLength;  // a PNG ends with IEND, its last chunk; a JPEG with its end among its last bytes
    return end;
}

}  // namespace kelvora::bitmap

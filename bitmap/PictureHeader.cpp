#include "bitmap/PictureHeader.h"

#include "bitmap/FramePlan.h"
#include "platform/binary/BitmapRecords.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

namespace kelvora::bitmap {

namespace {

// The first read covers a PNG's leading chunks and a JPEG's tables where no camera data
// comes first; the rest is read piece by piece.
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

// The file read at chosen places: the first piece once, everything else only where asked.
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
        if (offset < 0 || offset > m_length || static_cast<std::int64_t>(out.size()) > m_length - offset)
            return platform::ReadOutcome::Short;
        if (m_first.empty() && m_length > 0 && !readFirst())
            return platform::ReadOutcome::Failed;
        const auto end = offset + static_cast<std::int64_t>(out.size());
        if (end <= static_cast<std::int64_t>(m_first.size())) {
            std::copy_n(m_first.begin() + offset, out.size(), out.begin());
            return platform::ReadOutcome::Complete;
        }
        m_bytesRead += static_cast<std::int64_t>(out.size());
        const auto outcome = m_file.readExactlyAt(out, offset);
        if (outcome == platform::ReadOutcome::Failed)
            m_error = errno;
        return outcome;
    }

private:
    bool readFirst()
    {
        m_first.resize(static_cast<std::size_t>(std::min(m_length, kFirstRead)));
        m_bytesRead += static_cast<std::int64_t>(m_first.size());
        const auto got = m_file.readAt(m_first, 0);
        if (!got) {
            m_error = errno;
            m_first.clear();
            return false;
        }
        m_first.resize(*got);  // a file that shrank: later reads past it come out short
        return true;
    }

    platform::File& m_file;
    std::int64_t m_length;
    std::int64_t m_bytesRead = 0;
    int m_error = 0;
    std::vector<std::uint8_t> m_first;
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
        at += 12 + static_cast<std::int64_t>(length);
    }
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

// The end marker, found among the file's last bytes after the first scan's header at `scan`
// (entropy-coded data never holds it, so a file cut short in its data lacks it).
PictureHeader checkJpegEnd(PictureHeader header, HeaderSource& source, std::int64_t scan)
{
    const std::int64_t from = std::max(scan, source.length() - kJpegTail);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(source.length() - from));
    if (const auto got = source.read(tail, from); got != platform::ReadOutcome::Complete)
        return unread(std::move(header), got, source, "il file finisce prima della fine dell'immagine JPEG");
    for (std::size_t i = 0; i + 1 < tail.size(); ++i)
        if (tail[i] == 0xFF && tail[i + 1] == 0xD9) {
            header.outcome = PictureHeader::Outcome::Read;
            return header;
        }
    return incomplete(std::move(header), "il file finisce prima della fine dell'immagine JPEG (EOI)");
}

PictureHeader readJpeg(PictureHeader header, HeaderSource& source)
{
    bool frame = false;
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
            return checkJpegEnd(std::move(header), source, at + 2 + length);
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

std::optional<PictureType> typeOfContent(std::span<const std::uint8_t> start)
{
    if (start.size() >= 2 && start[0] == 'B' && start[1] == 'M')
        return PictureType::Bmp;
    if (start.size() >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), start.begin()))
        return PictureType::Png;
    if (start.size() >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF)
        return PictureType::Jpeg;
    return std::nullopt;
}

}  // namespace

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
    const auto type = typeOfContent(std::span(start).first(have));
    if (!type) {
        const std::string expected =
            named ? std::string("un'immagine ") + pictureTypeName(*named) : std::string("un'immagine BMP, PNG o JPEG");
        return finish(refused(std::move(header),
                              fileLength == 0 ? "il file è vuoto" : "il contenuto del file non è " + expected));
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

}  // namespace kelvora::bitmap

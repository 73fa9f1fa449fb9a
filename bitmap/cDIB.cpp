#include "bitmap/cDIB.h"

#include "bitmap/BlockSpace.h"
#include "bitmap/PictureHeader.h"

#include "platform/filesystem/FileSystem.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <limits>

namespace kelvora::bitmap {

using binary::BITMAPFILEHEADER;
using binary::BITMAPINFOHEADER;
using binary::kBitmapSignature;
using binary::kFileHeaderSize;
using binary::kInfoHeaderSize;
using binary::readFileHeader;
using binary::readInfoHeader;
using binary::writeFileHeader;
using binary::writeInfoHeader;

namespace {

constexpr const char* kNotFoundText = "Il file non esiste:";
constexpr const char* kLockedText = "Il file è bloccato - non posso accedere:";
constexpr const char* kUnsupportedText = kUnsupportedFormatText;
constexpr const char* kNotRegularText = "Il file esiste ma non è un file normale:";

// What a file that does not begin with "BM" is, where its first bytes tell: another picture
// type, an OS/2 bitmap array or icon, a PNG damaged in transfer. Empty otherwise.
std::string contentOtherThanBitmap(std::span<const std::uint8_t> start)
{
    if (const auto type = pictureTypeOfContent(start); type && *type != PictureType::Bmp)
        return std::string("il contenuto è un'immagine ") + pictureTypeName(*type) + ", non un bitmap BMP";
    return recognisedContent(start);
}

constexpr std::int64_t kLargestOffset = std::numeric_limits<std::int32_t>::max();
// The first read of a file: both headers and, for most files, the whole colour table.
constexpr std::size_t kStartSize = 2048;
// A file up to this size is read whole at once: one system call, the pixels copied out.
constexpr std::size_t kWholeFileRead = 256 * 1024;
// How far a block may reach beyond what the file holds of it.
constexpr std::int64_t kSlack = 64 * 1024;

struct BlockSizes {
    std::size_t bitmapInfo = 0;
    std::size_t bits = 0;
    // False when the file holds far less of the pixel block than its header claims: the
    // block would be mostly zeros the file never held, so it is not held at all.
    bool bitsHeld = true;
};

// The blocks a header describes, or why it describes none the object can hold.
struct Sizing {
    BlockSizes sizes;
    std::string refusal;  // in Italian, for the user; empty when the blocks can be sized
};

// What the rows of the header's width, height and depth take, capped far above any real
// frame (the cap only has to exceed what a pixel block can be).
std::int64_t rowsNeed(const BITMAPINFOHEADER& info)
{
    const std::int64_t width = std::max<std::int64_t>(info.biWidth, 0);
    const std::int64_t height = info.biHeight < 0 ? -std::int64_t{info.biHeight} : info.biHeight;
    const std::int64_t depth = std::max<std::int64_t>(info.biBitCount, 0);
    const std::int64_t stride = binary::rowStride(width, depth);
    if (stride != 0 && height > kLargestOffset / stride)
        return kLargestOffset;
    return stride * height;
}

// Memory for a block stays within reach of what the file holds of it: a file cut short
// keeps its zero tail, a header that lies costs no memory the file gives no reason for.
bool fileCanSupply(std::int64_t block, std::int64_t stored) { return block <= 2 * stored + kSlack; }

// A pixel block far larger than both what the file stores and what the rows need is a
// header that lies. A file merely short of a plausible block is loaded (and then found
// incomplete).
bool blockIsPlausible(std::int64_t block, std::int64_t stored, std::int64_t rows)
{
    return fileCanSupply(block, std::max(stored, rows));
}

std::string picture(const BITMAPINFOHEADER& info)
{
    const std::int64_t height = info.biHeight;
    return std::to_string(info.biWidth) + "×" + std::to_string(height < 0 ? -height : height) + " pixel a " +
           std::to_string(static_cast<std::uint16_t>(info.biBitCount)) + " bit";
}

// Why no blocks can be sized from these headers (an uncompressed picture's zero image size
// stands for its rows); empty when they can. Offsets and sizes are the format's unsigned
// fields. A pixel block that would end beyond a signed 32-bit file offset cannot be
// described by a BMP file header.
std::string sizingRefusal(const BITMAPFILEHEADER& file, const BITMAPINFOHEADER& info, std::int64_t fileLength)
{
    const std::int64_t offBits = static_cast<std::uint32_t>(file.bfOffBits);
    const bool fromRows =
        info.biSizeImage == 0 && (info.biCompression == binary::BI_RGB || info.biCompression == binary::BI_BITFIELDS);
    const std::int64_t rows = rowsNeed(info);
    const std::int64_t image = fromRows ? rows : static_cast<std::uint32_t>(info.biSizeImage);
    if (offBits <= static_cast<std::int64_t>(kFileHeaderSize))
        return "i pixel comincerebbero al byte " + std::to_string(offBits) + ", dentro l'intestazione del file";
    if (offBits + image > kLargestOffset)
        return (fromRows ? "le righe di " + picture(info)
                         : "i pixel (" + std::to_string(image) + " byte dal byte " + std::to_string(offBits) + ")") +
               " andrebbero oltre i 2 GB che un file bitmap può descrivere";
    if (image < 1)
        return fromRows ? "l'immagine di " + picture(info) + " non ha pixel"
                        : "l'intestazione dà 0 byte ai dati compressi";
    if (!fileCanSupply(offBits - static_cast<std::int64_t>(kFileHeaderSize),
                       std::max<std::int64_t>(fileLength - static_cast<std::int64_t>(kFileHeaderSize), 0)))
        return "i pixel comincerebbero al byte " + std::to_string(offBits) + ", ben oltre la fine del file (" +
               std::to_string(fileLength) + " byte)";
    const std::int64_t stored = std::max<std::int64_t>(fileLength - offBits, 0);
    if (!blockIsPlausible(image, stored, rows))
        return "l'intestazione dichiara " + std::to_string(image) +
               " byte di pixel, ben più di quanti ne occupano le righe (" + std::to_string(rows) +
               ") e ne contiene il file (" + std::to_string(stored) + ")";
    return {};
}

Sizing sizeBlocks(const BITMAPFILEHEADER& file, const BITMAPINFOHEADER& info, std::int64_t fileLength)
{
    if (std::string why = sizingRefusal(file, info, fileLength); !why.empty()) {
        // Fields read past a file's end, or past a header of a kind we do not know, are no
        // header's: what is wrong is then the end or the header itself.
        const bool os2 = info.biSize == static_cast<std::int32_t>(binary::kCoreHeaderSize);
        const std::size_t headers = kFileHeaderSize + (os2 ? binary::kCoreHeaderSize : kInfoHeaderSize);
        if (fileLength < static_cast<std::int64_t>(headers))
            why = "il file ha solo " + std::to_string(fileLength) + " byte e finisce dentro le sue intestazioni";
        else if (!os2 && static_cast<std::uint32_t>(info.biSize) < kInfoHeaderSize)
            why = "intestazione di " + std::to_string(static_cast<std::uint32_t>(info.biSize)) +
                  " byte di un tipo sconosciuto";
        return {{}, std::move(why)};
    }
    const std::int64_t image = binary::imageSize(info);
    BlockSizes sizes{static_cast<std::size_t>(file.bfOffBits) - kFileHeaderSize, static_cast<std::size_t>(image),
                     fileCanSupply(image, std::max<std::int64_t>(fileLength - file.bfOffBits, 0))};
    return {sizes, {}};
}

}  // namespace

cDIB::cDIB(platform::MessageBoxService& messages) : cDIB(messages, platform::systemFileOpener()) {}

cDIB::cDIB(platform::MessageBoxService& messages, platform::FileOpener& opener) : m_messages(messages), m_opener(opener)
{
}

bool cDIB::CreateFromFile(std::string filename) { return load(filename, Pixels::Read); }

bool cDIB::CreateHeadersFromFile(std::string filename) { return load(filename, Pixels::OnlyWhereAdmissionNeedsThem); }

bool cDIB::CreateLeavingPixelsInFile(std::string filename) { return load(filename, Pixels::LeftInFile); }

bool cDIB::load(const std::string& filename, Pixels pixels)
{
    std::optional<platform::OpenResult> opened = openForReading(filename);
    if (!opened)
        return false;
    platform::File& file = opened->file;
    // The length of what was opened, so a file replaced or growing meanwhile is measured as read.
    const auto fileLength = opened->length >= 0 ? std::optional(opened->length) : file.length();
    // Both headers, and for most files the colour table too, in one read; a small file is
    // read whole in it, pixels included. The bytes a short file lacks read as zero.
    const auto length = static_cast<std::size_t>(std::max<std::int64_t>(fileLength.value_or(0), 0));
    const std::size_t firstRead =
        pixels == Pixels::Read && length <= kWholeFileRead ? length : std::min(length, kStartSize);
    m_firstRead.resize(std::max(firstRead, kStartSize));
    const auto got = fileLength ? file.readAt(std::span(m_firstRead).first(firstRead), 0) : std::nullopt;
    if (!got) {
        showErrorMessage(errno);
        return false;
    }
    std::fill(m_firstRead.begin() + static_cast<std::ptrdiff_t>(*got), m_firstRead.end(), std::uint8_t{0});
    const auto bytes = std::span<const std::uint8_t>(m_firstRead);
    m_FileHeader = readFileHeader(bytes.first<kFileHeaderSize>());
    if (m_FileHeader.bfType != kBitmapSignature) {
        // Where the content is recognisably something else, the message says what.
        const std::string what = contentOtherThanBitmap(bytes.first(*got));
        if (what.empty())
            showPathMessage(kUnsupportedText, filename, platform::vbInformation);
        else
            showRefusal(filename, what);
        return false;
    }
    auto info = binary::readAnyInfoHeader(bytes.subspan(kFileHeaderSize, kInfoHeaderSize));
    if (!loadBlocks(file, bytes.first(*got), info, *fileLength, filename, pixels))
        return false;
    info.biSizeImage = static_cast<std::int32_t>(binary::imageSize(info));
    m_InfoHeader = info;
    m_identity = opened->identity;
    m_pixelFile = pixels == Pixels::LeftInFile && m_Bits.empty() ? std::move(file) : platform::File{};
    return true;
}

bool cDIB::loadBlocks(platform::File& file, std::span<const std::uint8_t> start, const BITMAPINFOHEADER& info,
                      std::int64_t fileLength, const std::string& filename, Pixels pixels)
{
    const Sizing sizing = sizeBlocks(m_FileHeader, info, fileLength);
    if (!sizing.refusal.empty()) {
        showRefusal(filename, sizing.refusal);
        return false;
    }
    const BlockSizes& sizes = sizing.sizes;
    const auto storedFrom = [&](std::int64_t offset, std::size_t size) {
        return static_cast<std::size_t>(
            std::clamp<std::int64_t>(fileLength - offset, 0, static_cast<std::int64_t>(size)));
    };
    // Only run-length data decides anything by its bytes; other pixels are judged by size.
    const bool readBits = sizes.bitsHeld && (pixels == Pixels::Read || info.biCompression == binary::BI_RLE8 ||
                                             info.biCompression == binary::BI_RLE4);
    ByteBlock none;
    BlockSpace bits{readBits ? m_Bits : none};
    BlockSpace bitmapInfo{m_BitmapInfo};
    const bool prepared = (!readBits || bits.prepare(sizes.bits, storedFrom(m_FileHeader.bfOffBits, sizes.bits))) &&
                          bitmapInfo.prepare(sizes.bitmapInfo, storedFrom(kFileHeaderSize, sizes.bitmapInfo));
    if (!prepared) {
        showRefusal(filename, "non c'è memoria per caricarne " +
                                  std::to_string(sizes.bitmapInfo + (readBits ? sizes.bits : 0)) + " byte");
        return false;
    }
    // The start already read holds the information block when the block ends inside it or
    // the file ends before the start's end; it holds the pixels too when it is the whole file.
    const bool wholeFile = static_cast<std::int64_t>(start.size()) >= fileLength;
    const bool infoInStart = kFileHeaderSize + sizes.bitmapInfo <= start.size() || wholeFile;
    if (infoInStart)
        bitmapInfo.copyFrom(start.subspan(std::min(start.size(), kFileHeaderSize)));
    const bool bitsInStart = readBits && wholeFile;
    if (bitsInStart)
        bits.copyFrom(start.subspan(std::min(start.size(), static_cast<std::size_t>(m_FileHeader.bfOffBits))));
    if ((readBits && !bitsInStart && !bits.readFrom(file, m_FileHeader.bfOffBits)) ||
        (!infoInStart && !bitmapInfo.readFrom(file, kFileHeaderSize))) {
        showErrorMessage(errno);
        return false;
    }
    if (readBits)
        bits.commit();
    else
        m_Bits.swap(none);  // releases the pixels of the image held before
    bitmapInfo.commit();
    m_storedBits = storedFrom(m_FileHeader.bfOffBits, sizes.bits);
    return true;
}

bool cDIB::CreateFromPackedDIBPointer(std::span<const std::uint8_t> pDIB)
{
    if (pDIB.size() < kInfoHeaderSize)
        return false;
    m_InfoHeader = readInfoHeader(pDIB.first<kInfoHeaderSize>());
    const std::int32_t size = m_InfoHeader.biSizeImage;
    if (m_InfoHeader.biBitCount < 16 || size < 1)
        return false;
    // The pixels follow the header directly; they must lie inside the span, and the file
    // written from them must stay within a signed 32-bit size.
    const auto pixels = pDIB.subspan(kInfoHeaderSize);
    if (pixels.size() < static_cast<std::size_t>(size) ||
        size > kLargestOffset - static_cast<std::int64_t>(kFileHeaderSize + kInfoHeaderSize))
        return false;
    BlockSpace bits{m_Bits};
    BlockSpace bitmapInfo{m_BitmapInfo};
    if (!bits.prepare(static_cast<std::size_t>(size), static_cast<std::size_t>(size)) ||
        !bitmapInfo.prepare(kInfoHeaderSize, kInfoHeaderSize))
        return false;
    std::copy_n(pixels.begin(), size, bits.bytes().begin());
    m_storedBits = static_cast<std::size_t>(size);
    writeInfoHeader(m_InfoHeader, bitmapInfo.bytes().first<kInfoHeaderSize>());
    m_FileHeader =
        BITMAPFILEHEADER{kBitmapSignature, size + static_cast<std::int32_t>(kFileHeaderSize + kInfoHeaderSize), 0, 0,
                         static_cast<std::int32_t>(kFileHeaderSize + kInfoHeaderSize)};
    m_identity = {};
    m_pixelFile = platform::File{};
    bits.commit();
    bitmapInfo.commit();
    return true;
}

bool cDIB::WriteToFile(std::string filename)
{
    auto opened = m_opener.open(filename, platform::OpenMode::ReadWriteCreate);
    if (!opened.file.isOpen())
        return false;
    std::array<std::uint8_t, kFileHeaderSize> header{};
    writeFileHeader(m_FileHeader, header);
    const auto bitsAt = static_cast<std::int64_t>(kFileHeaderSize + m_BitmapInfo.size());
    const auto end = bitsAt + static_cast<std::int64_t>(m_Bits.size());
    // Each step runs even when one before it failed; any failure makes the result false.
    bool written = opened.file.writeAt(header, 0);
    written = opened.file.writeAt(m_BitmapInfo.bytes(), kFileHeaderSize) && written;
    written = opened.file.writeAt(m_Bits.bytes(), bitsAt) && written;
    // An older, longer file at the same path must not keep its tail.
    written = opened.file.truncate(end) && written;
    return opened.file.close() && written;
}

const std::uint8_t* cDIB::PointerToBits() const
{
    assert(!m_Bits.empty() && "PointerToBits asked before a successful load");
    return m_Bits.data();
}

const std::uint8_t* cDIB::PointerToBitmapInfo() const
{
    assert(!m_BitmapInfo.empty() && "PointerToBitmapInfo asked before a successful load");
    return m_BitmapInfo.data();
}

std::int32_t cDIB::SizeBitmapInfo() const
{
    assert(!m_BitmapInfo.empty() && "SizeBitmapInfo asked before a successful load");
    return static_cast<std::int32_t>(m_BitmapInfo.size());
}

// The existence test: a path naming nothing is absent; one naming a folder, FIFO or device
// exists but is no file to read a bitmap from, and is never opened.
std::optional<platform::OpenResult> openFrameFile(platform::FileOpener& opener, platform::MessageBoxService& messages,
                                                  const std::string& filename)
{
    auto opened = opener.open(filename, platform::OpenMode::Read);
    if (opened.file.isOpen())
        return opened;
    const auto say = [&](const char* text) {
        messages.MsgBox(std::string(text) + "\r\n" + filename, platform::vbCritical, std::string(platform::AppTitle));
    };
    // The open itself tells what is there: one path lookup a file, and what was opened is
    // checked to be a regular file before a byte of it is read.
    if (opened.notRegular)
        say(kNotRegularText);
    else if (opened.error == EACCES || opened.error == EPERM)
        say(kLockedText);
    else if (opened.error == ENOENT || opened.error == ENOTDIR || opened.error == ELOOP || opened.error == ENAMETOOLONG)
        say(kNotFoundText);
    else
        showSystemError(messages, opened.error);
    return std::nullopt;
}

void showSystemError(platform::MessageBoxService& messages, int error)
{
    messages.MsgBox(platform::errorDescription(error), platform::vbInformation, std::string(platform::AppTitle));
}

std::optional<platform::OpenResult> cDIB::openForReading(const std::string& filename)
{
    return openFrameFile(m_opener, m_messages, filename);
}

void cDIB::showPathMessage(const char* text, const std::string& filename, int style)
{
    m_messages.MsgBox(std::string(text) + "\r\n" + filename, style, std::string(platform::AppTitle));
}

void cDIB::showRefusal(const std::string& filename, const std::string& reason)
{
    showPathMessage(kUnsupportedText, filename + "\r\nMotivo: " + reason, platform::vbInformation);
}

void cDIB::showErrorMessage(int error) { showSystemError(m_messages, error); }

}  // namespace kelvora::bitmap

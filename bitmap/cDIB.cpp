#include "bitmap/cDIB.h"

#include "bitmap/BlockSpace.h"

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

constexpr std::int64_t kLargestOffset = std::numeric_limits<std::int32_t>::max();
// The first read of a file: both headers and, for most files, the whole colour table.
constexpr std::size_t kStartSize = 2048;

struct BlockSizes {
    std::size_t bitmapInfo = 0;
    std::size_t bits = 0;
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

// A pixel block far larger than both what the file stores and what the rows need is a
// header that lies: filling it would cost memory the file gives no reason for. A file
// merely short of a plausible block keeps its zero tail.
bool blockIsPlausible(std::int64_t block, std::int64_t stored, std::int64_t rows)
{
    constexpr std::int64_t kSlack = 64 * 1024;
    return block <= 2 * std::max(stored, rows) + kSlack;
}

// The blocks are sized by the headers alone (an uncompressed picture's zero image size by
// its rows). A pixel block that would end beyond a signed 32-bit file offset cannot be
// described by a BMP file header, so such a file is refused.
std::optional<BlockSizes> blockSizes(const BITMAPFILEHEADER& file, const BITMAPINFOHEADER& info,
                                     std::int64_t fileLength)
{
    const std::int64_t image = binary::imageSize(info);
    if (image < 1 || file.bfOffBits <= static_cast<std::int32_t>(kFileHeaderSize))
        return std::nullopt;
    if (std::int64_t{file.bfOffBits} + image > kLargestOffset)
        return std::nullopt;
    if (!blockIsPlausible(image, std::max<std::int64_t>(fileLength - file.bfOffBits, 0), rowsNeed(info)))
        return std::nullopt;
    return BlockSizes{static_cast<std::size_t>(file.bfOffBits) - kFileHeaderSize, static_cast<std::size_t>(image)};
}

}  // namespace

cDIB::cDIB(platform::MessageBoxService& messages) : cDIB(messages, platform::systemFileOpener()) {}

cDIB::cDIB(platform::MessageBoxService& messages, platform::FileOpener& opener)
    : m_messages(messages), m_opener(opener)
{
}

bool cDIB::CreateFromFile(std::string filename)
{
    return load(filename, Pixels::Read);
}

bool cDIB::CreateHeadersFromFile(std::string filename)
{
    return load(filename, Pixels::OnlyWhereAdmissionNeedsThem);
}

bool cDIB::load(const std::string& filename, Pixels pixels)
{
    if (!isLoadableRegularFile(filename))
        return false;
    std::optional<platform::OpenResult> opened = openForReading(filename);
    if (!opened)
        return false;
    platform::File& file = opened->file;
    // The length of what was opened, so a file replaced or growing meanwhile is measured as read.
    const auto fileLength = opened->length >= 0 ? std::optional(opened->length) : file.length();
    // Both headers, and for most files the colour table too, in one read; the bytes a short
    // file lacks stay zero.
    std::array<std::uint8_t, kStartSize> start{};
    const auto got = fileLength ? file.readAt(start, 0) : std::nullopt;
    if (!got) {
        showErrorMessage(errno);
        return false;
    }
    const auto bytes = std::span<const std::uint8_t>(start);
    m_FileHeader = readFileHeader(bytes.first<kFileHeaderSize>());
    if (m_FileHeader.bfType != kBitmapSignature) {
        showPathMessage(kUnsupportedText, filename, platform::vbInformation);
        return false;
    }
    auto info = binary::readAnyInfoHeader(bytes.subspan(kFileHeaderSize, kInfoHeaderSize));
    if (!loadBlocks(file, bytes.first(*got), info, *fileLength, filename, pixels))
        return false;
    info.biSizeImage = static_cast<std::int32_t>(binary::imageSize(info));
    m_InfoHeader = info;
    return true;
}

bool cDIB::loadBlocks(platform::File& file, std::span<const std::uint8_t> start, const BITMAPINFOHEADER& info,
                      std::int64_t fileLength, const std::string& filename, Pixels pixels)
{
    const auto sizes = blockSizes(m_FileHeader, info, fileLength);
    const auto storedFrom = [&](std::int64_t offset, std::size_t size) {
        return static_cast<std::size_t>(std::clamp<std::int64_t>(fileLength - offset, 0, static_cast<std::int64_t>(size)));
    };
    // Only run-length data decides anything by its bytes; other pixels are judged by size.
    const bool readBits = pixels == Pixels::Read || info.biCompression == binary::BI_RLE8 ||
                          info.biCompression == binary::BI_RLE4;
    ByteBlock none;
    BlockSpace bits{readBits ? m_Bits : none};
    BlockSpace bitmapInfo{m_BitmapInfo};
    if (!sizes || (readBits && !bits.prepare(sizes->bits, storedFrom(m_FileHeader.bfOffBits, sizes->bits))) ||
        !bitmapInfo.prepare(sizes->bitmapInfo, storedFrom(kFileHeaderSize, sizes->bitmapInfo))) {
        showPathMessage(kUnsupportedText, filename, platform::vbInformation);
        return false;
    }
    // The start already read holds the information block when the block ends inside it or
    // the file ends before the start's end.
    const bool infoInStart = kFileHeaderSize + sizes->bitmapInfo <= start.size() || start.size() < kStartSize;
    if (infoInStart)
        bitmapInfo.copyFrom(start.subspan(std::min(start.size(), kFileHeaderSize)));
    if ((readBits && !bits.readFrom(file, m_FileHeader.bfOffBits)) ||
        (!infoInStart && !bitmapInfo.readFrom(file, kFileHeaderSize))) {
        showErrorMessage(errno);
        return false;
    }
    if (readBits)
        bits.commit();
    else
        m_Bits.swap(none);  // releases the pixels of the image held before
    bitmapInfo.commit();
    m_storedBits = storedFrom(m_FileHeader.bfOffBits, sizes->bits);
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
    m_FileHeader = BITMAPFILEHEADER{kBitmapSignature,
                                    size + static_cast<std::int32_t>(kFileHeaderSize + kInfoHeaderSize), 0, 0,
                                    static_cast<std::int32_t>(kFileHeaderSize + kInfoHeaderSize)};
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
bool cDIB::isLoadableRegularFile(const std::string& filename)
{
    switch (platform::pathKind(filename)) {
    case platform::PathKind::RegularFile:
        return true;
    case platform::PathKind::Absent:
        showPathMessage(kNotFoundText, filename, platform::vbCritical);
        return false;
    case platform::PathKind::Other:
        break;
    }
    showPathMessage(kNotRegularText, filename, platform::vbCritical);
    return false;
}

std::optional<platform::OpenResult> cDIB::openForReading(const std::string& filename)
{
    auto opened = m_opener.open(filename, platform::OpenMode::Read);
    if (opened.file.isOpen())
        return opened;
    if (opened.notRegular)
        showPathMessage(kNotRegularText, filename, platform::vbCritical);
    else if (opened.error == EACCES || opened.error == EPERM)
        showPathMessage(kLockedText, filename, platform::vbCritical);
    else
        showErrorMessage(opened.error);
    return std::nullopt;
}

void cDIB::showPathMessage(const char* text, const std::string& filename, int style)
{
    m_messages.MsgBox(std::string(text) + "\r\n" + filename, style, std::string(platform::AppTitle));
}

void cDIB::showErrorMessage(int error)
{
    m_messages.MsgBox(platform::errorDescription(error), platform::vbInformation,
                      std::string(platform::AppTitle));
}

}  // namespace kelvora::bitmap

#pragma once

#include "bitmap/ByteBlock.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/filesystem/FileOpener.h"
#include "platform/msgbox/MessageBox.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvora::bitmap {

// The start of the message for a file that is not a bitmap this application can use; the
// path follows on its own line, then, where there is more to say, "Motivo: " and why.
inline constexpr const char* kUnsupportedFormatText = "Il file non è un formato bitmap supportato:";

// Opens a frame's file for reading; where it cannot, tells the user why ("Il file non esiste:",
// "Il file è bloccato - non posso accedere:", not a normal file, or the system's reason) and
// gives nothing. Every picture file the application reads as a frame is opened through it.
[[nodiscard]] std::optional<platform::OpenResult> openFrameFile(platform::FileOpener& opener,
                                                                platform::MessageBoxService& messages,
                                                                const std::string& filename);
// Tells the user what the system's error `error` means (a failed read, say).
void showSystemError(platform::MessageBoxService& messages, int error);

// One BMP image held as the file stores it: both headers, the bitmap-information block
// (everything between the file header and the pixels) and the pixel block, byte for byte.
// A failed load keeps the blocks of the image loaded before; it tells the user why itself.
// The information header's fields are the picture's whatever header form the file uses (an
// OS/2 file's 16-bit sides included); an uncompressed picture stored with image size 0 has
// the size of its rows. The bitmap-information block is always the file's own bytes.
// The one exception: a read error part-way through a block of the size already held (the
// load reads into it in place) leaves that block's bytes unspecified, its size and address kept.
// Memory stays within reach of the file's real size: a file that holds far less of its pixel
// block than its header claims (cut short, or a header that lies) loads without the block,
// as a headers-only load does (storedBits says how little it holds, so the frame is
// incomplete), and a bitmap-information block reaching far past the file's end is refused.
class cDIB {
public:
    explicit cDIB(platform::MessageBoxService& messages);
    cDIB(platform::MessageBoxService& messages, platform::FileOpener& opener);

    [[nodiscard]] bool CreateFromFile(std::string filename);
    // Decides as CreateFromFile, with its messages, but reads the pixel block only where a
    // frame's admission needs it (run-length data); otherwise the object holds no pixel
    // block afterwards: `bits()` is empty while SizeImage and storedBits describe the file's.
    [[nodiscard]] bool CreateHeadersFromFile(std::string filename);
    // Decides as CreateHeadersFromFile, but keeps the file open where the pixel block was
    // left in it: pixelFile() then reads the block there, from BitOffset on.
    [[nodiscard]] bool CreateLeavingPixelsInFile(std::string filename);
    [[nodiscard]] bool CreateFromPackedDIBPointer(std::span<const std::uint8_t> pDIB);
    [[nodiscard]] bool WriteToFile(std::string filename);

    std::int32_t BitCount() const { return m_InfoHeader.biBitCount; }
    std::int32_t Height() const { return m_InfoHeader.biHeight; }
    std::int32_t Width() const { return m_InfoHeader.biWidth; }
    std::int32_t Compression() const { return m_InfoHeader.biCompression; }
    std::int32_t SizeInfoHeader() const { return m_InfoHeader.biSize; }
    std::int32_t SizeImage() const { return m_InfoHeader.biSizeImage; }
    std::int32_t Planes() const { return m_InfoHeader.biPlanes; }
    std::int32_t ClrImportant() const { return m_InfoHeader.biClrImportant; }
    std::int32_t ClrUsed() const { return m_InfoHeader.biClrUsed; }
    std::int32_t XPPM() const { return m_InfoHeader.biXPelsPerMeter; }
    std::int32_t YPPM() const { return m_InfoHeader.biYPelsPerMeter; }
    std::int32_t FileType() const { return m_FileHeader.bfType; }
    std::int32_t SizeFileHeader() const { return m_FileHeader.bfSize; }
    std::int32_t BitOffset() const { return m_FileHeader.bfOffBits; }

    // The blocks exist only after a successful load, the pixel block only where it is held
    // (`bits()` not empty); asking otherwise is a caller's fault.
    const std::uint8_t* PointerToBits() const;
    const std::uint8_t* PointerToBitmapInfo() const;
    std::int32_t SizeBitmapInfo() const;

    // Which file the last successful load read (not known for a packed bitmap).
    [[nodiscard]] platform::FileIdentity fileIdentity() const { return m_identity; }
    // How many bytes of the pixel block the file held; the rest of the block is zero.
    [[nodiscard]] std::size_t storedBits() const { return m_storedBits; }
    // The pixel block as held; empty before a load, after a headers-only one, or where the
    // file holds far less of it than claimed.
    [[nodiscard]] std::span<const std::uint8_t> bits() const { return m_Bits.bytes(); }
    // Lets the pixel block go (a frame whose pixels an encoder has read); the headers and
    // sizes stay, `bits()` is empty.
    void ReleaseBits() { m_Bits = ByteBlock{}; }
    // The open file the last load left the pixel block in (CreateLeavingPixelsInFile, the
    // block not held); null otherwise.
    [[nodiscard]] platform::File* pixelFile() { return m_pixelFile.isOpen() ? &m_pixelFile : nullptr; }

private:
    enum class Pixels { Read, OnlyWhereAdmissionNeedsThem, LeftInFile };

    [[nodiscard]] bool load(const std::string& filename, Pixels pixels);
    [[nodiscard]] std::optional<platform::OpenResult> openForReading(const std::string& filename);
    [[nodiscard]] bool loadBlocks(platform::File& file, std::span<const std::uint8_t> start,
                                  const binary::BITMAPINFOHEADER& info, std::int64_t fileLength,
                                  const std::string& filename, Pixels pixels);
    void showPathMessage(const char* text, const std::string& filename, int style);
    // The unsupported-format message with the reason on its own last line.
    void showRefusal(const std::string& filename, const std::string& reason);
    void showErrorMessage(int error);

    platform::MessageBoxService& m_messages;
    platform::FileOpener& m_opener;
    binary::BITMAPFILEHEADER m_FileHeader;
    binary::BITMAPINFOHEADER m_InfoHeader;
    ByteBlock m_Bits;
    ByteBlock m_BitmapInfo;
    std::size_t m_storedBits = 0;
    std::vector<std::uint8_t> m_firstRead;  // the first read of a load, kept for the next
    platform::FileIdentity m_identity = {};
    platform::File m_pixelFile;
};

}  // namespace kelvora::bitmap

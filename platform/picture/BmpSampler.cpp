#include "platform/picture/BmpSampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kelvora::platform {

namespace {

constexpr std::int64_t kFileHeaderSize = 14;
constexpr std::int64_t kInfoHeaderSize = 40;
constexpr std::int64_t kPaletteOffset = kFileHeaderSize + kInfoHeaderSize;
constexpr int kMaxPaletteEntries = 256;
// Beyond this a bitmap goes to the general decoder, which applies its own limits.
constexpr std::int64_t kMaxSide = 1 << 16;
// Pixel blocks up to this size are read in one call; larger ones row by sampled row.
constexpr std::int64_t kWholeReadLimit = 1 << 20;

class FileDescriptor {
public:
    // Never waits on a FIFO or device; length() then refuses what is not a regular file.
    explicit FileDescriptor(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    [[nodiscard]] std::int64_t length() const
    {
        struct stat info {};
        return ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : -1;
    }
    // Fills `into` from `offset`; false unless every byte was read.
    [[nodiscard]] bool readAt(std::span<std::uint8_t> into, std::int64_t offset) const
    {
        std::size_t done = 0;
        while (done < into.size()) {
            const ssize_t n = ::pread(m_fd, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int m_fd;
};

std::uint32_t u16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}

std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at)
{
    return u16(b, at) | u16(b, at + 2) << 16;
}

std::int32_t s32(std::span<const std::uint8_t> b, std::size_t at) { return static_cast<std::int32_t>(u32(b, at)); }

// Where the pixels are and how to turn them into colours.
struct Layout {
    int width = 0;
    int rows = 0;
    bool topDown = false;
    int bytesPerPixel = 0;
    std::int64_t offBits = 0;
    std::int64_t stride = 0;
    std::array<QRgb, kMaxPaletteEntries> palette{};  // entries past the table's end stay black
};

std::optional<Layout> readLayout(const FileDescriptor& file, std::int64_t fileLength)
{
    std::array<std::uint8_t, kPaletteOffset + 4 * kMaxPaletteEntries> head{};
    const auto headLength = static_cast<std::size_t>(std::min<std::int64_t>(fileLength, head.size()));
    if (headLength < kPaletteOffset || !file.readAt(std::span(head).first(headLength), 0))
        return std::nullopt;
    const std::span<const std::uint8_t> h(head.data(), headLength);

    const std::uint32_t bfType = u16(h, 0);
    const std::uint32_t bfOffBits = u32(h, 10);
    const std::uint32_t biSize = u32(h, 14);
    const std::int32_t biWidth = s32(h, 18);
    const std::int32_t biHeight = s32(h, 22);
    const std::uint32_t biPlanes = u16(h, 26);
    const std::uint32_t biBitCount = u16(h, 28);
    const std::uint32_t biCompression = u32(h, 30);
    const std::uint32_t biClrUsed = u32(h, 46);
    if (bfType != 0x4D42 || biSize != kInfoHeaderSize || biPlanes != 1 || biCompression != 0)  // "BM", BI_RGB
        return std::nullopt;
    if (biBitCount != 8 && biBitCount != 24 && biBitCount != 32)
        return std::nullopt;
    const std::int64_t rows = biHeight < 0 ? -static_cast<std::int64_t>(biHeight) : biHeight;
    if (biWidth <= 0 || biWidth > kMaxSide || rows == 0 || rows > kMaxSide)
        return std::nullopt;

    Layout layout;
    layout.width = biWidth;
    layout.rows = static_cast<int>(rows);
    layout.topDown = biHeight < 0;
    layout.bytesPerPixel = static_cast<int>(biBitCount / 8);
    layout.stride = (static_cast<std::int64_t>(biWidth) * biBitCount + 31) / 32 * 4;
    layout.offBits = bfOffBits;
    std::int64_t tableEnd = kPaletteOffset;
    if (biBitCount == 8) {
        const std::uint32_t entries = biClrUsed == 0 ? kMaxPaletteEntries : biClrUsed;
        if (entries > kMaxPaletteEntries)
            return std::nullopt;
        tableEnd += 4 * static_cast<std::int64_t>(entries);
        if (tableEnd > static_cast<std::int64_t>(headLength))
            return std::nullopt;
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::size_t at = kPaletteOffset + 4 * i;  // blue, green, red, reserved
            layout.palette[i] = qRgb(h[at + 2], h[at + 1], h[at]);
        }
        for (std::uint32_t i = entries; i < kMaxPaletteEntries; ++i)
            layout.palette[i] = qRgb(0, 0, 0);
    }
    // Pixels inside the headers, or a pixel block cut short, are odd cases for the general decoder.
    if (layout.offBits < tableEnd || layout.offBits + layout.stride * rows > fileLength)
        return std::nullopt;
    return layout;
}

// One stored row turned into a line of the picture through the sampled columns.
void convertRow(const Layout& layout, const std::uint8_t* row, std::span<const int> columns, QRgb* out)
{
    if (layout.bytesPerPixel == 1) {
        for (std::size_t x = 0; x < columns.size(); ++x)
            out[x] = layout.palette[row[columns[x]]];
        return;
    }
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const std::uint8_t* pixel = row + static_cast<std::ptrdiff_t>(columns[x]) * layout.bytesPerPixel;
        out[x] = qRgb(pixel[2], pixel[1], pixel[0]);  // stored blue, green, red; the fourth byte is unused
    }
}

std::int64_t storedRow(const Layout& layout, int imageRow)
{
    return layout.topDown ? imageRow : layout.rows - 1 - imageRow;
}

QImage samplePixels(const FileDescriptor& file, const Layout& layout, QSize shown)
{
    QImage picture(shown, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    std::vector<int> columns(static_cast<std::size_t>(shown.width()));
    for (int x = 0; x < shown.width(); ++x)
        columns[static_cast<std::size_t>(x)] = nearestSource(x, shown.width(), layout.width);

    const auto stride = static_cast<std::size_t>(layout.stride);
    const std::int64_t blockSize = layout.stride * layout.rows;
    const bool wholeBlock = blockSize <= kWholeReadLimit || 2 * shown.height() >= layout.rows;
    std::vector<std::uint8_t> buffer(wholeBlock ? static_cast<std::size_t>(blockSize) : stride);
    if (wholeBlock && !file.readAt(buffer, layout.offBits))
        return {};
    for (int y = 0; y < shown.height(); ++y) {
        const std::int64_t stored = storedRow(layout, nearestSource(y, shown.height(), layout.rows));
        const std::uint8_t* row = buffer.data();
        if (wholeBlock)
            row += static_cast<std::size_t>(stored) * stride;
        else if (!file.readAt(buffer, layout.offBits + stored * layout.stride))
            return {};
        convertRow(layout, row, columns, reinterpret_cast<QRgb*>(picture.scanLine(y)));
    }
    return picture;
}

}  // namespace

int nearestSource(int index, int shown, int source)
{
    // The step and start in 16.16 fixed point, rounded as Qt's nearest-neighbour scaling
    // rounds them, so the quick road and the general decoder pick the same pixels.
    const auto step = static_cast<std::int64_t>(65536.0 / (static_cast<double>(shown) / source));
    const auto start = static_cast<std::int64_t>(std::ceil(0.5 * static_cast<double>(step))) - 1;
    const std::int64_t picked = (start + step * index) >> 16;
    return static_cast<int>(std::clamp<std::int64_t>(picked, 0, source - 1));
}

std::optional<QImage> sampleUncompressedBmp(const std::string& localPath, QSize target)
{
    const FileDescriptor file(localPath);
    if (!file.isOpen())
        return std::nullopt;
    const std::int64_t length = file.length();
    if (length < 0)
        return std::nullopt;
    const std::optional<Layout> layout = readLayout(file, length);
    if (!layout)
        return std::nullopt;
    QSize shown(layout->width, layout->rows);
    if (target.isValid() && !target.isEmpty())
        shown = shown.boundedTo(target);
    return samplePixels(file, *layout, shown);
}

}  // namespace kelvora::platform

#include "platform/avifile/RiffFile.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/avifile/LittleEndian.h"

namespace kelvora::avifile {

RiffFile::~RiffFile() { (void)close(); }

namespace {

// A FIFO, device or folder seen before opening is never opened: opening one can wait for a
// partner or act on the device.
bool namesSomethingElse(const char* path)
{
    struct stat seen {};
    return ::stat(path, &seen) == 0 && !S_ISREG(seen.st_mode);
}

// Clears O_NONBLOCK: it served only the open, and writes to a regular file must block.
bool makeBlocking(int descriptor)
{
    const int flags = ::fcntl(descriptor, F_GETFL);
    return flags >= 0 && ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

bool RiffFile::create(const char* path)
{
    m_position = 0;
    if (namesSomethingElse(path))
        return false;
    // Without O_TRUNC and without waiting: what was opened is checked before anything is
    // emptied, since the name may have changed to a FIFO or device after the look above.
    const int descriptor = ::open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    platform::File opened{descriptor};
    if (!opened.isOpen() || !opened.isRegular() || !makeBlocking(descriptor))
        return false;
    // Only a file that has bytes is emptied: on ext4 a truncate to zero also marks the file
    // for a flush at close (its guard for "replace by truncating"), which a new file does
    // not need and which costs a large video a sizeable share of its save.
    const std::optional<std::int64_t> length = opened.length();
    if (!length || (*length > 0 && !opened.truncate(0)))
        return false;
    m_file = std::move(opened);
    return true;
}

bool RiffFile::appendParts(std::span<const std::span<const std::uint8_t>> parts)
{
    if (!m_file.isOpen())
        return false;
    const platform::WriteOutcome outcome = m_file.writeAt(parts, static_cast<std::int64_t>(m_position));
    // The bytes of a short write are on disk; position counts them so a later truncate
    // knows what to drop.
    m_position += outcome.written;
    return outcome.complete;
}

bool RiffFile::append(std::span<const std::uint8_t> data)
{
    const std::span<const std::uint8_t> parts[] = {data};
    return appendParts(parts);
}

bool RiffFile::appendChunk(platform::FourCC id, std::span<const std::uint8_t> payload)
{
    const std::span<const std::uint8_t> payloads[] = {payload};
    return appendChunks(id, payloads) == 1;
}

std::size_t RiffFile::appendChunks(platform::FourCC id, std::span<const std::span<const std::uint8_t>> payloads)
{
    static const std::uint8_t pad = 0;
    m_headers.resize(8 * payloads.size());
    m_parts.clear();
    for (std::size_t i = 0; i < payloads.size(); ++i) {
        ByteWriter out{std::span(m_headers).subspan(8 * i, 8)};
        out.u32(id.value());
        out.u32(static_cast<std::uint32_t>(payloads[i].size()));
        m_parts.push_back(std::span<const std::uint8_t>(m_headers).subspan(8 * i, 8));
        m_parts.push_back(payloads[i]);
        m_parts.push_back({&pad, payloads[i].size() & 1});
    }
    const std::uint64_t start = m_position;
    if (appendParts(m_parts))
        return payloads.size();
    // The chunks before the one the write stopped in are on disk.
    std::size_t whole = 0;
    for (std::uint64_t end = start; whole < payloads.size(); ++whole) {
        end += chunkBytes(payloads[whole].size());
        if (end > m_position)
            break;
    }
    return whole;
}

RiffFile::CopyResult RiffFile::appendChunkFrom(platform::FourCC id, const FileBytes& payload)
{
    const std::uint64_t start = m_position;
    std::uint8_t header[8];
    ByteWriter out(header);
    out.u32(id.value());
    out.u32(static_cast<std::uint32_t>(payload.size));
    if (!append(header))
        return CopyResult::WriteFailed;
    const std::size_t stored = std::min(payload.stored, payload.size);
    // Stamps before and after: a file rewritten in place during the copy may keep its length.
    const std::optional<platform::FileStamp> before = payload.source->stamp();
    const std::optional<std::size_t> copied =
        m_file.copyFrom(*payload.source, payload.offset, stored, static_cast<std::int64_t>(m_position));
    if (!copied)
        return CopyResult::WriteFailed;
    m_position += *copied;
    const std::optional<platform::FileStamp> after = payload.source->stamp();
    if (*copied < stored || !before || !after || *before != *after) {
        if (!truncate(start))
            return CopyResult::WriteFailed;
        return CopyResult::SourceChanged;
    }
    return appendZeros(payload.size - *copied + (payload.size & 1)) ? CopyResult::Copied : CopyResult::WriteFailed;
}

bool RiffFile::appendZeros(std::size_t count)
{
    static constexpr std::uint8_t kZeros[64 * 1024] = {};
    for (std::size_t left = count; left > 0;) {
        const std::size_t piece = std::min(left, sizeof kZeros);
        if (!append(std::span(kZeros, piece)))
            return false;
        left -= piece;
    }
    return true;
}

bool RiffFile::patch(std::uint64_t offset, std::span<const std::uint8_t> data)
{
    return m_file.isOpen() && m_file.writeAt(data, static_cast<std::int64_t>(offset));
}

bool RiffFile::truncate(std::uint64_t size)
{
    if (!m_file.isOpen())
        return false;
    m_position = size;
    return m_file.truncate(static_cast<std::int64_t>(size));
}

bool RiffFile::close() { return m_file.close(); }

}  // namespace kelvora::avifile

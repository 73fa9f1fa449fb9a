#include "platform/avifile/RiffFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

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

}  // namespace

bool RiffFile::create(const char* path)
{
    m_position = 0;
    if (namesSomethingElse(path))
        return false;
    // Without O_TRUNC and without waiting: what was opened is checked before anything is
    // emptied, since the name may have changed to a FIFO or device after the look above.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat opened {};
    const bool regular = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode);
    const int flags = regular ? ::fcntl(fd, F_GETFL) : -1;
    if (!regular || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

bool RiffFile::writeAll(::iovec* parts, int count, std::size_t total)
{
    std::size_t done = 0;
    while (done < total) {
        ssize_t n = ::writev(m_fd, parts, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // The bytes of a short write are on disk; position keeps counting them so a
            // later truncate knows what to drop.
            m_position += done;
            return false;
        }
        done += static_cast<std::size_t>(n);
        auto left = static_cast<std::size_t>(n);
        while (count > 0 && left >= parts->iov_len) {
            left -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<char*>(parts->iov_base) + left;
            parts->iov_len -= left;
        }
    }
    m_position += total;
    return true;
}

bool RiffFile::append(std::span<const std::uint8_t> data)
{
    if (m_fd < 0)
        return false;
    iovec part{const_cast<std::uint8_t*>(data.data()), data.size()};
    return writeAll(&part, 1, data.size());
}

bool RiffFile::appendChunk(platform::FourCC id, std::span<const std::uint8_t> payload)
{
    if (m_fd < 0)
        return false;
    std::uint8_t header[8];
    ByteWriter out(header);
    out.u32(id.value());
    out.u32(static_cast<std::uint32_t>(payload.size()));
    static const std::uint8_t pad = 0;
    iovec parts[3] = {{header, sizeof header},
                      {const_cast<std::uint8_t*>(payload.data()), payload.size()},
                      {const_cast<std::uint8_t*>(&pad), payload.size() & 1}};
    return writeAll(parts, 3, sizeof header + payload.size() + (payload.size() & 1));
}

bool RiffFile::patch(std::uint64_t offset, std::span<const std::uint8_t> data)
{
    if (m_fd < 0)
        return false;
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::pwrite(m_fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool RiffFile::truncate(std::uint64_t size)
{
    if (m_fd < 0)
        return false;
    bool ok = ::ftruncate(m_fd, static_cast<off_t>(size)) == 0;
    if (::lseek(m_fd, static_cast<off_t>(size), SEEK_SET) < 0)
        ok = false;
    m_position = size;
    return ok;
}

bool RiffFile::close()
{
    if (m_fd < 0)
        return true;
    int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
}

}  // namespace kelvora::avifile

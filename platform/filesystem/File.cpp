#include "platform/filesystem/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>
#include <utility>
#include <vector>

namespace kelvora::platform {

namespace {

// The bytes one read or write call moves at most. The kernel sizes the page-cache folios of
// a buffered write by what the call has left to write, so a whole full-HD frame in one call
// asks for folios of megabytes, which on memory just freed (a cold save after the cache was
// dropped) are slow to come by: such a save took two to three times the system time of the
// same bytes moved in pieces of this size, which is also what cat moves at a time.
constexpr std::size_t kMostBytesPerCall = std::size_t{128} << 10;
constexpr std::size_t kMostBytesPerKernelCopy = std::size_t{1} << 30;

// The parts of the next call, from the front of `vectors`: as many as the platform takes and
// the byte limit allows (at least one), the last one cut by `cut` bytes to stay within it.
struct CallWindow {
    std::size_t count = 0;
    std::size_t cut = 0;
};

CallWindow callWindow(std::span<const ::iovec> vectors, std::size_t mostParts)
{
    CallWindow window;
    std::size_t bytes = 0;
    while (window.count < vectors.size() && window.count < mostParts && bytes < kMostBytesPerCall)
        bytes += vectors[window.count++].iov_len;
    window.cut = bytes > kMostBytesPerCall ? bytes - kMostBytesPerCall : 0;
    return window;
}

}  // namespace

File::~File()
{
    if (isOpen())
        ::close(m_descriptor);
}

File::File(File&& other) noexcept : m_descriptor(std::exchange(other.m_descriptor, -1)) {}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        if (isOpen())
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

std::optional<std::size_t> File::readAt(std::span<std::uint8_t> buffer, std::int64_t offset)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got =
            ::pread(m_descriptor, buffer.data() + done, std::min(buffer.size() - done, kMostBytesPerCall),
                    static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

ReadOutcome File::readExactlyAt(std::span<std::uint8_t> buffer, std::int64_t offset)
{
    const std::optional<std::size_t> got = readAt(buffer, offset);
    if (!got)
        return ReadOutcome::Failed;
    return *got == buffer.size() ? ReadOutcome::Complete : ReadOutcome::Short;
}

bool File::writeAt(std::span<const std::uint8_t> bytes, std::int64_t offset)
{
    const std::span<const std::uint8_t> parts[] = {bytes};
    return writeAt(parts, offset).complete;
}

WriteOutcome File::writeAt(std::span<const std::span<const std::uint8_t>> parts, std::int64_t offset)
{
    std::vector<::iovec> vectors;
    vectors.reserve(parts.size());
    std::size_t total = 0;
    for (const std::span<const std::uint8_t> part : parts) {
        if (part.empty())
            continue;
        vectors.push_back({const_cast<std::uint8_t*>(part.data()), part.size()});
        total += part.size();
    }
    const auto mostParts = static_cast<std::size_t>(std::max(1L, ::sysconf(_SC_IOV_MAX)));
    std::size_t next = 0;
    WriteOutcome outcome;
    while (outcome.written < total) {
        const CallWindow window = callWindow(std::span(vectors).subspan(next), mostParts);
        ::iovec& last = vectors[next + window.count - 1];
        const std::size_t lastLength = std::exchange(last.iov_len, last.iov_len - window.cut);
        const ssize_t put = ::pwritev(m_descriptor, vectors.data() + next, static_cast<int>(window.count),
                                      static_cast<off_t>(offset + static_cast<std::int64_t>(outcome.written)));
        last.iov_len = lastLength;
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = EIO;  // no progress and no reason given: never loop on it
            return outcome;
        }
        outcome.written += static_cast<std::size_t>(put);
        // Skip what went out: whole parts, then the written front of the part it stopped in.
        auto left = static_cast<std::size_t>(put);
        while (next < vectors.size() && left >= vectors[next].iov_len) {
            left -= vectors[next].iov_len;
            ++next;
        }
        if (next < vectors.size()) {
            vectors[next].iov_base = static_cast<std::uint8_t*>(vectors[next].iov_base) + left;
            vectors[next].iov_len -= left;
        }
    }
    outcome.complete = true;
    return outcome;
}

std::optional<std::size_t> File::copyFrom(File& source, std::int64_t from, std::size_t bytes, std::int64_t at)
{
    std::size_t done = 0;
    while (done < bytes) {
        auto in = static_cast<off_t>(from + static_cast<std::int64_t>(done));
        auto out = static_cast<off_t>(at + static_cast<std::int64_t>(done));
        // The kernel's copy goes through the cache in small pieces of its own.
        const ssize_t copied = ::copy_file_range(source.m_descriptor, &in, m_descriptor, &out,
                                                 std::min(bytes - done, kMostBytesPerKernelCopy), 0);
        if (copied > 0) {
            done += static_cast<std::size_t>(copied);
            continue;
        }
        if (copied == 0)
            return done;  // the source ends here
        if (errno == EINTR)
            continue;
        // Files the kernel cannot copy between (other file systems, other kinds of file).
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF)
            return std::nullopt;
        const std::optional<std::size_t> rest = copyThroughBuffer(source, in, bytes - done, out);
        return rest ? std::optional(done + *rest) : std::nullopt;
    }
    return done;
}

std::optional<std::size_t> File::copyThroughBuffer(File& source, std::int64_t from, std::size_t bytes, std::int64_t at)
{
    std::vector<std::uint8_t> buffer(std::min(bytes, kMostBytesPerCall));
    std::size_t done = 0;
    while (done < bytes) {
        const auto into = std::span(buffer).first(std::min(bytes - done, buffer.size()));
        const std::optional<std::size_t> got = source.readAt(into, from + static_cast<std::int64_t>(done));
        if (!got || !writeAt(into.first(*got), at + static_cast<std::int64_t>(done)))
            return std::nullopt;
        done += *got;
        if (*got < into.size())
            break;  // the source ends here
    }
    return done;
}

void File::willNeed(std::int64_t offset, std::size_t bytes) const
{
    (void)::posix_fadvise(m_descriptor, static_cast<off_t>(offset), static_cast<off_t>(bytes), POSIX_FADV_WILLNEED);
}

bool File::truncate(std::int64_t length) { return ::ftruncate(m_descriptor, static_cast<off_t>(length)) == 0; }

std::optional<std::int64_t> File::length() const
{
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(status.st_size);
}

std::optional<FileStamp> File::stamp() const
{
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0)
        return std::nullopt;
    constexpr std::int64_t kNsPerSecond = 1'000'000'000;
    return FileStamp{static_cast<std::int64_t>(status.st_size),
                     status.st_mtim.tv_sec * kNsPerSecond + status.st_mtim.tv_nsec,
                     status.st_ctim.tv_sec * kNsPerSecond + status.st_ctim.tv_nsec};
}

bool File::isRegular() const { return regularLength().has_value(); }

std::optional<std::int64_t> File::regularLength() const
{
    const std::optional<RegularFileStatus> status = regularStatus();
    return status ? std::optional(status->length) : std::nullopt;
}

std::optional<RegularFileStatus> File::regularStatus() const
{
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return RegularFileStatus{static_cast<std::int64_t>(status.st_size),
                             {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)}};
}

bool File::close()
{
    if (!isOpen())
        return true;
    return ::close(std::exchange(m_descriptor, -1)) == 0;
}

}  // namespace kelvora::platform

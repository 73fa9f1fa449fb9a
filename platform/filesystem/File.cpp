#include "platform/filesystem/File.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

namespace kelvora::platform {

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
        const ssize_t got = ::pread(m_descriptor, buffer.data() + done, buffer.size() - done,
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
        const int count = static_cast<int>(std::min(vectors.size() - next, mostParts));
        const ssize_t put = ::pwritev(m_descriptor, vectors.data() + next, count,
                                      static_cast<off_t>(offset + static_cast<std::int64_t>(outcome.written)));
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

bool File::truncate(std::int64_t length) { return ::ftruncate(m_descriptor, static_cast<off_t>(length)) == 0; }

std::optional<std::int64_t> File::length() const
{
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(status.st_size);
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

#include "platform/filesystem/File.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cassert>
#include <cerrno>
#include <utility>

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
    assert(parts.size() <= kMaxWriteParts && "too many parts for one gather write");
    std::array<::iovec, kMaxWriteParts> vectors{};
    std::size_t total = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        vectors[i] = {const_cast<std::uint8_t*>(parts[i].data()), parts[i].size()};
        total += parts[i].size();
    }
    ::iovec* next = vectors.data();
    int count = static_cast<int>(parts.size());
    WriteOutcome outcome;
    while (outcome.written < total) {
        const ssize_t put = ::pwritev(m_descriptor, next, count,
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
        while (count > 0 && left >= next->iov_len) {
            left -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<std::uint8_t*>(next->iov_base) + left;
            next->iov_len -= left;
        }
    }
    outcome.complete = true;
    return outcome;
}

bool File::truncate(std::int64_t length)
{
    return ::ftruncate(m_descriptor, static_cast<off_t>(length)) == 0;
}

std::optional<std::int64_t> File::length() const
{
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(status.st_size);
}

bool File::isRegular() const
{
    return regularLength().has_value();
}

std::optional<std::int64_t> File::regularLength() const
{
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return static_cast<std::int64_t>(status.st_size);
}

bool File::close()
{
    if (!isOpen())
        return true;
    return ::close(std::exchange(m_descriptor, -1)) == 0;
}

}  // namespace kelvora::platform

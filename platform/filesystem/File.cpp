#include "platform/filesystem/File.h"

#include <sys/stat.h>
#include <unistd.h>

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

bool File::writeAt(std::span<const std::uint8_t> bytes, std::int64_t offset)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::pwrite(m_descriptor, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
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

bool File::close()
{
    if (!isOpen())
        return true;
    return ::close(std::exchange(m_descriptor, -1)) == 0;
}

}  // namespace kelvora::platform

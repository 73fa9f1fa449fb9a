#pragma once

// The fuzzers' input as a file: the loaders under test open paths, not buffers.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kelvora::fuzz {

// A file in memory, named by a path the loader opens like any other. A file on disk would cost
// far more than the load: rewriting one in place makes ext4 flush it to the disk at every close.
class MemoryFile {
public:
    explicit MemoryFile(const char* name) : m_fd(::memfd_create(name, MFD_CLOEXEC))
    {
        if (m_fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    void replaceWith(const std::uint8_t* data, std::size_t size)
    {
        if (::ftruncate(m_fd, 0) != 0 || (size > 0 && ::pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size))) {
            std::perror("scratch input");
            std::abort();
        }
    }
    [[nodiscard]] const std::string& path() const { return m_path; }

private:
    int m_fd;
    std::string m_path;
};

}  // namespace kelvora::fuzz

#include "cli/InputPaths.h"

#include "cli/Messages.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::cli {

PathList::PathList(std::FILE* in, bool nullSeparated) : m_in(in), m_separator(nullSeparated ? '\0' : '\n') {}

PathList::~PathList() { std::free(m_buffer); }

std::optional<std::string> PathList::next()
{
    for (;;) {
        const ssize_t length = ::getdelim(&m_buffer, &m_capacity, m_separator, m_in);
        if (length < 0)
            return std::nullopt;
        std::size_t size = static_cast<std::size_t>(length);
        if (size > 0 && m_buffer[size - 1] == static_cast<char>(m_separator))
            --size;
        if (size > 0)
            return std::string(m_buffer, size);
    }
}

bool PathList::failed() const { return std::ferror(m_in) != 0; }

std::string unreadableReason(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return "è un collegamento simbolico a un file che non esiste";
        return error == ENOENT ? std::string() : systemReason(error);
    }
    if (!S_ISREG(info.st_mode))
        return {};
    if (::access(path.c_str(), R_OK) != 0)
        return systemReason(errno);
    return {};
}

}  // namespace kelvora::cli

#include "platform/filesystem/FileSystem.h"

#include <sys/stat.h>

#include <cstring>

namespace kelvora::platform {

std::optional<std::int64_t> fileLength(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return static_cast<std::int64_t>(status.st_size);
}

PathKind pathKind(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return PathKind::Absent;
    return S_ISREG(status.st_mode) ? PathKind::RegularFile : PathKind::Other;
}

std::string errorDescription(int error) { return std::strerror(error); }

}  // namespace kelvora::platform

#include "platform/system/OwnPath.h"

#include <unistd.h>

#include <array>

namespace kelvora::platform {

std::optional<std::string> ownProgramPath()
{
    std::array<char, 4096> self{};
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0 || static_cast<std::size_t>(length) >= self.size() - 1)
        return std::nullopt;
    std::string path(self.data(), static_cast<std::size_t>(length));
    if (path.ends_with(" (deleted)"))
        return std::nullopt;
    return path;
}

std::string besideOwnProgram(std::string_view relative)
{
    std::string path = ownProgramPath().value_or(std::string());
    path.erase(path.find_last_of('/') + 1);
    return path.append(relative);
}

}  // namespace kelvora::platform

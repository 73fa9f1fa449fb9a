#include "platform/dialogs/FileTitle.h"

namespace kelvora::platform {

std::optional<std::string> fileTitle(std::string_view path)
{
    if (path.empty() || path.back() == '/') {
        return std::nullopt;
    }
    const auto slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return std::string(name);
}

}  // namespace kelvora::platform

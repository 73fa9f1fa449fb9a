#pragma once

// The display title of a path, as the shell shows it: the last component, extension kept.

#include <optional>
#include <string>
#include <string_view>

namespace kelvora::platform {

// nullopt for an empty path and for one that ends with the separator (a folder, no file).
[[nodiscard]] std::optional<std::string> fileTitle(std::string_view path);

}  // namespace kelvora::platform

#pragma once

// Where this program's own file lies, to start it again or a program installed beside it.

#include <optional>
#include <string>
#include <string_view>

namespace kelvora::platform {

// The program's file as the kernel knows it; none without /proc or once the file was replaced.
[[nodiscard]] std::optional<std::string> ownProgramPath();

// relative, taken from the folder of the program's file.
[[nodiscard]] std::string besideOwnProgram(std::string_view relative);

}  // namespace kelvora::platform

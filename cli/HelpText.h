#pragma once

// The text of --help, on its own: the program's front prints it with no library loaded.

namespace kelvora::cli {

[[nodiscard]] const char* helpText();

}  // namespace kelvora::cli

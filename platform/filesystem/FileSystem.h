#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kelvora::platform {

// Length in bytes of the regular file at `path`, found with stat (links followed).
// Anything that is not a regular file, or cannot be examined, gives no length.
[[nodiscard]] std::optional<std::int64_t> fileLength(const std::filesystem::path& path);

// What a path names, links followed: nothing that can be examined, a regular file, or
// something else (a folder, a FIFO, a device, a socket).
enum class PathKind { Absent, RegularFile, Other };
[[nodiscard]] PathKind pathKind(const std::filesystem::path& path);

// The platform's own description of an errno value (strerror text).
[[nodiscard]] std::string errorDescription(int error);

}  // namespace kelvora::platform

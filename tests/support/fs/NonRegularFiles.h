#pragma once

// Paths that are not regular files, made inside a test folder, and a watchdog that turns a
// call which would wait for ever (an open of a FIFO without a writer, a read of a device
// without end) into a failed test instead of a hung one.

#include "tests/support/Watchdog.h"

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace kelvora::testsupport {

enum class SpecialKind { Fifo, Folder, DeviceLink, DanglingLink };

inline const char* nameOf(SpecialKind kind)
{
    switch (kind) {
    case SpecialKind::Fifo:
        return "Fifo";
    case SpecialKind::Folder:
        return "Folder";
    case SpecialKind::DeviceLink:
        return "DeviceLink";
    case SpecialKind::DanglingLink:
        return "DanglingLink";
    }
    return "";
}

// Makes a special path at `path`; false if the system refused.
inline bool makeSpecial(SpecialKind kind, const std::filesystem::path& path)
{
    std::error_code error;
    switch (kind) {
    case SpecialKind::Fifo:
        return ::mkfifo(path.c_str(), 0600) == 0;
    case SpecialKind::Folder:
        return std::filesystem::create_directory(path, error);
    case SpecialKind::DeviceLink:  // a device whose reading never ends
        std::filesystem::create_symlink("/dev/zero", path, error);
        return !error;
    case SpecialKind::DanglingLink:
        std::filesystem::create_symlink(path.parent_path() / "gone-for-good", path, error);
        return !error;
    }
    return false;
}

}  // namespace kelvora::testsupport

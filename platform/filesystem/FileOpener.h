#pragma once

#include "platform/filesystem/File.h"

#include <filesystem>

namespace kelvora::platform {

enum class OpenMode {
    Read,             // existing regular file, read only; never waits on a FIFO or device
    ReadWriteCreate,  // read and write, created when missing, never shortened by the open
};

// The outcome of an open: the file, or the errno that the platform gave. A path opened for
// reading that is not a regular file is refused with notRegular set (error EINVAL).
struct OpenResult {
    File file;
    int error = 0;
    bool notRegular = false;
    // For reads: the file's length when it was checked to be regular; -1 when not known.
    std::int64_t length = -1;
    // For reads: which file it is, from the same check (0, 0 when not known).
    FileIdentity identity = {};
};

// Seam in front of open(2): tests put their own in to make an open fail with a chosen errno,
// which a test running as root could not provoke through file permissions.
class FileOpener {
public:
    virtual ~FileOpener() = default;
    [[nodiscard]] virtual OpenResult open(const std::filesystem::path& path, OpenMode mode) = 0;
};

// Opens through the operating system.
FileOpener& systemFileOpener();

}  // namespace kelvora::platform

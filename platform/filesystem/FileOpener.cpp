#include "platform/filesystem/FileOpener.h"

#include <fcntl.h>

#include <cerrno>
#include <utility>

namespace kelvora::platform {
namespace {

class SystemFileOpener final : public FileOpener {
public:
    OpenResult open(const std::filesystem::path& path, OpenMode mode) override
    {
        // O_NONBLOCK keeps the open of a FIFO without a writer (or of a device) from
        // waiting for ever, O_NOCTTY a terminal from becoming ours; what is opened is then
        // checked to be a regular file, for which neither flag changes anything.
        const int flags = mode == OpenMode::Read ? O_RDONLY | O_NONBLOCK | O_NOCTTY : O_RDWR | O_CREAT;
        int descriptor = -1;
        do {
            descriptor = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
        } while (descriptor < 0 && errno == EINTR);
        if (descriptor < 0)
            return {File{}, errno};
        File file{descriptor};
        if (mode != OpenMode::Read)
            return {std::move(file), 0};
        const std::optional<RegularFileStatus> status = file.regularStatus();
        if (!status)
            return {File{}, EINVAL, true};
        return {std::move(file), 0, false, status->length, status->identity};
    }
};

}  // namespace

FileOpener& systemFileOpener()
{
    static SystemFileOpener opener;
    return opener;
}

}  // namespace kelvora::platform

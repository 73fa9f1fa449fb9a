#include "platform/filesystem/FileOpener.h"

#include <fcntl.h>

#include <cerrno>

namespace kelvora::platform {
namespace {

class SystemFileOpener final : public FileOpener {
public:
    OpenResult open(const std::filesystem::path& path, OpenMode mode) override
    {
        const int flags = mode == OpenMode::Read ? O_RDONLY : O_RDWR | O_CREAT;
        int descriptor = -1;
        do {
            descriptor = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
        } while (descriptor < 0 && errno == EINTR);
        if (descriptor < 0)
            return {File{}, errno};
        return {File{descriptor}, 0};
    }
};

}  // namespace

FileOpener& systemFileOpener()
{
    static SystemFileOpener opener;
    return opener;
}

}  // namespace kelvora::platform

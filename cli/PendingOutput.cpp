#include "cli/PendingOutput.h"

#include "cli/Messages.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::cli {

namespace {

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

PendingOutput::PendingOutput(const std::filesystem::path& target) : m_target(target)
{
    // Hidden and unique, in the same folder: the final rename stays on one file system.
    std::string name = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        m_error = systemReason(errno);
        return;
    }
    // mkstemp makes it private to its owner; a video gets the usual rights of a new file.
    (void)::fchmod(fd, 0666 & ~currentUmask());
    ::close(fd);
    m_path = name;
}

PendingOutput::~PendingOutput()
{
    if (!m_committed && created())
        (void)::unlink(m_path.c_str());
}

bool PendingOutput::commit()
{
    if (::rename(m_path.c_str(), m_target.c_str()) != 0) {
        m_error = systemReason(errno);
        return false;
    }
    m_committed = true;
    return true;
}

std::filesystem::path outputTarget(const std::filesystem::path& output)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(output, error);
    const std::filesystem::path path = error ? output : absolute;
    if (!std::filesystem::is_symlink(path, error))
        return path;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path : resolved;
}

}  // namespace kelvora::cli

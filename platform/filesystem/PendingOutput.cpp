#include "platform/filesystem/PendingOutput.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::platform {

namespace {

namespace fs = std::filesystem;

// The limit the system itself puts on a chain of symbolic links (ELOOP).
constexpr int kMaxLinkHops = 40;
// Of the target's name in the hidden one: with the dots and the suffix, within NAME_MAX (255).
constexpr std::size_t kLongestStem = 240;

std::string randomSuffix(std::mt19937& random)
{
    static constexpr std::array<char, 62> kLetters{
        'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u',
        'v', 'w', 'x', 'y', 'z', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P',
        'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    std::string suffix(6, ' ');
    for (char& c : suffix)
        c = kLetters[pick(random)];
    return suffix;
}

// A replaced video keeps who may read it: its permission bits, and its owner and group where
// the system lets us give them (root, or a group we belong to). A group that could not be
// kept gets no more than everyone else, so the bits never open the file to another group.
void takeRightsOf(int fd, const fs::path& target)
{
    struct stat old {};
    if (::stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode))
        return;  // a new file: the mode given to open, less the umask, as for any new file
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    mode_t mode = old.st_mode & 0777;
    struct stat made {};
    if (::fstat(fd, &made) != 0 || made.st_gid != old.st_gid)
        mode = (mode & ~mode_t{S_IRWXG}) | (mode & S_IRWXG & ((mode & S_IRWXO) << 3));
    (void)::fchmod(fd, mode);
}

// A hidden name beside the target, unique with a random suffix. A name near the system's
// limit is shortened, so that the hidden one still fits.
fs::path hiddenName(const fs::path& target, std::mt19937& random)
{
    return target.parent_path() /
           ("." + target.filename().string().substr(0, kLongestStem) + "." + randomSuffix(random));
}

FileIdentity identityOf(const struct stat& status)
{
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

PendingOutput::PendingOutput(const fs::path& target, Placement placement) : m_target(target)
{
    if (placement == Placement::InPlace) {
        const int fd = ::open(target.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            m_error = errno;
            return;
        }
        struct stat made {};
        if (::fstat(fd, &made) == 0)
            m_identity = identityOf(made);
        ::close(fd);
        m_path = target;
        m_inPlace = true;
        return;
    }
    if (placement == Placement::Unnamed && createUnnamed())
        return;
    createBeside();
}

void PendingOutput::createBeside()
{
    // Hidden and unique, in the same folder: the final rename stays on one file system. Made
    // with the mode of any new file, so the umask and a folder's default ACL apply.
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path name = hiddenName(m_target, random);
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            m_error = errno;
            if (m_error == EEXIST)
                continue;
            return;
        }
        m_error = 0;
        takeRightsOf(fd, m_target);
        ::close(fd);
        m_path = name;
        return;
    }
}

bool PendingOutput::createUnnamed()
{
    const fs::path folder = m_target.parent_path().empty() ? fs::path(".") : m_target.parent_path();
    Descriptor file(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    const fs::path opener = "/proc/self/fd/" + std::to_string(file.get());
    // Named later through /proc: where either is missing, a hidden file beside instead.
    if (!file.valid() || ::access(opener.c_str(), F_OK) != 0)
        return false;
    takeRightsOf(file.get(), m_target);
    m_unnamed = std::move(file);
    m_path = opener;
    return true;
}

PendingOutput::~PendingOutput()
{
    if (m_unnamed.valid())
        return;  // it goes with its descriptor, named or not
    if (!m_committed && created() && (!m_inPlace || stillOurs()))
        (void)::unlink(m_path.c_str());
}

bool PendingOutput::stillOurs() const
{
    struct stat there {};
    return ::lstat(m_path.c_str(), &there) == 0 && identityOf(there) == m_identity;
}

void PendingOutput::followRenewedFile(const FileIdentity& renewed) { m_identity = renewed; }

bool PendingOutput::commit(Replace replace)
{
    if (m_inPlace) {
        // Another writer may have renamed its own file over this one (asked to replace it).
        if (!stillOurs()) {
            m_error = EEXIST;
            m_committed = true;  // what has the name now is not ours to remove
            return false;
        }
        m_committed = true;
        return true;
    }
    if (m_unnamed.valid())
        return commitUnnamed(replace);
    if (replace == Replace::Never ? !renameWithoutReplacing() : ::rename(m_path.c_str(), m_target.c_str()) != 0) {
        if (m_error == 0)
            m_error = errno;
        return false;
    }
    m_committed = true;
    return true;
}

bool PendingOutput::commitUnnamed(Replace replace)
{
    const fs::path opener = m_path;
    if (replace == Replace::Never) {
        // A link fails with EEXIST where anything has the name: nothing is replaced.
        if (::linkat(AT_FDCWD, opener.c_str(), AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            m_error = errno;
            return false;
        }
    } else {
        // A hidden name for a moment, then the target's in one step.
        const fs::path hidden = linkHidden();
        if (hidden.empty())
            return false;
        if (::rename(hidden.c_str(), m_target.c_str()) != 0) {
            m_error = errno;
            (void)::unlink(hidden.c_str());
            return false;
        }
    }
    m_committed = true;
    m_unnamed.reset();
    m_path = m_target;
    return true;
}

fs::path PendingOutput::linkHidden()
{
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path hidden = hiddenName(m_target, random);
        if (::linkat(AT_FDCWD, m_path.c_str(), AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return hidden;
        if (errno != EEXIST)
            break;
    }
    m_error = errno;
    return {};
}

bool PendingOutput::commitOver(const FileIdentity& renewed)
{
    if (m_committed || !created())
        return false;
    // The file made here under a name of its own: swapping names needs one on both sides.
    const fs::path hidden = m_unnamed.valid() ? linkHidden() : m_path;
    if (hidden.empty())
        return false;
    struct stat made {};
    const bool known = ::lstat(hidden.c_str(), &made) == 0;
    if (!known || !exchangeIfStill(hidden, renewed)) {
        if (m_error == 0)
            m_error = known ? EEXIST : errno;
        if (m_unnamed.valid())
            (void)::unlink(hidden.c_str());  // the unnamed file itself goes with its descriptor
        return false;
    }
    m_committed = true;
    m_unnamed.reset();
    m_path = m_target;
    m_identity = identityOf(made);
    return true;
}

bool PendingOutput::exchangeIfStill(const fs::path& hidden, const FileIdentity& renewed)
{
    m_error = 0;
    if (::renameat2(AT_FDCWD, hidden.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            m_error = errno;  // ENOENT: nothing has the name any more
            return false;
        }
        // No exchange on this file system: look, then rename. Only a file put at the name in the
        // moment between the two is replaced.
        struct stat there {};
        if (::lstat(m_target.c_str(), &there) != 0 || identityOf(there) != renewed) {
            m_error = errno == ENOENT ? ENOENT : EEXIST;
            return false;
        }
        if (::rename(hidden.c_str(), m_target.c_str()) != 0) {
            m_error = errno;
            return false;
        }
        return true;
    }
    // The names are swapped: the hidden one now leads to what had the target's.
    struct stat was {};
    if (::lstat(hidden.c_str(), &was) == 0 && identityOf(was) == renewed) {
        (void)::unlink(hidden.c_str());
        return true;
    }
    // Another writer's file: it gets its name back, and nothing of it is lost.
    if (::renameat2(AT_FDCWD, hidden.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) != 0)
        (void)::rename(hidden.c_str(), m_target.c_str());
    m_error = EEXIST;
    return false;
}

bool PendingOutput::renameWithoutReplacing()
{
    if (::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, m_target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // The file system cannot rename without replacing. A second name given with link() is
    // just as safe: it also fails with EEXIST when something has the name.
    if (::link(m_path.c_str(), m_target.c_str()) == 0) {
        (void)::unlink(m_path.c_str());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return false;
    // No hard links either (FAT, some network shares): look, then rename. Only a file that
    // appears in the moment between the two is replaced.
    struct stat there {};
    if (::lstat(m_target.c_str(), &there) == 0) {
        m_error = EEXIST;
        return false;
    }
    return ::rename(m_path.c_str(), m_target.c_str()) == 0;
}

fs::path outputTarget(const fs::path& output)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(output, error);
    fs::path path = error ? output : absolute;
    // Link by link, so that a link to nothing still names the file it would make.
    int hops = 0;
    for (; hops < kMaxLinkHops && fs::is_symlink(path, error); ++hops) {
        const fs::path next = fs::read_symlink(path, error);
        if (error)
            break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    if (hops == 0)
        return path;
    // The folders on the way may be links too, and ".." goes up from where they lead.
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : resolved;
}

}  // namespace kelvora::platform

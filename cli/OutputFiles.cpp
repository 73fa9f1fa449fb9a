#include "cli/OutputFiles.h"

#include "cli/Messages.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kelvora::cli {

namespace {

namespace fs = std::filesystem;

platform::FileIdentity identityOf(const struct stat& info)
{
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// The file a path leads to now; unknown when there is none.
platform::FileIdentity identityAt(const fs::path& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? identityOf(info) : platform::FileIdentity{};
}

// The file the --list run reads: the one named, or what standard input is.
platform::FileIdentity listIdentity(const std::string& list)
{
    if (list.empty())
        return {};
    struct stat info {};
    if (list == "-")
        return ::fstat(STDIN_FILENO, &info) == 0 ? identityOf(info) : platform::FileIdentity{};
    return identityAt(list);
}

}  // namespace

std::string outputRefusal(const std::string& given, const fs::path& target, bool overwrite, bool& exists)
{
    struct stat info {};
    exists = ::stat(target.c_str(), &info) == 0;
    if (!exists && !overwrite && ::lstat(given.c_str(), &info) == 0)
        return given + " esiste già come collegamento simbolico a un file che non c'è: con -y "
                       "(--overwrite) si crea dove punta";
    if (exists && S_ISDIR(info.st_mode))
        return given + " è una cartella: indica il nome del file da creare";
    if (exists && !S_ISREG(info.st_mode))
        return given + " esiste e non è un file normale";
    if (exists && !overwrite)
        return given + " esiste già: per sostituirlo aggiungi -y (--overwrite)";
    return {};
}

int reportRefusal(const RunRefusal& refusal)
{
    if (refusal.status == kExitUsage)
        printUsageError(printable(refusal.text));
    else
        say(refusal.text);
    return refusal.status;
}

RunRefusal hashesRefusal(const Invocation& invocation, const std::string& video)
{
    const std::string& sums = invocation.framemd5;
    if (sums.empty() || sums == "-")
        return {};
    const fs::path target = platform::outputTarget(sums);
    const std::string cannot = "le impronte non si scrivono in " + sums;
    // The video first: with -y it would otherwise pass as a file to replace.
    const platform::FileIdentity there = identityAt(target);
    std::error_code error;
    if (fs::weakly_canonical(target, error) == fs::weakly_canonical(platform::outputTarget(video), error) ||
        (there.known() && there == identityAt(video)))
        return {cannot + ", che è il video"};
    bool exists = false;
    if (std::string refusal = outputRefusal(sums, target, invocation.overwrite, exists); !refusal.empty())
        return {refusal};
    const fs::path folder = target.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error))
        return {cannot + ": la cartella " + folder.string() + " non esiste", kExitFailed};
    if (!there.known())
        return {};  // a new file is none of the inputs
    if (there == listIdentity(invocation.list))
        return {cannot + ", che è l'elenco dei percorsi letto da --list"};
    for (const std::string& item : invocation.items)
        if (item != video && identityAt(item) == there)
            return {hashesAreAFrame(sums)};
    return {};
}

platform::FileIdentity hashesIdentity(const Invocation& invocation)
{
    const std::string& sums = invocation.framemd5;
    if (sums.empty() || sums == "-")
        return {};
    return identityAt(platform::outputTarget(sums));
}

std::string hashesAreAFrame(const std::string& sums)
{
    return "le impronte non si scrivono in " + sums + ", che è uno dei fotogrammi";
}

HashesOut::~HashesOut()
{
    if (m_file)
        std::fclose(m_file);
}

platform::Result<std::FILE*> HashesOut::open()
{
    if (m_path == "-")
        return stdout;
    // Unnamed until every line is in it: a run cut short, even by a kill, leaves no half list.
    m_pending = std::make_unique<platform::PendingOutput>(platform::outputTarget(m_path), platform::Placement::Unnamed);
    if (m_pending->created())
        m_file = std::fopen(m_pending->path().c_str(), "we");
    if (!m_file)
        return platform::Failure{systemReason(m_pending->created() ? errno : m_pending->error())};
    return m_file;
}

platform::Status HashesOut::finish()
{
    if (m_path == "-") {
        if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0)
            return {};
        return platform::Failure{systemReason(errno)};
    }
    const bool flushed = std::fflush(m_file) == 0 && std::ferror(m_file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(std::exchange(m_file, nullptr)) == 0;
    if (!flushed || !closed)
        return platform::Failure{systemReason(flushed ? errno : flushError)};
    // A file that appeared at the name meanwhile is replaced only when the user said so.
    if (!m_pending->commit(m_overwrite ? platform::Replace::Always : platform::Replace::Never))
        return platform::Failure{m_pending->error() == EEXIST
                                     ? "è comparso un file con quel nome mentre si scrivevano (manca -y)"
                                     : systemReason(m_pending->error())};
    return {};
}

}  // namespace kelvora::cli

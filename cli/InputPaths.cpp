#include "cli/InputPaths.h"

#include "cli/Messages.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::cli {

namespace {

// The longest name the system takes for a path: PATH_MAX counts the terminating NUL.
constexpr std::size_t kLongestPath = PATH_MAX - 1;
// Empty entries in a row that no list of paths holds: /dev/zero with --null is endless.
constexpr std::size_t kMostEmptyInARow = 4096;

}  // namespace

PathList::PathList(std::FILE* in, bool nullSeparated) : m_in(in), m_nullSeparated(nullSeparated)
{
    m_entry.reserve(kLongestPath);
}

ListInput::ListInput(const std::string& list, bool nullSeparated)
{
    if (list.empty())
        return;
    std::FILE* in = stdin;
    if (list != "-") {
        m_file.reset(std::fopen(list.c_str(), "re"));
        if (!m_file) {
            m_error = errno;
            return;
        }
        in = m_file.get();
    }
    m_paths.emplace(in, nullSeparated);
}

std::optional<std::string> PathList::next()
{
    const int separator = m_nullSeparated ? '\0' : '\n';
    for (std::size_t empty = 0; m_stop == Stop::None; ++empty) {
        if (empty == kMostEmptyInARow) {
            m_stop = Stop::OnlyEmpty;
            return std::nullopt;
        }
        m_entry.clear();
        ++m_number;
        int c = 0;
        while ((c = ::getc_unlocked(m_in)) != EOF && c != separator) {
            // A path holds no NUL: in a list of lines it means a binary file given by mistake.
            if (c == '\0') {
                m_stop = Stop::NulInLine;
                return std::nullopt;
            }
            // Stops a file without separators (an endless stream of letters, say) before it grows.
            if (m_entry.size() == kLongestPath) {
                m_stop = Stop::TooLong;
                return std::nullopt;
            }
            m_entry.push_back(static_cast<char>(c));
        }
        if (c == EOF && std::ferror(m_in) != 0) {
            m_stop = Stop::ReadError;
            return std::nullopt;
        }
        if (!m_entry.empty())
            return m_entry;
        if (c == EOF)
            return std::nullopt;
    }
    return std::nullopt;
}

std::string PathList::problem() const
{
    const std::string entry = (m_nullSeparated ? "la voce " : "la riga ") + std::to_string(m_number);
    switch (m_stop) {
    case Stop::None:
        return {};
    case Stop::ReadError:
        return "non si legge fino in fondo";
    case Stop::TooLong:
        return entry + " supera la lunghezza massima di un percorso (" + std::to_string(kLongestPath) +
               " byte): non è un elenco di percorsi?";
    case Stop::OnlyEmpty:
        return std::to_string(kMostEmptyInARow) + (m_nullSeparated ? " voci vuote" : " righe vuote") +
               " di seguito, fino alla " + std::to_string(m_number) + ": non è un elenco di percorsi?";
    case Stop::NulInLine:
        return entry + " contiene un carattere NUL: per un elenco di percorsi finiti da NUL aggiungi --null";
    }
    return {};
}

std::string unreadableReason(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return "è un collegamento simbolico a un file che non esiste";
        return error == ENOENT ? std::string() : systemReason(error);
    }
    if (!S_ISREG(info.st_mode))
        return {};
    if (::access(path.c_str(), R_OK) != 0)
        return systemReason(errno);
    return {};
}

}  // namespace kelvora::cli

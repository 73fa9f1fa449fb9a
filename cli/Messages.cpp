#include "cli/Messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kelvora::cli {

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

void say(std::string_view text)
{
    std::string line;
    for (std::size_t at = 0;;) {
        const std::size_t pause = text.find("\r\n", at);
        line += printable(text.substr(at, pause - at));
        if (pause == std::string_view::npos)
            break;
        line += ' ';
        at = pause + 2;
    }
    std::fprintf(stderr, "kelvora-maker: %s\n", line.c_str());
}

std::string systemReason(int error)
{
    switch (error) {
    case ENOENT:
        return "non esiste";
    case EACCES:
    case EPERM:
        return "permesso negato";
    case ELOOP:
        return "troppi collegamenti simbolici (un collegamento che rimanda a se stesso?)";
    case ENOTDIR:
        return "una parte del percorso non è una cartella";
    case ENAMETOOLONG:
        return "il nome è troppo lungo";
    case EISDIR:
        return "è una cartella";
    case ENOSPC:
        return "il disco è pieno";
    case EROFS:
        return "il file system è di sola lettura";
    case EDQUOT:
        return "la quota del disco è esaurita";
    case EIO:
        return "errore di lettura o scrittura del disco";
    default:
        return std::string("errore del sistema: ") + std::strerror(error);
    }
}

}  // namespace kelvora::cli

#include "slideshow/ConcatFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kelvora::slideshow {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void skipSpaces(std::string_view& text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
}

// The next word up to a space, as ffmpeg takes a directive's name.
std::string_view keyword(std::string_view& text)
{
    skipSpaces(text);
    std::size_t end = 0;
    while (end < text.size() && !isSpace(text[end]))
        ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    skipSpaces(text);
    return word;
}

// The next token as ffmpeg's av_get_token reads it: quotes keep what they hold as it is, a
// backslash keeps the character after it, and an unquoted space ends the token.
std::string token(std::string_view& text)
{
    skipSpaces(text);
    std::string out;
    while (!text.empty() && !isSpace(text.front())) {
        const char c = text.front();
        text.remove_prefix(1);
        if (c == '\\' && !text.empty()) {
            out += text.front();
            text.remove_prefix(1);
        } else if (c == '\'') {
            const std::size_t close = text.find('\'');
            out.append(text.substr(0, close));
            text.remove_prefix(close == std::string_view::npos ? text.size() : close + 1);
        } else {
            out += c;
        }
    }
    skipSpaces(text);
    return out;
}

std::string lineText(int line) { return "riga " + std::to_string(line) + ": "; }

std::string systemReason(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "non esiste";
    case EACCES:
    case EPERM:
        return "non si legge: permesso negato";
    case ELOOP:
        return "non si legge: troppi collegamenti simbolici";
    default:
        return std::string("non si legge (") + std::strerror(error) + ")";
    }
}

}  // namespace

ConcatList parseConcat(std::string_view text, const std::filesystem::path& folder)
{
    ConcatList out;
    int number = 0;
    const auto fail = [&out, &number](const std::string& why) {
        out.entries.clear();
        out.error = lineText(number) + why;
        return out;
    };
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (line.find('\0') != std::string_view::npos)
            return fail("contiene un carattere nullo: non è un elenco di testo");
        const std::string_view directive = keyword(line);
        if (directive.empty() || directive.front() == '#')
            continue;
        if (directive == "ffconcat") {
            if (keyword(line) != "version" || keyword(line) != "1.0" || !line.empty())
                return fail("si attende «ffconcat version 1.0»");
        } else if (directive == "file") {
            std::string name = token(line);
            if (name.empty())
                return fail("«file» vuole il nome di un'immagine");
            if (!line.empty())
                return fail("dopo il nome dell'immagine c'è altro (un nome con spazi va tra apici: 'a b.jpg')");
            const std::filesystem::path given(std::move(name));
            out.entries.push_back({(given.is_absolute() ? given : folder / given).string(), std::nullopt, number});
        } else if (directive == "duration") {
            const std::string value = token(line);
            const std::optional<Duration> duration = parseDuration(value);
            if (out.entries.empty())
                return fail("«duration» prima di ogni «file»: a quale immagine va?");
            if (!duration || !line.empty())
                return fail("«duration» vuole una durata in secondi maggiore di zero (3, 2.5, 500ms, 1:30), non '" +
                            value + "'");
            out.entries.back().duration = duration;
        } else {
            return fail("«" + std::string(directive) +
                        "» non vale per le immagini: un elenco di presentazione prende solo «file» e «duration»");
        }
    }
    return out;
}

ConcatList readConcatFile(const std::filesystem::path& path)
{
    ConcatList out;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        out.error = systemReason(errno);
        return out;
    }
    if (!S_ISREG(info.st_mode)) {
        out.error = "non è un file normale";
        return out;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kLongestConcatFile) {
        out.error = "è troppo grande per un elenco (più di 256 MiB)";
        return out;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    if (!in || !in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        out.error = "non si legge";
        return out;
    }
    out = parseConcat(text, path.parent_path());
    if (!out.ok())
        return out;
    for (const ConcatEntry& entry : out.entries) {
        struct stat picture {};
        if (::stat(entry.path.c_str(), &picture) != 0) {
            const int error = errno;
            out.error = lineText(entry.line) + entry.path + " " + systemReason(error);
            out.entries.clear();
            return out;
        }
    }
    return out;
}

}  // namespace kelvora::slideshow

#include "cli/CommandLine.h"
#include "cli/HelpText.h"

#include "video/VideoSink.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace kelvora::cli {

namespace {

// Qt's options for the window's application object, which takes them with one dash or two.
struct QtOption {
    std::string_view name;
    bool takesValue;
};
constexpr std::array kQtOptions{
    QtOption{"platform", true},        QtOption{"platformpluginpath", true},
    QtOption{"platformtheme", true},   QtOption{"plugin", true},
    QtOption{"qwindowgeometry", true}, QtOption{"geometry", true},
    QtOption{"qwindowicon", true},     QtOption{"icon", true},
    QtOption{"qwindowtitle", true},    QtOption{"title", true},
    QtOption{"display", true},         QtOption{"name", true},
    QtOption{"session", true},         QtOption{"style", true},
    QtOption{"stylesheet", true},      QtOption{"visual", true},
    QtOption{"reverse", false},        QtOption{"widgetcount", false},
    QtOption{"nograb", false},         QtOption{"dograb", false},
    QtOption{"sync", false},
};

std::optional<QtOption> qtOption(std::string_view argument)
{
    if (!argument.starts_with('-'))
        return std::nullopt;
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    for (const QtOption& option : kQtOptions)
        if (option.name == argument)
            return option;
    return std::nullopt;
}

class Parser {
public:
    explicit Parser(std::span<char* const> arguments) : m_arguments(arguments) {}

    CommandLine run()
    {
        bool onlyItems = false;
        for (m_next = 0; m_next < m_arguments.size() && m_line.action != Action::UsageError;) {
            const std::string_view argument = m_arguments[m_next++];
            if (onlyItems || argument == "-" || !argument.starts_with('-'))
                m_line.invocation.items.emplace_back(argument);
            else if (argument == "--")
                onlyItems = true;
            else if (const auto qt = qtOption(argument))
                takeQtOption(*qt);
            else if (argument.starts_with("--"))
                takeLong(argument.substr(2));
            else
                takeShort(argument.substr(1));
        }
        if (m_line.action == Action::UsageError || m_help || m_version) {
            if (m_line.action != Action::UsageError)
                m_line.action = m_help ? Action::Help : Action::Version;
            return std::move(m_line);
        }
        checkCombination();
        return std::move(m_line);
    }

private:
    void fail(std::string error)
    {
        if (m_line.action != Action::UsageError)
            m_line.error = std::move(error);
        m_line.action = Action::UsageError;
    }

    std::optional<std::string_view> value(std::string_view option)
    {
        if (m_next < m_arguments.size())
            return m_arguments[m_next++];
        fail(std::string(option) + " vuole un valore");
        return std::nullopt;
    }

    void takeQtOption(const QtOption& option)
    {
        if (!option.takesValue)
            return;
        if (const auto given = value("--" + std::string(option.name)); given && option.name == "platform")
            m_line.invocation.qtPlatform = *given;
    }

    // --crossfade, --fade-in, --fade-out: a duration.
    void setFade(std::string_view longName, std::string_view given)
    {
        slideshow::Fades& fades = m_line.invocation.fades;
        std::optional<slideshow::Duration>& fade = longName == "crossfade" ? fades.crossfade
                                                   : longName == "fade-in" ? fades.fadeIn
                                                                           : fades.fadeOut;
        fade = slideshow::parseDuration(given);
        if (!fade)
            fail("--" + std::string(longName) + " vuole una durata in secondi maggiore di zero (1, 0.5, 500ms), non '" +
                 std::string(given) + "'");
    }

    // Options that take a value: -o and --output, --fps, --codec, --crf, --list, --framemd5,
    // --concat, --audio and the fades.
    void setValue(std::string_view longName, std::string_view given)
    {
        Invocation& invocation = m_line.invocation;
        if (longName == "crossfade" || longName == "fade-in" || longName == "fade-out") {
            setFade(longName, given);
        } else if (longName == "concat" || longName == "audio") {
            (longName == "concat" ? invocation.concat : invocation.audio) = given;
            if (given.empty())
                fail("--" + std::string(longName) + " vuole il nome di un file");
        } else if (longName == "codec") {
            m_codecGiven = true;
            if (const auto codec = codec::codecFromName(given))
                invocation.codec = *codec;
            else
                fail("--codec vuole raw, ffv1, png o h264, non '" + std::string(given) + "'");
        } else if (longName == "min-psnr") {
            m_minPsnrGiven = true;
            const std::string text(given);
            char* end = nullptr;
            const double floor = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(floor > 0 && floor <= 100))
                fail("--min-psnr vuole i decibel sotto i quali un fotogramma non va (per esempio 40), non '" + text +
                     "'");
            else
                invocation.minPsnr = floor;
        } else if (longName == "crf") {
            m_crfGiven = true;
            const std::string text(given);
            char* end = nullptr;
            const long crf = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || crf < 1 || crf > 51)
                fail("--crf vuole un intero da 1 (la qualità migliore) a 51, non '" + text + "'");
            else
                invocation.crf = static_cast<int>(crf);
        } else if (longName == "size") {
            m_framingGiven = true;
            if (const auto size = photo::parseOutputSize(given))
                invocation.framing.size = *size;
            else
                fail("--size vuole LxA con lati pari da 16 a 8192 (1920x1080), 720p, 1080p, 4k o original, non '" +
                     std::string(given) + "'");
        } else if (longName == "fit") {
            m_framingGiven = true;
            if (const auto fit = photo::parseFit(given))
                invocation.framing.fit = *fit;
            else
                fail("--fit vuole letterbox o crop, non '" + std::string(given) + "'");
        } else if (longName == "background") {
            m_framingGiven = true;
            if (const auto colour = photo::parseColour(given))
                invocation.framing.background = *colour;
            else
                fail("--background vuole un colore come #RRGGBB o un nome (black, white, grey...), non '" +
                     std::string(given) + "'");
        } else if (longName == "output") {
            invocation.output = given;
            m_outputGiven = true;
        } else if (longName == "fps") {
            m_fpsGiven = true;
            invocation.rateGiven = true;
            if (const auto rate = video::streamRateFromText(given))
                invocation.rate = *rate;
            else
                fail("--fps vuole da 1/3600 (un fotogramma all'ora) a 1000 fotogrammi al secondo: un intero, un "
                     "decimale di al massimo tre cifre (0.5), una frazione (30000/1001) o ntsc, pal, film, "
                     "ntsc-film; non '" +
                     std::string(given) + "'");
        } else if (longName == "framemd5") {
            invocation.framemd5 = given;
            if (given.empty())
                fail("--framemd5 vuole il nome del file delle impronte (- per lo standard output)");
        } else {
            invocation.list = given;
            m_listGiven = true;
        }
    }

    bool setFlag(std::string_view longName)
    {
        Invocation& invocation = m_line.invocation;
        if (longName == "overwrite")
            invocation.overwrite = true;
        else if (longName == "null")
            invocation.nullSeparated = true;
        else if (longName == "progress")
            invocation.progress = true;
        else if (longName == "verify")
            invocation.verify = true;
        else if (longName == "fit-to-audio")
            invocation.fitToAudio = true;
        else if (longName == "help")
            m_help = true;
        else if (longName == "version")
            m_version = true;
        else
            return false;
        return true;
    }

    void takeLong(std::string_view body)
    {
        const std::size_t equals = body.find('=');
        const std::string_view name = body.substr(0, equals);
        const bool valued = name == "output" || name == "fps" || name == "codec" || name == "crf" ||
                            name == "min-psnr" || name == "list" || name == "framemd5" || name == "size" ||
                            name == "fit" || name == "background" || name == "concat" || name == "audio" ||
                            name == "crossfade" || name == "fade-in" || name == "fade-out";
        if (valued) {
            if (equals != std::string_view::npos)
                setValue(name, body.substr(equals + 1));
            else if (const auto given = value("--" + std::string(name)))
                setValue(name, *given);
        } else if (equals != std::string_view::npos && setFlag(name)) {
            fail("--" + std::string(name) + " non vuole un valore");
        } else if (!setFlag(name)) {
            unknown("--" + std::string(body));
        }
    }

    // Short options may be grouped (-yo VIDEO); -o takes the rest of its word or the next.
    void takeShort(std::string_view letters)
    {
        for (std::size_t i = 0; i < letters.size(); ++i) {
            switch (letters[i]) {
            case 'o':
                if (i + 1 < letters.size())
                    setValue("output", letters.substr(i + 1));
                else if (const auto given = value("-o"))
                    setValue("output", *given);
                return;
            case 'y':
                setFlag("overwrite");
                break;
            case 'h':
            case '?':
                setFlag("help");
                break;
            case 'v':
                setFlag("version");
                break;
            default:
                unknown("-" + std::string(letters));
                return;
            }
        }
    }

    void unknown(const std::string& argument)
    {
        fail("opzione sconosciuta '" + argument + "' (per un file che comincia con - scrivi ./" + argument +
             " o mettilo dopo --)");
    }

    // What a slideshow's options ask of the rest; empty when they fit.
    std::string slideshowProblem() const
    {
        const Invocation& invocation = m_line.invocation;
        if (!invocation.slideshow() && !invocation.fitToAudio)
            return {};
        if (!m_outputGiven && !invocation.verify)
            return "--concat, --audio e le dissolvenze valgono solo con --output o --verify";
        if (invocation.fitToAudio && invocation.audio.empty())
            return "--fit-to-audio vuole la musica: --audio FILE";
        if (!invocation.concat.empty() && (m_listGiven || invocation.items.size() > (m_outputGiven ? 0u : 1u)))
            return "--concat prende le immagini dal suo elenco: niente altri file, cartelle o --list";
        return {};
    }

    void checkCombination()
    {
        Invocation& invocation = m_line.invocation;
        if (const std::string problem = slideshowProblem(); !problem.empty()) {
            fail(problem);
            return;
        }
        if (!m_outputGiven) {
            if (m_fpsGiven && !(invocation.verify && invocation.slideshow()))
                fail("--fps vale solo con --output (o con --verify di una presentazione); nella finestra si sceglie "
                     "con la barra");
            else if (m_codecGiven || m_crfGiven)
                fail((m_codecGiven ? "--codec" : "--crf") +
                     std::string(" vale solo con --output; nella finestra si sceglie il tipo di file nel salvataggio"));
            else if (invocation.overwrite && !(invocation.verify && !invocation.framemd5.empty()))
                fail("-y vale solo con --output o con --framemd5");
            else if (m_minPsnrGiven && !invocation.verify)
                fail("--min-psnr vale solo con --verify");
            else if (m_framingGiven && !invocation.verify)
                fail("--size, --fit e --background valgono solo con --output o --verify; nella finestra si "
                     "scelgono nel salvataggio");
            else if (invocation.verify)
                checkVerifyAlone();
            else if (!invocation.framemd5.empty())
                fail("--framemd5 vale solo con --output o --verify");
            else if (m_listGiven || invocation.nullSeparated || invocation.progress)
                fail("--list, --null e --progress valgono solo con --output o --verify");
            return;
        }
        if (m_minPsnrGiven && !invocation.verify)
            fail("--min-psnr vale solo con --verify");
        else if (invocation.output.empty())
            fail("--output vuole il nome del video da creare");
        else if (invocation.nullSeparated && !m_listGiven)
            fail("--null vale solo con --list");
        else if (invocation.items.empty() && !m_listGiven && invocation.concat.empty())
            fail("nessun file o cartella da cui prendere i fotogrammi");
        else if (const std::string problem = containerProblem(); !problem.empty())
            fail(problem);
        else
            m_line.action = Action::Batch;
    }

    // The output's type decides the container; the codec follows it, or must fit it.
    std::string containerProblem()
    {
        Invocation& invocation = m_line.invocation;
        const video::Container container = video::containerForPath(invocation.output);
        if (!m_codecGiven)
            invocation.codec = video::defaultCodecFor(container, invocation.codec);
        if (!video::containerHolds(container, invocation.codec)) {
            if (container == video::Container::Avi)
                return "H.264 si scrive in un file MP4: chiama il video con l'estensione .mp4";
            return container == video::Container::Mp4
                       ? std::string("un file .mp4 contiene H.264: togli --codec o usa --codec h264")
                       : std::string("un file .mkv contiene FFV1: togli --codec o usa --codec ffv1");
        }
        if (m_crfGiven && invocation.codec != codec::Codec::H264)
            return "--crf vale solo per H.264 (un video .mp4)";
        // An uncompressed AVI keeps each picture's bytes as its file holds them: no fade is drawn there.
        if (invocation.fades.any() && invocation.codec == codec::Codec::Raw)
            return "le dissolvenze (--crossfade, --fade-in, --fade-out) si disegnano solo nei video che decodificano "
                   "le immagini: un AVI non compresso le tiene come sono; usa --codec ffv1, un .mkv o un .mp4";
        return {};
    }

    // --verify VIDEO.avi FILE|FOLDER...: the video is the first item, its frames the rest.
    void checkVerifyAlone()
    {
        const Invocation& invocation = m_line.invocation;
        if (invocation.nullSeparated && !m_listGiven)
            fail("--null vale solo con --list");
        else if (invocation.items.empty())
            fail("--verify vuole il video da verificare, poi i file o le cartelle dei suoi fotogrammi");
        else if (invocation.items.size() == 1 && !m_listGiven && invocation.concat.empty())
            fail("--verify vuole, dopo il video, i file o le cartelle dei suoi fotogrammi");
        else
            m_line.action = Action::Verify;
    }

    std::span<char* const> m_arguments;
    std::size_t m_next = 0;
    CommandLine m_line;
    bool m_outputGiven = false;
    bool m_fpsGiven = false;
    bool m_codecGiven = false;
    bool m_crfGiven = false;
    bool m_minPsnrGiven = false;
    bool m_framingGiven = false;
    bool m_listGiven = false;
    bool m_help = false;
    bool m_version = false;
};

}  // namespace

CommandLine parseCommandLine(std::span<char* const> arguments) { return Parser(arguments).run(); }

void printUsageError(const std::string& error)
{
    std::fprintf(stderr, "kelvora-maker: %s\nProva 'kelvora-maker --help'.\n", error.c_str());
}

std::string windowUnavailableReason(const Invocation& invocation)
{
    const char* environment = std::getenv("QT_QPA_PLATFORM");
    const std::string_view platform = !invocation.qtPlatform.empty() ? std::string_view(invocation.qtPlatform)
                                      : environment                  ? std::string_view(environment)
                                                                     : std::string_view();
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    // Another platform (offscreen, vnc, eglfs, ...) brings its own screen.
    const bool needsX = platform.starts_with("xcb");
    const bool needsWayland = platform.starts_with("wayland");
    if (!platform.empty() && !needsX && !needsWayland)
        return {};
    if ((needsX || platform.empty()) && set("DISPLAY"))
        return {};
    if ((needsWayland || platform.empty()) && set("WAYLAND_DISPLAY"))
        return {};
    return "nessuno schermo per la finestra (DISPLAY non è impostata); per creare il video senza finestra "
           "usa --output VIDEO.avi";
}

}  // namespace kelvora::cli

#include "cli/EncodeGuess.h"

#include "platform/text/NoCase.h"

#include <optional>
#include <string>
#include <string_view>

namespace kelvora::cli {

using platform::endsWithNoCase;
using platform::equalsNoCase;

namespace {

struct Guess {
    bool window = true;
    bool encodes = true;
};

Guess guessByWords(std::span<char* const> arguments)
{
    bool output = false;
    bool verify = false;
    bool encodes = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view word = arguments[i] != nullptr ? arguments[i] : "";
        if (word == "--")
            break;
        // The option's value: "--name=VALUE", or the next word.
        std::string_view name = word;
        std::optional<std::string_view> value;
        if (const std::size_t equals = word.find('='); word.starts_with("--") && equals != std::string_view::npos) {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
        } else if (i + 1 < arguments.size() && arguments[i + 1] != nullptr) {
            value = arguments[i + 1];
        }
        const std::string_view given = value.value_or("");
        if (name == "-o" || name == "--output") {
            output = true;
            encodes = encodes || endsWithNoCase(given, ".mp4") || endsWithNoCase(given, ".mkv");
        } else if (name == "--verify") {
            verify = true;
        } else if (name == "--codec") {
            encodes = encodes || !equalsNoCase(given, "raw");
        } else if (name == "--size") {
            encodes = encodes || !equalsNoCase(given, "original");
        } else if (name == "--concat" || name == "--audio") {
            encodes = true;
        }
    }
    const bool window = !output && !verify;
    return {.window = window, .encodes = window || encodes};
}

}  // namespace

bool mayEncodeByWords(std::span<char* const> arguments) { return guessByWords(arguments).encodes; }

bool windowByWords(std::span<char* const> arguments) { return guessByWords(arguments).window; }

}  // namespace kelvora::cli

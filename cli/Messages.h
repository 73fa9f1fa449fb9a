#pragma once

// The batch mode's lines on standard error: "kelvora-maker: ..." with every control character
// of the text (a new line in a file name, the message boxes' line breaks) shown as an
// escape, so one message stays one line and never moves the terminal's cursor.

#include <string>
#include <string_view>

namespace kelvora::cli {

// text with the bytes below 0x20 and 0x7f written as \n, \r, \t or \xNN, and a backslash
// doubled so the escapes read back unambiguously.
[[nodiscard]] std::string printable(std::string_view text);

// One line: "kelvora-maker: " and text made printable; a CR LF inside becomes a space.
void say(std::string_view text);

// Why the system refused a file operation (errno), in Italian.
[[nodiscard]] std::string systemReason(int error);

}  // namespace kelvora::cli

#pragma once

// The built program run to its end as a script runs it, on a machine with no display: its
// exit status and what it wrote on standard error. KELVORA_MAKER_EXE names the program.

#include "tests/support/avi/FfmpegProbe.h"

#include <filesystem>
#include <string>

namespace kelvora::cli {

struct ProgramRun {
    int status = -1;
    std::string errors;  // what it wrote on standard error
};

// Runs the program with `arguments` (shell words), its standard input fed by the shell
// command `feed` when one is given, and started through `launcher` (shell words that run the
// command after them: more environment, a limit) when one is.
inline ProgramRun run(const std::string& arguments, const std::string& feed = "", const std::string& launcher = "")
{
    ProgramRun result;
    result.status =
        testsupport::runCommand((feed.empty() ? "" : feed + " | ") + launcher +
                                    " env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" KELVORA_MAKER_EXE "' " +
                                    arguments + " 2>&1 >/dev/null",
                                result.errors);
    return result;
}

inline std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

}  // namespace kelvora::cli

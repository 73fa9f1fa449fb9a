// The program without a window: what the front starts for a run that names a video to make or
// to check. It is the program proper less the window, so it loads neither Qt's GUI libraries
// nor theirs (some thirty) and starts in a third of the time. A line that asks for the window
// after all (the front judges from the words alone) goes to the program proper, unchanged.
#include "app/StartWithoutWindow.h"
#include "cli/CommandLine.h"
#include "platform/system/HugePageStart.h"
#include "platform/system/OwnPath.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>

int main(int argc, char* argv[])
{
    const kelvora::cli::CommandLine line =
        kelvora::cli::parseCommandLine(std::span<char* const>(argv + 1, argv + argc));
    if (line.action == kelvora::cli::Action::Window) {
        const std::string program = kelvora::platform::besideOwnProgram(KELVORA_WINDOW_PROGRAM);
        const int error = kelvora::platform::startProgram(program.c_str(), argv, true);
        std::fprintf(stderr, "kelvora-maker: il programma %s non si avvia: %s\n", program.c_str(),
                     std::strerror(error));
        return 127;
    }
    if (kelvora::app::mayEncode(line))
        kelvora::platform::startOnHugePages(argv);
    return kelvora::app::runWithoutWindow(argc, argv, line).value_or(kelvora::cli::kExitUsage);
}

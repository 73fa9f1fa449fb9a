// The program's front: answers --help and --version itself, and starts the program proper
// (the window and the batch mode, beside it in libexec), or for a video to make or check the
// program without a window, for everything else, on huge pages where the run may encode. It loads no library but the C and C++ runtimes: the program
// proper loads some 160 (Qt, libav and theirs), which cost a help or a version most of its time.
#include "cli/EncodeGuess.h"
#include "cli/HelpText.h"
#include "platform/system/HugePageStart.h"
#include "platform/system/OwnPath.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

int main(int argc, char* argv[])
{
    if (argc == 2) {
        const std::string_view only = argv[1];
        if (only == "--help" || only == "-h" || only == "-?") {
            std::fputs(kelvora::cli::helpText(), stdout);
            return 0;
        }
        if (only == "--version" || only == "-v") {
            std::printf("kelvora-maker %s\n", KELVORA_VERSION);
            return 0;
        }
    }
    const auto arguments = std::span<char* const>(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    // A video to make or check needs no window: the program without one starts faster.
    const std::string program = kelvora::platform::besideOwnProgram(
        kelvora::cli::windowByWords(arguments) ? KELVORA_PROGRAM : KELVORA_BATCH_PROGRAM);
    const int error = kelvora::platform::startProgram(program.c_str(), argv, kelvora::cli::mayEncodeByWords(arguments));
    std::fprintf(stderr, "kelvora-maker: il programma %s non si avvia: %s\n", program.c_str(), std::strerror(error));
    return 127;
}

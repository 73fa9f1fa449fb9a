// The scale driver: makes a folder of frames, or adds a whole folder through the real
// window (on the X server the script starts) and saves it, printing time and peak memory of each phase.
//
// Usage: kelvora_window_driver make DIR FRAMES WIDTH HEIGHT BITS
//        kelvora_window_driver run DIR OUT.avi

#include "bench/app/BenchWindow.h"
#include "bench/avifile/BenchFrames.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

// Peak resident memory since the last reset, in KiB (VmHWM); 0 when it cannot be read.
long peakSinceResetKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

bool phase(const char* name, const std::function<bool()>& work)
{
    resetPeak();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = work();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-6s %10.3f s  peak RSS %8.1f MB  %s\n", name, seconds, peakSinceResetKiB() / 1024.0,
                ok ? "ok" : "FAILED");
    std::fflush(stdout);
    return ok;
}

int make(char** argv)
{
    const bench::Workload w{"frames", std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]), std::atoi(argv[3])};
    fs::create_directories(argv[2]);
    const std::uint64_t bytes = bench::writeBmpFiles(w, argv[2]);
    std::printf("made %d frames of %dx%dx%d, %.1f MB\n", w.frames, w.width, w.height, w.bitCount, bytes / 1e6);
    return 0;
}

int run(char** argv)
{
    const fs::path dir = argv[2];
    const fs::path output = argv[3];
    bench::BenchWindow window;
    int added = 0;
    const bool addOk = phase("add", [&] {
        added = window.addFolder(dir / "frame_00000.bmp");
        return added > 0;
    });
    std::printf("entries %d, messages %zu\n", added, window.messagesShown());
    const bool saveOk = addOk && phase("save", [&] { return window.save(output); });
    return saveOk && window.messagesShown() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 7 && std::strcmp(argv[1], "make") == 0)
        return make(argv);
    if (argc == 4 && std::strcmp(argv[1], "run") == 0)
        return run(argv);
    std::fprintf(stderr, "usage: %s make DIR FRAMES WIDTH HEIGHT BITS | run DIR OUT.avi\n", argv[0]);
    return 2;
}

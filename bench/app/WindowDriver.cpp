// The scale driver: makes a folder of frames, or adds a whole folder through the real
// window (shown on the X server the script starts) and saves it, printing time and peak
// memory of each phase. With --cold the page cache is dropped between the add and the save
// (needs root), so the save reads every frame from the disk.
//
// Usage: kelvora_window_driver make DIR FRAMES WIDTH HEIGHT BITS
//        kelvora_window_driver run DIR OUT.avi [--cold]
// `run` prints "shown RSS N KiB" (the window's fixed cost, before any entry) and one line
// per phase: "NAME SECONDS s  peak RSS N KiB  ok|FAILED".

#include "bench/app/BenchWindow.h"
#include "bench/avifile/BenchFrames.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

// A "Vm...:" figure of /proc/self/status in KiB; 0 when it cannot be read.
long statusKiB(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    return 0;
}

// Peak resident memory since the last reset (VmHWM).
long peakSinceResetKiB() { return statusKiB("VmHWM:"); }

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

bool phase(const char* name, const std::function<bool()>& work)
{
    resetPeak();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = work();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-6s %10.3f s  peak RSS %10ld KiB  %s\n", name, seconds, peakSinceResetKiB(), ok ? "ok" : "FAILED");
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

bool dropPageCache()
{
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3" << std::flush;
    return static_cast<bool>(drop);
}

int run(char** argv, bool cold)
{
    const fs::path dir = argv[2];
    const fs::path output = argv[3];
    bench::BenchWindow window;
    if (!window.showOnScreen())
        return 2;
    QCoreApplication::processEvents();  // painted and settled: what follows is the entries' cost
    std::printf("shown RSS %ld KiB\n", statusKiB("VmRSS:"));
    int added = 0;
    const bool addOk = phase("add", [&] {
        added = window.addFolder(dir / "frame_00000.bmp");
        return added > 0;
    });
    std::printf("entries %d, messages %zu\n", added, window.messagesShown());
    if (cold && !dropPageCache()) {
        std::fprintf(stderr, "cannot drop the page cache (needs root)\n");
        return 2;
    }
    const bool saveOk = addOk && phase("save", [&] { return window.save(output); });
    return saveOk && window.messagesShown() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 7 && std::strcmp(argv[1], "make") == 0)
        return make(argv);
    if ((argc == 4 || (argc == 5 && std::strcmp(argv[4], "--cold") == 0)) && std::strcmp(argv[1], "run") == 0)
        return run(argv, argc == 5);
    std::fprintf(stderr, "usage: %s make DIR FRAMES WIDTH HEIGHT BITS | run DIR OUT.avi [--cold]\n", argv[0]);
    return 2;
}

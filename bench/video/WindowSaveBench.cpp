// The whole save through the real window, as users pay for it: the window shown on an X
// server, "Salva file AVI" confirmed in the save dialog (a scripted user) until the file is
// closed. Beside it, in the same run: the save's own work without a window (b: cDIB loads
// plus the library), a plain copy of the files (c), ffmpeg's own BMP to AVI save (d) and
// `cat` of the files (e).
// Each path runs in its own child process; the window's time is the save alone, not the
// window's start-up. Run it through window-save.sh, which starts Xvfb and selects xcb.
//
// Usage: kelvora_window_save_bench [FRAMES_1080P] [FRAMES_160x120] [REPEATS]

#include "bench/app/BenchWindow.h"
#include "bench/avifile/ChildRun.h"
#include "bench/avifile/SavePaths.h"
#include "platform/toolkit/ListBox.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

// Where a child leaves the seconds of its timed part: a page shared across the fork.
double* sharedSeconds()
{
    static auto* page = static_cast<double*>(
        ::mmap(nullptr, sizeof(double), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    return page;
}

int windowSave(const bench::SaveJob& job)
{
    bench::BenchWindow window;
    if (!window.showOnScreen())
        return 1;
    for (int i = 0; i < job.workload.frames; ++i)
        window.window().lstDIBList->AddItem(QString::fromStdString((job.frameDir / bench::frameName(i)).string()));
    QCoreApplication::processEvents();  // the filled list is on screen before the clock starts
    const auto start = std::chrono::steady_clock::now();
    const bool saved = window.save(job.output);
    *sharedSeconds() = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return saved && window.messagesShown() == 0 ? 0 : 1;
}

struct Path {
    const char* name;
    std::function<int(const bench::SaveJob&)> run;
    bool timesItself = false;
};

std::vector<Path> paths()
{
    return {
        {"(b) cDIB loads + library", bench::bitmapObjectSave},
        {"(c) plain copy of the files", bench::plainCopy},
        {"(d) ffmpeg", bench::ffmpegSave},
        {"(w) window save", windowSave, true},
        {"(e) cat of the files", bench::catFiles},
    };
}

}  // namespace

int main(int argc, char** argv)
{
    const int big = argc > 1 ? std::atoi(argv[1]) : 300;
    const int small = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"); !platform || std::string(platform) != "xcb")
        std::printf("note: QT_QPA_PLATFORM is not xcb: the window's painting is not paid for (use window-save.sh)\n");
    *sharedSeconds() = 0;  // mapped here, before any fork, so every child shares it
    const fs::path root = fs::temp_directory_path() / ("kelvora-savebench-" + std::to_string(::getpid()));
    for (const auto& w : bench::standardWorkloads(big, small)) {
        std::uint64_t bytes = 0;
        const bench::SaveJob job = bench::prepareJob(w, root, root / "out.avi", bytes);
        std::printf("\n%s: %d frames, %.1f MB of BMP files (best of %d runs)\n", w.name, w.frames, bytes / 1e6,
                    repeats);
        std::printf("  %-30s %9s %10s %8s %8s %12s\n", "path", "seconds", "ms/frame", "x (b)", "x copy", "peak RSS MB");
        std::vector<double> seconds;
        std::vector<double> medians;
        for (const auto& p : paths()) {
            bench::Measure best;
            std::vector<double> runs;
            for (int r = 0; r < repeats; ++r) {
                fs::remove(job.output);
                ::sync();  // every run starts with no dirty pages of the one before
                bench::Measure m = bench::runInChild([&] { return p.run(job); });
                if (p.timesItself)
                    m.seconds = *sharedSeconds();
                if (m.ok)
                    runs.push_back(m.seconds);
                if (m.ok && (!best.ok || m.seconds < best.seconds))
                    best = m;
            }
            seconds.push_back(best.seconds);
            medians.push_back(bench::median(runs));
            std::printf("  %-30s %9.3f %10.4f %8.2f %8.2f %12.1f%s\n", p.name, best.seconds,
                        1e3 * best.seconds / w.frames, best.seconds / seconds[0],
                        seconds.size() > 1 ? best.seconds / seconds[1] : 1.0, best.peakRssKiB / 1024.0,
                        best.ok ? "" : "  FAILED");
        }
        std::printf("  window save / library path (b): %.2f (target at most 1.10)\n", seconds[3] / seconds[0]);
        std::printf("  median throughput relative to the plain copy (c) and cat (e): (b) %.2f %.2f, (w) %.2f %.2f\n",
                    medians[1] / medians[0], medians[4] / medians[0], medians[1] / medians[3], medians[4] / medians[3]);
        fs::remove_all(job.frameDir);
        fs::remove(job.output);
    }
    fs::remove_all(root);
    return 0;
}

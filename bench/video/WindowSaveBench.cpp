// The whole save through the real window ("Salva file AVI", offscreen, the save dialog
// answered by a scripted user), next to the library from memory (a), the save's own work
// without the window (b: cDIB loads plus the library) and a plain copy of the files (c).
// The window's own cost per frame (selection, two preview loads, status, repaints) is
// (window save - window start-up - b) / frames. Each path runs in its own child process.
//
// Usage: kelvora_window_save_bench [FRAMES_1080P] [FRAMES_160x120] [REPEATS]

#include "bench/app/OffscreenWindow.h"
#include "bench/avifile/ChildRun.h"
#include "bench/avifile/SavePaths.h"
#include "platform/picture/PictureLoader.h"
#include "platform/toolkit/ListBox.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

struct Path {
    const char* name;
    std::function<int(const bench::SaveJob&)> run;
};

// The window with every frame in its list, entered directly so only the save is timed.
void fillList(bench::OffscreenWindow& window, const bench::SaveJob& job)
{
    for (int i = 0; i < job.workload.frames; ++i)
        window.window().lstDIBList->AddItem(QString::fromStdString((job.frameDir / bench::frameName(i)).string()));
}

int windowWithList(const bench::SaveJob& job)
{
    bench::OffscreenWindow window;
    fillList(window, job);
    return 0;
}

int windowSave(const bench::SaveJob& job)
{
    bench::OffscreenWindow window;
    fillList(window, job);
    return window.save(job.output) && window.messagesShown() == 0 ? 0 : 1;
}

// What the save's preview costs: two loads of every frame at the preview's size.
int previewLoads(const bench::SaveJob& job)
{
    for (int i = 0; i < 2 * job.workload.frames; ++i) {
        const QString path = QString::fromStdString((job.frameDir / bench::frameName(i / 2)).string());
        if (platform::LoadPicture(path, QSize(254, 199)).isNull())
            return 1;
    }
    return 0;
}

std::vector<Path> paths()
{
    return {
        {"(a) library, frames in memory", bench::libraryFromMemory},
        {"(b) cDIB loads + library", bench::bitmapObjectSave},
        {"(c) plain copy of the files", bench::plainCopy},
        {"(w0) window start-up + list", windowWithList},
        {"(w) window: start-up + save", windowSave},
        {"(p) 2 preview loads per frame", previewLoads},
    };
}

}  // namespace

int main(int argc, char** argv)
{
    const int big = argc > 1 ? std::atoi(argv[1]) : 300;
    const int small = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::vector<bench::Workload> workloads = bench::standardWorkloads(big, small);
    const fs::path root = fs::temp_directory_path() / ("kelvora-savebench-" + std::to_string(::getpid()));
    for (const auto& w : workloads) {
        std::uint64_t bytes = 0;
        const bench::SaveJob job = bench::prepareJob(w, root, root / "out.avi", bytes);
        std::printf("\n%s: %d frames, %.1f MB of BMP files (best of %d runs)\n", w.name, w.frames, bytes / 1e6,
                    repeats);
        std::printf("  %-32s %9s %10s %9s %12s\n", "path", "seconds", "ms/frame", "x copy", "peak RSS MB");
        std::vector<double> seconds;
        for (const auto& p : paths()) {
            const bench::Measure m =
                bench::bestOf(repeats, [&] { return p.run(job); }, [&] {
                    fs::remove(job.output);
                    ::sync();  // every path starts with no dirty pages of the one before
                });
            seconds.push_back(m.seconds);
            std::printf("  %-32s %9.3f %10.3f %9.2f %12.1f%s\n", p.name, m.seconds, 1e3 * m.seconds / w.frames,
                        seconds.size() > 2 ? m.seconds / seconds[2] : 0.0, m.peakRssKiB / 1024.0,
                        m.ok ? "" : "  FAILED");
        }
        const double save = seconds[4] - seconds[3];
        const double overhead = save - seconds[1];
        std::printf("  window save alone (w - w0) %.3f s; window overhead (w - w0 - b) %.3f s = %.3f ms/frame "
                    "(%.0f%% of the save)\n",
                    save, overhead, 1e3 * overhead / w.frames, 100.0 * overhead / save);
        fs::remove_all(job.frameDir);
        fs::remove(job.output);
    }
    fs::remove_all(root);
    return 0;
}

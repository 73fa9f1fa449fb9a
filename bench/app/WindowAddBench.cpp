// Adding a whole folder through the real window on a real X server, beside what the same
// files cost without it: `cat` of the folder, a read of every file's first 2 KiB, and the
// same admission with no window (the adding job alone, as the command line runs it). Warm
// and cold (the page cache dropped before each cold run). For the window it also prints the
// bytes the process read, the longest time between two paints during the add, and the
// memory each list entry took beyond its path's bytes. Every path runs in its own child.
//
// Usage: kelvora_window_add_bench [FRAMES_1080P] [FRAMES_160x120_8] [FRAMES_16x16_8]
// (300, 20000 and 1000000 by default; 0 skips a workload). The frame folders are kept in
// $TMPDIR/kelvora-window-add-bench and reused by the next run. Warm runs follow an untimed
// run that brings the folder into the page cache; cold runs drop the cache first.

#include "adding/AddJob.h"
#include "bench/app/BenchWindow.h"
#include "bench/avifile/ChildRun.h"
#include "bench/avifile/BenchFrames.h"
#include "bench/avifile/SavePaths.h"
#include "platform/toolkit/ListBox.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

// What a child reports back through shared memory.
struct Figures {
    double addSeconds = -1;     // the add alone, when the path is one
    long long readBytes = -1;   // bytes the process asked read() for during the add
    double maxPaintGapMs = -1;  // longest gap between two paints during the add
    double maxLoopGapMs = -1;   // longest the window's thread kept away from its event loop
    double bytesPerEntry = -1;  // peak memory growth per entry, less the path's bytes
    int entries = 0;
};

struct Run {
    double seconds = 0;
    long long diskBytes = 0;  // read from the disk (block input), the child and its children
    Figures figures;
    bool ok = false;
};

Figures* shared()
{
    static auto* figures = static_cast<Figures*>(
        ::mmap(nullptr, sizeof(Figures), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    return figures;
}

long long procValue(const char* file, const char* key)
{
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return std::atoll(line.c_str() + std::string(key).size());
    return -1;
}

Run measure(const std::function<int()>& work)
{
    *shared() = Figures{};
    const bench::Measure child = bench::runInChild(work);
    return {child.seconds, child.diskBytes, *shared(), child.ok};
}

bool dropCaches()
{
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3" << std::flush;
    return static_cast<bool>(drop);
}

int catFolder(const fs::path& dir)
{
    const std::string command = "find '" + dir.string() + "' -name '*.bmp' -print0 | xargs -0 cat > /dev/null";
    return std::system(command.c_str()) == 0 ? 0 : 1;
}

int firstBytesOfEveryFile(const fs::path& dir, int frames)
{
    char head[2048];
    for (int i = 0; i < frames; ++i) {
        const int in = ::open((dir / bench::frameName(i)).c_str(), O_RDONLY);
        if (in < 0 || ::read(in, head, sizeof head) <= 0)
            return 1;
        ::close(in);
    }
    return 0;
}

// Notes the time of every paint in the application.
class PaintClock final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_clock.isValid()) {
            const qint64 now = m_clock.nsecsElapsed();
            m_maxGap = std::max(m_maxGap, now - m_last);
            m_last = now;
        }
        return QObject::eventFilter(watched, event);
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
    }
    // The longest gap, the add's end counted as a paint's time.
    double maxGapMs() { return static_cast<double>(std::max(m_maxGap, m_clock.nsecsElapsed() - m_last)) / 1e6; }

private:
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGap = 0;
};

double averagePathBytes(const fs::path& dir)
{
    return static_cast<double>((dir / bench::frameName(0)).string().size());
}

int windowAdd(const fs::path& dir, int frames)
{
    bench::BenchWindow window;
    if (!window.showOnScreen())
        return 2;
    PaintClock paints;
    QCoreApplication::instance()->installEventFilter(&paints);
    // A 10 ms timer on the window's thread: the longest gap between its runs is how long the
    // window could not have repainted, whether or not there was anything new to paint.
    QElapsedTimer loopClock;
    qint64 lastTick = 0;
    qint64 maxLoopGap = 0;
    QTimer loopProbe;
    QObject::connect(&loopProbe, &QTimer::timeout, [&] {
        const qint64 now = loopClock.nsecsElapsed();
        maxLoopGap = std::max(maxLoopGap, now - lastTick);
        lastTick = now;
    });
    loopClock.start();
    loopProbe.start(10);
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak from here on
    const long long rssBefore = procValue("/proc/self/status", "VmRSS:");
    const long long readBefore = procValue("/proc/self/io", "rchar:");
    paints.start();
    const auto start = std::chrono::steady_clock::now();
    const int added = window.addFolder(dir / bench::frameName(0));
    Figures& out = *shared();
    out.addSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.maxPaintGapMs = paints.maxGapMs();
    out.maxLoopGapMs = static_cast<double>(std::max(maxLoopGap, loopClock.nsecsElapsed() - lastTick)) / 1e6;
    out.readBytes = procValue("/proc/self/io", "rchar:") - readBefore;
    const long long peak = procValue("/proc/self/status", "VmHWM:");
    out.entries = added;
    out.bytesPerEntry = added > 0 ? (peak - rssBefore) * 1024.0 / added - averagePathBytes(dir) : -1;
    return added == frames && window.messagesShown() == 0 ? 0 : 1;
}

// The same listing and admission with no window, as the command line makes it.
int addWithoutWindow(const fs::path& dir, int frames)
{
    const long long readBefore = procValue("/proc/self/io", "rchar:");
    const auto start = std::chrono::steady_clock::now();
    const QStringList candidates = adding::bmpFilesOfFolder(QString::fromStdString(dir.string()));
    adding::AdmittedPaths admitted;
    std::atomic<bool> cancel{false};
    const adding::AddOutcome outcome =
        adding::AddJob(platform::stderrMessageBox()).run(candidates, {}, admitted, cancel);
    Figures& out = *shared();
    out.addSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.readBytes = procValue("/proc/self/io", "rchar:") - readBefore;
    out.entries = outcome.added;
    return outcome.added == frames ? 0 : 1;
}

fs::path framesFor(const bench::Workload& w, const fs::path& root)
{
    const fs::path dir = root / (std::to_string(w.frames) + "x" + std::to_string(w.width) + "x" +
                                 std::to_string(w.height) + "x" + std::to_string(w.bitCount));
    if (!fs::exists(dir / bench::frameName(w.frames - 1)) || fs::exists(dir / bench::frameName(w.frames))) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::printf("making %d frames in %s ...\n", w.frames, dir.c_str());
        std::fflush(stdout);
        (void)bench::writeBmpFiles(w, dir);
    }
    return dir;
}

std::uint64_t folderBytes(const fs::path& dir)
{
    std::uint64_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        bytes += entry.file_size();
    return bytes;
}

// Folders larger than this are timed warm only: a cold read of a million small files takes
// minutes and says nothing the 20,000 files do not.
constexpr int kColdLimit = 100000;

void benchWorkload(const bench::Workload& w, const fs::path& root, bool canDrop)
{
    const fs::path dir = framesFor(w, root);
    const double bytes = static_cast<double>(folderBytes(dir));
    struct Path {
        const char* name;
        std::function<int()> run;
    };
    // `cat` and the first bytes are what the big frames' add is measured against; the small
    // frames' add against the same admission without a window.
    const bool big = w.width * w.height >= 1920 * 1080;
    std::vector<Path> paths;
    if (big) {
        paths.push_back({"cat of the folder", [&] { return catFolder(dir); }});
        paths.push_back({"first 2 KiB of every file", [&] { return firstBytesOfEveryFile(dir, w.frames); }});
    }
    paths.push_back({"adding job, no window", [&] { return addWithoutWindow(dir, w.frames); }});
    paths.push_back({"window add (xcb)", [&] { return windowAdd(dir, w.frames); }});

    std::printf("\n%d frames of %dx%dx%d, %.1f MB in %s\n", w.frames, w.width, w.height, w.bitCount, bytes / 1e6,
                dir.c_str());
    std::printf("  %-27s %-5s %9s %9s %11s %9s %10s %9s %9s %10s\n", "path", "cache", "seconds", "add s", "read MB",
                "% folder", "disk MB", "paint gap", "loop gap", "B/entry");
    for (const bool cold : {false, true}) {
        if (cold && (!canDrop || w.frames > kColdLimit)) {
            std::printf("  (cold runs skipped: %s)\n",
                        canDrop ? "more than 100,000 files" : "cannot drop the page cache");
            continue;
        }
        double catSeconds = 0;
        double withoutWindow = 0;
        for (const Path& p : paths) {
            if (cold)
                (void)dropCaches();
            else
                (void)measure([&] { return addWithoutWindow(dir, w.frames); });  // warm: files and folder cached
            const Run run = measure(p.run);
            const Figures& f = run.figures;
            const double add = f.addSeconds >= 0 ? f.addSeconds : run.seconds;
            const std::string name = p.name;
            if (name.starts_with("cat"))
                catSeconds = add;
            if (name.starts_with("adding job"))
                withoutWindow = add;
            std::printf(
                "  %-27s %-5s %9.3f %9.3f %11s %9s %10.1f %9s %9s %10s%s\n", p.name, cold ? "cold" : "warm",
                run.seconds, add, f.readBytes >= 0 ? std::to_string(f.readBytes / 1000000.0).substr(0, 8).c_str() : "-",
                f.readBytes >= 0 ? std::to_string(100.0 * f.readBytes / bytes).substr(0, 6).c_str() : "-",
                run.diskBytes / 1e6,
                f.maxPaintGapMs >= 0 ? (std::to_string(static_cast<int>(f.maxPaintGapMs)) + " ms").c_str() : "-",
                f.maxLoopGapMs >= 0 ? (std::to_string(static_cast<int>(f.maxLoopGapMs)) + " ms").c_str() : "-",
                f.bytesPerEntry >= 0 ? std::to_string(static_cast<int>(f.bytesPerEntry)).c_str() : "-",
                run.ok ? "" : "  FAILED");
            if (name.starts_with("window")) {
                std::printf("  %-27s %-5s  window x no window %.2f", "=", cold ? "cold" : "warm", add / withoutWindow);
                if (catSeconds > 0)
                    std::printf("   add x cat %.3f", add / catSeconds);
                std::printf("\n");
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int big = argc > 1 ? std::atoi(argv[1]) : 300;
    const int small = argc > 2 ? std::atoi(argv[2]) : 20000;
    const int tiny = argc > 3 ? std::atoi(argv[3]) : 1000000;
    const fs::path root = fs::temp_directory_path() / "kelvora-window-add-bench";
    const bool canDrop = dropCaches();
    if (!canDrop)
        std::printf("cold runs skipped: the page cache cannot be dropped here (needs root)\n");
    for (const bench::Workload& w :
         {bench::Workload{"1080p", 1920, 1080, 24, big}, bench::Workload{"160x120x8", 160, 120, 8, small},
          bench::Workload{"16x16x8", 16, 16, 8, tiny}})
        if (w.frames > 0)
            benchWorkload(w, root, canDrop);
    return 0;
}

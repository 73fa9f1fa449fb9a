// Adding a whole folder through the real window ("Aggiungi BMP", "Tutta la cartella"),
// next to plain reads of the same files, once and twice: the add must load every file
// (cDIB) and show it (the picture loader), so two reads are what it cannot go below.
// The picture loader alone, and Qt's decoder as the loader used to call it, are timed too.
// Every path runs in its own child process, after one untimed read has warmed the cache.
//
// Usage: kelvora_addfolder_bench [FRAMES_1080P] [FRAMES_160x120] [REPEATS]

#include "bench/app/BenchWindow.h"
#include "bench/avifile/BenchFrames.h"
#include "bench/avifile/ChildRun.h"
#include "bench/avifile/SavePaths.h"
#include "bitmap/cDIB.h"
#include "platform/picture/PictureLoader.h"

#include <QImageReader>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

const QSize kPreview(254, 199);

struct Path {
    const char* name;
    std::function<int(const bench::SaveJob&)> run;
};

int readEveryFile(const bench::SaveJob& job, int times)
{
    std::vector<char> buffer(8 << 20);
    for (int pass = 0; pass < times; ++pass) {
        for (int i = 0; i < job.workload.frames; ++i) {
            const int in = ::open((job.frameDir / bench::frameName(i)).c_str(), O_RDONLY);
            if (in < 0)
                return 1;
            while (::read(in, buffer.data(), buffer.size()) > 0) {}
            ::close(in);
        }
    }
    return 0;
}

int windowStartUp(const bench::SaveJob&)
{
    bench::BenchWindow window;
    return 0;
}

int windowAdd(const bench::SaveJob& job)
{
    bench::BenchWindow window;
    const int added = window.addFolder(job.frameDir / bench::frameName(0));
    return added == job.workload.frames && window.messagesShown() == 0 ? 0 : 1;
}

int bitmapLoads(const bench::SaveJob& job)
{
    struct Quiet final : platform::MessageBoxService {
        void MsgBox(const std::string&, int, const std::string&) override {}
    } messages;
    for (int i = 0; i < job.workload.frames; ++i) {
        bitmap::cDIB dib(messages);
        if (!dib.CreateFromFile((job.frameDir / bench::frameName(i)).string()))
            return 1;
    }
    return 0;
}

int pictureLoads(const bench::SaveJob& job)
{
    for (int i = 0; i < job.workload.frames; ++i)
        if (platform::LoadPicture(QString::fromStdString((job.frameDir / bench::frameName(i)).string()), kPreview)
                .isNull())
            return 1;
    return 0;
}

int qtDecoderLoads(const bench::SaveJob& job)
{
    for (int i = 0; i < job.workload.frames; ++i) {
        QImageReader reader(QString::fromStdString((job.frameDir / bench::frameName(i)).string()));
        if (reader.size().width() > kPreview.width() && reader.size().height() > kPreview.height())
            reader.setScaledSize(kPreview);
        if (reader.read().isNull())
            return 1;
    }
    return 0;
}

std::vector<Path> paths()
{
    return {
        {"read every file once", [](const auto& j) { return readEveryFile(j, 1); }},
        {"read every file twice", [](const auto& j) { return readEveryFile(j, 2); }},
        {"window: start-up alone", windowStartUp},
        {"window: start-up + folder add", windowAdd},
        {"  cDIB loads alone", bitmapLoads},
        {"  picture loader alone", pictureLoads},
        {"  Qt decoder + setScaledSize", qtDecoderLoads},
    };
}

}  // namespace

int main(int argc, char** argv)
{
    const int big = argc > 1 ? std::atoi(argv[1]) : 500;
    const int small = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::vector<bench::Workload> workloads = bench::standardWorkloads(big, small);
    const fs::path root = fs::temp_directory_path() / ("kelvora-addbench-" + std::to_string(::getpid()));
    for (const auto& w : workloads) {
        std::uint64_t bytes = 0;
        const bench::SaveJob job = bench::prepareJob(w, root, {}, bytes);
        (void)readEveryFile(job, 1);
        std::printf("\n%s: %d frames, %.1f MB of BMP files, warm cache (best of %d runs)\n", w.name, w.frames,
                    bytes / 1e6, repeats);
        std::printf("  %-30s %9s %10s %9s %12s\n", "path", "seconds", "ms/frame", "x once", "peak RSS MB");
        std::vector<double> seconds;
        for (const auto& p : paths()) {
            const bench::Measure m = bench::bestOf(repeats, [&] { return p.run(job); });
            seconds.push_back(m.seconds);
            std::printf("  %-30s %9.3f %10.3f %9.2f %12.1f%s\n", p.name, m.seconds, 1e3 * m.seconds / w.frames,
                        m.seconds / seconds[0], m.peakRssKiB / 1024.0, m.ok ? "" : "  FAILED");
        }
        // The handler's own time: the add run less the window's start-up.
        const double add = seconds[3] - seconds[2];
        std::printf("  %-30s %9.3f %10.3f %9.2f   (x twice %.2f)\n", "= folder add alone", add, 1e3 * add / w.frames,
                    add / seconds[0], add / seconds[1]);
        fs::remove_all(job.frameDir);
    }
    fs::remove_all(root);
    return 0;
}

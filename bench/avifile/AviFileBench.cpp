// Save throughput, side by side in one run: our library writing frames held in memory,
// the whole save path from the BMP files (cDIB loads plus the library), a plain
// concatenation of the BMP files, and ffmpeg's own BMP-to-raw-AVI save. Each path runs in
// a child process so its time and peak memory are its own.
//
// To add a path, append a row to paths() below.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "bench/avifile/ChildRun.h"
#include "bench/avifile/SavePaths.h"

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

struct Path {
    const char* name;
    int (*run)(const bench::SaveJob&);
};

constexpr const char* kPlainCopy = "(c) plain copy of the BMP files";
constexpr const char* kCat = "(e) cat of the BMP files";

std::vector<Path> paths()
{
    return {
        {"(a) library, frames in memory", bench::libraryFromMemory},
        {"(b) cDIB loads + library, files", bench::bitmapObjectSave},
        {kPlainCopy, bench::plainCopy},
        {"(d) ffmpeg -c:v rawvideo", bench::ffmpegSave},
        {kCat, bench::catFiles},
    };
}

// One path once, on frames that --prepare left, so that an outside timer can pair two paths
// run after run. 0 for success, 2 for an unknown path or workload.
int runOne(const char* letter, const char* workload, const fs::path& root, const fs::path& output)
{
    for (const auto& w : bench::standardWorkloads(300, 5000)) {
        for (const auto& p : paths()) {
            if (workload == std::string(w.name) && p.name[1] == letter[0])
                return p.run({w, root / w.name, output});
        }
    }
    return 2;
}

}  // namespace

// kelvora_avifile_bench [REPEATS]                          every path, side by side
// kelvora_avifile_bench --prepare DIR                      both workloads' frames under DIR
// kelvora_avifile_bench --one a|b|c|d|e WORKLOAD DIR OUT   one path once on them
int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--prepare") == 0) {
        std::uint64_t bytes = 0;
        for (const auto& w : bench::standardWorkloads(300, 5000))
            (void)bench::prepareJob(w, argv[2], fs::path(argv[2]) / "out.avi", bytes);
        return 0;
    }
    if (argc == 6 && std::strcmp(argv[1], "--one") == 0)
        return runOne(argv[2], argv[3], argv[4], argv[5]);
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 3;
    const std::vector<bench::Workload> workloads = bench::standardWorkloads(300, 5000);
    const fs::path root = fs::temp_directory_path() / ("kelvora-avibench-" + std::to_string(::getpid()));
    for (const auto& w : workloads) {
        std::uint64_t bytes = 0;
        const bench::SaveJob job = bench::prepareJob(w, root, root / "out.avi", bytes);
        std::printf("\n%s: %d frames, %.1f MB of BMP files (best and median of %d runs)\n", w.name, w.frames,
                    bytes / 1e6, repeats);
        std::printf("  %-34s %9s %9s %10s %12s %10s\n", "path", "best s", "median s", "MB/s", "peak RSS MB", "out MB");
        std::vector<bench::Measure> best;
        double copySeconds = 0;
        double catSeconds = 0;
        for (const auto& p : paths()) {
            const bench::Measure m = bench::bestOf(
                repeats, [&] { return p.run(job); },
                [&] {
                    fs::remove(job.output);
                    ::sync();  // every path starts with no dirty pages of the one before
                });
            best.push_back(m);
            if (std::strcmp(p.name, kPlainCopy) == 0)
                copySeconds = m.medianSeconds;
            if (std::strcmp(p.name, kCat) == 0)
                catSeconds = m.medianSeconds;
            const double outMB = fs::exists(job.output) ? fs::file_size(job.output) / 1e6 : 0;
            std::printf("  %-34s %9.3f %9.3f %10.1f %12.1f %10.1f%s\n", p.name, m.seconds, m.medianSeconds,
                        bytes / 1e6 / m.medianSeconds, m.peakRssKiB / 1024.0, outMB, m.ok ? "" : "  FAILED");
        }
        for (const auto& [against, seconds] :
             {std::pair{"the plain copy (c)", copySeconds}, std::pair{"cat (e)", catSeconds}}) {
            std::printf("  median throughput relative to %s:", against);
            for (std::size_t i = 0; i < best.size(); ++i)
                std::printf("  %.4s %.2f", paths()[i].name, seconds / best[i].medianSeconds);
            std::printf("\n");
        }
        fs::remove_all(job.frameDir);
        fs::remove(job.output);
    }
    fs::remove_all(root);
    return 0;
}

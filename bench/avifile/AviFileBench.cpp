// Save throughput, side by side in one run: our library writing frames held in memory,
// a plain concatenation of the BMP files, and ffmpeg's own BMP-to-raw-AVI save. Each
// path runs in a child process so its time and peak memory are its own.
//
// To add a path, append a row to paths() below.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench/avifile/BenchFrames.h"
#include "platform/avifile/AVIFile.h"

namespace fs = std::filesystem;
using namespace kelvora;

namespace {

struct Context {
    bench::Workload workload;
    fs::path frameDir;
    fs::path output;
};

struct Path {
    const char* name;
    std::function<int(const Context&)> run;  // runs in the child; 0 for success
};

int libraryFromMemory(const Context& c)
{
    using namespace avifile;
    // A few distinct frames, cycled: the frames are "already in memory" without the
    // benchmark's own memory growing with their number.
    std::vector<bench::Frame> pool;
    for (int i = 0; i < 8; ++i)
        pool.push_back(bench::makeFrame(c.workload, i));
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    PAVISTREAM compressed = nullptr;
    AVISTREAMINFOA info{};
    info.fccType = mmioStringToFOURCCA("vids", 0);
    info.dwScale = 1;
    info.dwRate = 25;
    info.dwSuggestedBufferSize = static_cast<DWORD>(pool[0].pixels.size());
    SetRect(&info.rcFrame, 0, 0, c.workload.width, c.workload.height);
    AVICOMPRESSOPTIONS options{};
    if (AVIFileOpenA(&file, c.output.c_str(), OF_WRITE | OF_CREATE, nullptr) ||
        AVIFileCreateStreamA(file, &stream, &info) || AVIMakeCompressedStream(&compressed, stream, &options, nullptr) ||
        AVIStreamSetFormat(compressed, 0, pool[0].info.data(), static_cast<LONG>(pool[0].info.size())))
        return 1;
    int rc = 0;
    for (int i = 0; i < c.workload.frames && rc == 0; ++i) {
        const auto& px = pool[static_cast<std::size_t>(i) % pool.size()].pixels;
        rc = AVIStreamWrite(compressed, i, 1, px.data(), static_cast<LONG>(px.size()), AVIIF_KEYFRAME, nullptr, nullptr)
                 ? 2
                 : 0;
    }
    AVIStreamRelease(stream);
    AVIStreamRelease(compressed);
    HRESULT finish = AVIERR_OK;
    AVIFileRelease(file, &finish);
    return rc != 0 ? rc : (finish != AVIERR_OK ? 3 : 0);
}

int plainCopy(const Context& c)
{
    const int out = ::open(c.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char> buffer(8 << 20);
    for (int i = 0; i < c.workload.frames; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%05d.bmp", i);
        const int in = ::open((c.frameDir / name).c_str(), O_RDONLY);
        if (in < 0)
            return 1;
        ssize_t n = 0;
        while ((n = ::read(in, buffer.data(), buffer.size())) > 0)
            if (::write(out, buffer.data(), static_cast<std::size_t>(n)) != n)
                return 2;
        ::close(in);
    }
    return ::close(out) == 0 ? 0 : 3;
}

int ffmpegSave(const Context& c)
{
    const std::string input = (c.frameDir / "frame_%05d.bmp").string();
    ::execlp("ffmpeg", "ffmpeg", "-v", "error", "-y", "-framerate", "25", "-i", input.c_str(), "-c:v", "rawvideo",
             c.output.c_str(), static_cast<char*>(nullptr));
    return 127;
}

std::vector<Path> paths()
{
    return {
        {"(a) library, frames in memory", libraryFromMemory},
        {"(c) plain copy of the BMP files", plainCopy},
        {"(d) ffmpeg -c:v rawvideo", ffmpegSave},
    };
}

struct Measure {
    double seconds = 0;
    long peakRssKiB = 0;
    bool ok = false;
};

Measure runInChild(const Path& path, const Context& c)
{
    fs::remove(c.output);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(path.run(c));
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(end - start).count(), usage.ru_maxrss,
            WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

}  // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 3;
    const bench::Workload workloads[] = {{"1920x1080x24", 1920, 1080, 24, 300}, {"160x120x8", 160, 120, 8, 5000}};
    const fs::path root = fs::temp_directory_path() / ("kelvora-avibench-" + std::to_string(::getpid()));
    for (const auto& w : workloads) {
        Context c{w, root / w.name, root / "out.avi"};
        fs::create_directories(c.frameDir);
        const std::uint64_t bytes = bench::writeBmpFiles(w, c.frameDir);
        std::printf("\n%s: %d frames, %.1f MB of BMP files (best of %d runs)\n", w.name, w.frames, bytes / 1e6,
                    repeats);
        std::printf("  %-34s %9s %10s %12s %10s\n", "path", "seconds", "MB/s", "peak RSS MB", "out MB");
        std::vector<Measure> best;
        for (const auto& p : paths()) {
            Measure m;
            for (int r = 0; r < repeats; ++r) {
                const Measure run = runInChild(p, c);
                if (run.ok && (!m.ok || run.seconds < m.seconds))
                    m = run;
            }
            best.push_back(m);
            const double outMB = fs::exists(c.output) ? fs::file_size(c.output) / 1e6 : 0;
            std::printf("  %-34s %9.3f %10.1f %12.1f %10.1f%s\n", p.name, m.seconds, bytes / 1e6 / m.seconds,
                        m.peakRssKiB / 1024.0, outMB, m.ok ? "" : "  FAILED");
        }
        const double copy = best[1].seconds;
        std::printf("  throughput relative to the plain copy:");
        for (std::size_t i = 0; i < best.size(); ++i)
            std::printf("  %s %.2f", paths()[i].name, copy / best[i].seconds);
        std::printf("\n");
        fs::remove_all(c.frameDir);
        fs::remove(c.output);
    }
    fs::remove_all(root);
    return 0;
}

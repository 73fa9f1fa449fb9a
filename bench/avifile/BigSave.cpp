// Writes one long 1080p video through the library and prints time, size and peak memory:
// the check that files far beyond the first RIFF (and beyond 4 GiB) come out whole.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>

#include "bench/avifile/BenchFrames.h"
#include "platform/avifile/AVIFile.h"

using namespace kelvora;
using namespace kelvora::avifile;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT.avi FRAMES\n", argv[0]);
        return 2;
    }
    const int frames = std::atoi(argv[2]);
    const bench::Workload w{"1920x1080x24", 1920, 1080, 24, frames};
    bench::Frame frame = bench::makeFrame(w, 0);
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    AVISTREAMINFOA info{};
    info.fccType = mmioStringToFOURCCA("vids", 0);
    info.dwScale = 1;
    info.dwRate = 25;
    info.dwSuggestedBufferSize = static_cast<DWORD>(frame.pixels.size());
    SetRect(&info.rcFrame, 0, 0, w.width, w.height);
    const auto start = std::chrono::steady_clock::now();
    if (AVIFileOpenA(&file, argv[1], OF_WRITE | OF_CREATE, nullptr) || AVIFileCreateStreamA(file, &stream, &info) ||
        AVIStreamSetFormat(stream, 0, frame.info.data(), static_cast<LONG>(frame.info.size()))) {
        std::fprintf(stderr, "cannot start the file\n");
        return 1;
    }
    for (int i = 0; i < frames; ++i) {
        frame.pixels[static_cast<std::size_t>(i) % frame.pixels.size()] ^= 0xFF;  // every frame a little different
        if (AVIStreamWrite(stream, i, 1, frame.pixels.data(), static_cast<LONG>(frame.pixels.size()), AVIIF_KEYFRAME,
                           nullptr, nullptr)) {
            std::fprintf(stderr, "write failed at frame %d\n", i);
            return 1;
        }
    }
    AVIStreamRelease(stream);
    HRESULT finish = AVIERR_OK;
    AVIFileRelease(file, &finish);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto size = std::filesystem::file_size(argv[1]);
    std::printf("frames=%d bytes=%llu seconds=%.1f MB/s=%.0f peak_rss_MB=%.1f finish=%s\n", frames,
                static_cast<unsigned long long>(size), seconds, size / 1e6 / seconds, usage.ru_maxrss / 1024.0,
                finish == AVIERR_OK ? "ok" : "FAILED");
    return finish == AVIERR_OK ? 0 : 1;
}

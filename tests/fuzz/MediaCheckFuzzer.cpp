// Feeds arbitrary bytes to the check of an MP4 or Matroska video as a file: weighed, opened by
// libavformat, every frame decoded, measured against a frame file and hashed. Only crashes,
// leaks, undefined behaviour and memory or time beyond the file's plausible pictures count.
#include "tests/fuzz/MemoryFile.h"
#include "verify/PsnrCheck.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

class NoProgress final : public kelvora::verify::CheckObserver {
public:
    void frameChecked(int) override {}
};

// A 4 x 2 bitmap of 24 bits for the first frame to be measured against.
const kelvora::fuzz::MemoryFile& frameFile()
{
    static kelvora::fuzz::MemoryFile file("f.bmp");
    static const bool written = [] {
        std::vector<std::uint8_t> bmp = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0,  54, 0, 0, 0, 40, 0,  0, 0, 4,
                                         0,   0,   0,  2, 0, 0, 0, 1, 0, 24, 0,  0, 0, 0, 0,  24, 0, 0, 0};
        bmp.resize(54 + 24, 0x80);
        file.replaceWith(bmp.data(), bmp.size());
        return true;
    }();
    (void)written;
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static kelvora::fuzz::MemoryFile input("in.video");
    static std::FILE* sink = std::fopen("/dev/null", "w");
    input.replaceWith(data, size);
    NoProgress progress;
    const std::atomic<bool> cancel{false};
    kelvora::verify::FrameMd5 hashes(sink);
    const kelvora::verify::PsnrRequest request{input.path(), {frameFile().path(), frameFile().path()}, true, 0};
    (void)kelvora::verify::measurePsnr(request, progress, cancel, &hashes);
    return 0;
}

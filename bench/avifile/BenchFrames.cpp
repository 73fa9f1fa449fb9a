#include "bench/avifile/BenchFrames.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>

namespace kelvora::bench {

namespace {
void put(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
}  // namespace

Frame makeFrame(const Workload& w, int index)
{
    Frame f;
    const std::uint32_t stride = static_cast<std::uint32_t>(((w.width * w.bitCount + 31) / 32) * 4);
    const std::uint32_t size = stride * static_cast<std::uint32_t>(w.height);
    const std::uint32_t colours = w.bitCount == 8 ? 256 : 0;
    put(f.info, 40, 4);
    put(f.info, static_cast<std::uint32_t>(w.width), 4);
    put(f.info, static_cast<std::uint32_t>(w.height), 4);
    put(f.info, 1, 2);
    put(f.info, static_cast<std::uint32_t>(w.bitCount), 2);
    put(f.info, 0, 4);
    put(f.info, size, 4);
    put(f.info, 2835, 4);
    put(f.info, 2835, 4);
    put(f.info, colours, 4);
    put(f.info, 0, 4);
    for (std::uint32_t i = 0; i < colours; ++i)
        put(f.info, i * 0x010101u, 4);
    // Runs of 64 equal bytes, filled run by run: making the frames must not weigh on the
    // paths that make theirs inside the timed run.
    f.pixels.resize(size);
    for (std::uint32_t run = 0; run * 64 < size; ++run)
        std::memset(f.pixels.data() + run * 64, static_cast<std::uint8_t>(run + static_cast<std::uint32_t>(index) * 3),
                    std::min<std::uint32_t>(64, size - run * 64));
    return f;
}

std::vector<std::uint8_t> bmpFileBytes(const Frame& f)
{
    std::vector<std::uint8_t> out;
    const auto offBits = static_cast<std::uint32_t>(14 + f.info.size());
    put(out, 0x4D42, 2);                                               // bfType "BM"
    put(out, offBits + static_cast<std::uint32_t>(f.pixels.size()), 4);  // bfSize
    put(out, 0, 4);                                                    // bfReserved1, bfReserved2
    put(out, offBits, 4);                                              // bfOffBits
    out.insert(out.end(), f.info.begin(), f.info.end());
    out.insert(out.end(), f.pixels.begin(), f.pixels.end());
    return out;
}

std::uint64_t writeBmpFiles(const Workload& w, const std::filesystem::path& dir)
{
    std::uint64_t total = 0;
    for (int i = 0; i < w.frames; ++i) {
        const auto bytes = bmpFileBytes(makeFrame(w, i));
        char name[32];
        std::snprintf(name, sizeof name, "frame_%05d.bmp", i);
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        total += bytes.size();
    }
    return total;
}

}  // namespace kelvora::bench

#include "bench/avifile/BenchFrames.h"

#include "platform/binary/BitmapRecords.h"
#include "platform/binary/ByteWriter.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>

namespace kelvora::bench {

Frame makeFrame(const Workload& w, int index)
{
    Frame f;
    const auto stride = static_cast<std::uint32_t>(binary::rowStride(w.width, w.bitCount));
    const std::uint32_t size = stride * static_cast<std::uint32_t>(w.height);
    const std::uint32_t colours = w.bitCount == 8 ? 256 : 0;
    const auto header = binary::infoHeaderBytes({.biSize = static_cast<std::int32_t>(binary::kInfoHeaderSize),
                                                 .biWidth = w.width,
                                                 .biHeight = w.height,
                                                 .biPlanes = 1,
                                                 .biBitCount = static_cast<std::int16_t>(w.bitCount),
                                                 .biSizeImage = static_cast<std::int32_t>(size),
                                                 .biXPelsPerMeter = 2835,
                                                 .biYPelsPerMeter = 2835,
                                                 .biClrUsed = static_cast<std::int32_t>(colours)});
    f.info.assign(header.begin(), header.end());
    f.info.resize(header.size() + 4 * colours);
    binary::ByteWriter palette(std::span(f.info).subspan(header.size()));
    for (std::uint32_t i = 0; i < colours; ++i)
        palette.u32(i * 0x010101u);  // grey: blue, green, red equal
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
    const auto offBits = static_cast<std::int32_t>(binary::kFileHeaderSize + f.info.size());
    const auto header = binary::fileHeaderBytes({.bfType = binary::kBitmapSignature,
                                                 .bfSize = offBits + static_cast<std::int32_t>(f.pixels.size()),
                                                 .bfOffBits = offBits});
    std::vector<std::uint8_t> out(header.begin(), header.end());
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
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        total += bytes.size();
    }
    return total;
}

}  // namespace kelvora::bench

// What checking each compressed frame costs beside encoding it: full-HD 24-bit frames, one
// encoder on one thread, encoded without the check and with it (decoded again and compared),
// the two taking turns; median milliseconds a frame and the check's share. With --large, one
// 8K frame through FFV1 (checked): seconds and the process's peak memory.
//   kelvora_codec_bench [FRAMES] [ROUNDS] | kelvora_codec_bench --large
#include "codec/LosslessEncoder.h"
#include "platform/binary/BitmapRecords.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace kelvora;
using Clock = std::chrono::steady_clock;

// Colour bars over a gradient; with `grain`, noise on every sample as a camera leaves it.
std::vector<std::uint8_t> makeFrame(int width, int height, int grain, int seed)
{
    const auto stride = static_cast<std::size_t>(binary::rowStride(width, 24));
    std::vector<std::uint8_t> bits(stride * static_cast<std::size_t>(height));
    std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bits.data() + static_cast<std::size_t>(y) * stride + 3 * x;
            const int bar = x * 8 / width;
            for (int c = 0; c < 3; ++c) {
                int v = (bar >> c & 1) ? 200 : 40;
                v += (x + y + seed * 4) / 16 % 40;
                if (grain > 0) {
                    state = state * 1664525u + 1013904223u;
                    v += static_cast<int>(state >> 24) % (2 * grain + 1) - grain;
                }
                p[c] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            }
        }
    return bits;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A step's failure ends the run with its reason.
void succeededOrExit(const platform::Status& status)
{
    if (!status) {
        std::fprintf(stderr, "%s\n", status.error().c_str());
        std::exit(1);
    }
}

template <typename T> T succeededOrExit(platform::Result<T> result)
{
    succeededOrExit(result.status());
    return std::move(result).value();
}

// Milliseconds a frame for encoding `frames` with `check`.
double encodeMs(codec::Codec c, codec::FrameCheck check, const bitmap::StreamShape& shape,
                const std::vector<std::vector<std::uint8_t>>& frames)
{
    auto encoder = succeededOrExit(codec::LosslessEncoder::open(c, shape, 1, check));
    std::vector<std::uint8_t> packet;
    succeededOrExit(encoder->encode(frames[0], {}, packet));  // the first frame allocates
    const auto start = Clock::now();
    for (const auto& bits : frames)
        succeededOrExit(encoder->encode(bits, {}, packet));
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / static_cast<double>(frames.size());
}

int large()
{
    const bitmap::StreamShape shape{7680, 4320, 24, binary::BI_RGB};
    const std::vector<std::uint8_t> bits = makeFrame(shape.width, shape.height, 0, 1);
    const auto start = Clock::now();
    auto encoder =
        succeededOrExit(codec::LosslessEncoder::open(codec::Codec::Ffv1, shape, 2, codec::FrameCheck::ByDecoding));
    std::vector<std::uint8_t> packet;
    succeededOrExit(encoder->encode(bits, {}, packet));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("7680 x 4320 FFV1, %d slices, checked: %.1f s, packet %zu bytes, peak memory %.0f MB "
                "(the frame itself %.0f MB; planned %.0f MB an encoder, without the check)\n",
                codec::ffv1SettingsFor(shape.width, shape.height).slices, seconds, packet.size(),
                static_cast<double>(usage.ru_maxrss) / 1024.0, static_cast<double>(bits.size()) / 1e6,
                static_cast<double>(codec::encoderBytes(codec::Codec::Ffv1, shape)) / 1e6);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--large")
        return large();
    const int frameCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const bitmap::StreamShape shape{1920, 1080, 24, binary::BI_RGB};
    std::printf("%-10s %-5s %10s %10s %8s\n", "frames", "codec", "encode ms", "checked ms", "check");
    for (const int grain : {0, 15}) {
        std::vector<std::vector<std::uint8_t>> frames;
        for (int i = 0; i < frameCount; ++i)
            frames.push_back(makeFrame(shape.width, shape.height, grain, i));
        for (const codec::Codec c : {codec::Codec::Ffv1, codec::Codec::Png}) {
            std::vector<double> plain;
            std::vector<double> checked;
            for (int r = 0; r < rounds; ++r) {
                plain.push_back(encodeMs(c, codec::FrameCheck::None, shape, frames));
                checked.push_back(encodeMs(c, codec::FrameCheck::ByDecoding, shape, frames));
            }
            const double a = median(plain);
            const double b = median(checked);
            std::printf("%-10s %-5s %10.1f %10.1f %7.0f%%\n", grain ? "grain" : "synthetic",
                        std::string(codec::codecLabel(c)).c_str(), a, b, 100.0 * (b - a) / a);
        }
    }
    std::printf("1920 x 1080 x 24, %d frames, median of %d rounds; check: the time it adds to the encode.\n",
                frameCount, rounds);
    return 0;
}

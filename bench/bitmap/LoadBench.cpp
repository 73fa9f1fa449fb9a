// Loading one full-HD 24-bit frame with cDIB against a plain read() of the same file into a
// buffer, measured side by side in one run. Prints both throughputs and their ratio.
#include "bitmap/cDIB.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/msgbox/MessageBox.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kWidth = 1920;
constexpr std::int32_t kHeight = 1080;
constexpr std::int32_t kSizeImage = kWidth * kHeight * 3;
constexpr int kRounds = 15;
constexpr int kLoadsPerRound = 40;

std::filesystem::path writeFrame()
{
    using namespace kelvora::binary;
    constexpr auto kOffBits = static_cast<std::int32_t>(kFileHeaderSize + kInfoHeaderSize);
    const auto fileHeader =
        fileHeaderBytes({.bfType = kBitmapSignature, .bfSize = kOffBits + kSizeImage, .bfOffBits = kOffBits});
    const auto infoHeader = infoHeaderBytes({.biSize = static_cast<std::int32_t>(kInfoHeaderSize),
                                             .biWidth = kWidth,
                                             .biHeight = kHeight,
                                             .biPlanes = 1,
                                             .biBitCount = 24,
                                             .biSizeImage = kSizeImage,
                                             .biXPelsPerMeter = 2835,
                                             .biYPelsPerMeter = 2835});
    std::vector<std::uint8_t> file(fileHeader.begin(), fileHeader.end());
    file.insert(file.end(), infoHeader.begin(), infoHeader.end());
    for (std::int32_t i = 0; i < kSizeImage; ++i)
        file.push_back(static_cast<std::uint8_t>(i * 7));
    const auto path = std::filesystem::temp_directory_path() / ("kelvora-bench-" + std::to_string(::getpid()) + ".bmp");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return path;
}

bool plainRead(const std::filesystem::path& path, std::vector<std::uint8_t>& buffer)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = ::read(fd, buffer.data() + done, buffer.size() - done);
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return done == buffer.size();
}

template <typename Load> double secondsPerLoad(Load&& load)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kLoadsPerRound; ++i)
        if (!load())
            std::fprintf(stderr, "load failed\n");
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kLoadsPerRound;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main()
{
    const auto path = writeFrame();
    const auto fileSize = static_cast<std::size_t>(std::filesystem::file_size(path));
    std::vector<std::uint8_t> buffer(fileSize);
    kelvora::bitmap::cDIB reused(kelvora::platform::stderrMessageBox());

    std::vector<double> plain, reload, fresh;
    for (int round = 0; round < kRounds; ++round) {
        // Alternating keeps both sides under the same cache and frequency conditions.
        plain.push_back(secondsPerLoad([&] { return plainRead(path, buffer); }));
        reload.push_back(secondsPerLoad([&] { return reused.CreateFromFile(path.string()); }));
        fresh.push_back(secondsPerLoad([&] {
            kelvora::bitmap::cDIB once(kelvora::platform::stderrMessageBox());
            return once.CreateFromFile(path.string());
        }));
    }
    std::filesystem::remove(path);

    const double mib = static_cast<double>(fileSize) / (1024.0 * 1024.0);
    const double plainTime = median(plain), reloadTime = median(reload), freshTime = median(fresh);
    std::printf("frame 1920x1080x24, %zu bytes, median of %d rounds x %d loads\n", fileSize, kRounds, kLoadsPerRound);
    std::printf("plain read()            %8.3f ms  %8.1f MiB/s\n", plainTime * 1e3, mib / plainTime);
    std::printf("cDIB reused object      %8.3f ms  %8.1f MiB/s  ratio %.3f\n", reloadTime * 1e3, mib / reloadTime,
                plainTime / reloadTime);
    std::printf("cDIB new object a load  %8.3f ms  %8.1f MiB/s  ratio %.3f\n", freshTime * 1e3, mib / freshTime,
                plainTime / freshTime);
    return 0;
}

// Starts as a program that encodes starts, then tells what it got: the environment it shows
// (GLIBC_TUNABLES, the restart's marker), the one the process was started with, and whether a
// large block it touched lies on huge pages.
#include "platform/system/HugePageStart.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string fileText(const char* path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Kilobytes of the process's anonymous memory on huge pages.
long hugePagesKb()
{
    const std::string rollup = fileText("/proc/self/smaps_rollup");
    const std::size_t at = rollup.find("AnonHugePages:");
    return at == std::string::npos ? 0 : std::strtol(rollup.c_str() + at + 14, nullptr, 10);
}

}  // namespace

int main(int, char* argv[])
{
    kelvora::platform::startOnHugePages(argv);
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    const char* marker = std::getenv("KELVORA_HUGEPAGES_RESTART");
    std::string started = fileText("/proc/self/environ");
    for (char& c : started)
        c = c == '\0' ? '\n' : c;
    const bool startedWithTunable = started.find("glibc.malloc.hugetlb=1") != std::string::npos;
    // As libavcodec's buffer: glibc's, large, zeroed page by page.
    constexpr std::size_t kBytes = std::size_t{64} << 20;
    auto* block = static_cast<char*>(std::malloc(kBytes));
    if (block == nullptr)
        return 1;
    std::memset(block, 1, kBytes);
    std::string name = fileText("/proc/self/comm");
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    std::printf("name=%s\n", name.c_str());
    std::printf("tunables=%s\nmarker=%s\nstarted-with-hugetlb=%d\nhuge-kb=%ld\nargs=%s\n",
                tunables != nullptr ? tunables : "(unset)", marker != nullptr ? marker : "(unset)",
                startedWithTunable ? 1 : 0, hugePagesKb(), argv[1] != nullptr ? argv[1] : "");
    std::free(block);
    return 0;
}

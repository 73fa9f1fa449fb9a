#include "platform/system/HugePageStart.h"

#include "platform/system/OwnPath.h"

#include <sys/auxv.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kelvora::platform {

namespace {

constexpr const char* kTunables = "GLIBC_TUNABLES";
constexpr const char* kOptOut = "KELVORA_NO_HUGEPAGES";
// Carries GLIBC_TUNABLES as the user gave it into the restarted process: "-" when it was
// unset, else "=" and its value. Its presence is also what stops a second restart.
constexpr const char* kRestarted = "KELVORA_HUGEPAGES_RESTART";
constexpr std::string_view kHugeTlb = "glibc.malloc.hugetlb";

// The word in brackets: "always [madvise] never" gives "madvise".
std::string_view selectedMode(std::string_view setting)
{
    const std::size_t open = setting.find('[');
    const std::size_t close = setting.find(']', open);
    if (open == std::string_view::npos || close == std::string_view::npos)
        return {};
    return setting.substr(open + 1, close - open - 1);
}

bool namesHugeTlb(std::string_view tunables)
{
    // Entries are NAME=VALUE separated by colons.
    std::size_t start = 0;
    while (start <= tunables.size()) {
        const std::size_t end = std::min(tunables.find(':', start), tunables.size());
        const std::string_view entry = tunables.substr(start, end - start);
        if (entry.substr(0, entry.find('=')) == kHugeTlb)
            return true;
        start = end + 1;
    }
    return false;
}

std::string kernelSetting()
{
    std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Puts GLIBC_TUNABLES back as the marker says it was and drops the marker.
void restoreTunables(const char* marker)
{
    if (marker[0] == '=')
        ::setenv(kTunables, marker + 1, 1);
    else
        ::unsetenv(kTunables);
    ::unsetenv(kRestarted);
}

}  // namespace

std::optional<std::string> hugePageTunables(const HugePageStartState& state)
{
    if (state.restarted != nullptr)
        return std::nullopt;
    if (state.optOut != nullptr && state.optOut[0] != '\0' && std::strcmp(state.optOut, "0") != 0)
        return std::nullopt;
    if (selectedMode(state.thpEnabled) != "madvise")
        return std::nullopt;
    const std::string_view current = state.tunables != nullptr ? state.tunables : "";
    if (namesHugeTlb(current))
        return std::nullopt;
    std::string tunables(current);
    if (!tunables.empty())
        tunables += ':';
    tunables += kHugeTlb;
    tunables += "=1";
    return tunables;
}

namespace {

// Puts the tunable into the environment for the program about to start, with the marker that
// lets it put the user's back; the marker, or nothing when no tunable helps.
std::optional<std::string> addTunables()
{
    // A program run with raised rights gets its tunables filtered by glibc: leave it alone.
    if (::getauxval(AT_SECURE) != 0)
        return std::nullopt;
    const std::string setting = kernelSetting();
    const char* current = std::getenv(kTunables);
    const std::optional<std::string> tunables = hugePageTunables({current, std::getenv(kOptOut), nullptr, setting});
    if (!tunables)
        return std::nullopt;
    std::string marker = current != nullptr ? "=" + std::string(current) : std::string("-");
    if (::setenv(kRestarted, marker.c_str(), 1) != 0 || ::setenv(kTunables, tunables->c_str(), 1) != 0) {
        restoreTunables(marker.c_str());
        return std::nullopt;
    }
    return marker;
}

}  // namespace

void startOnHugePages(char* argv[])
{
    if (const char* marker = std::getenv(kRestarted); marker != nullptr) {
        restoreTunables(marker);
        return;
    }
    const std::optional<std::string> marker = addTunables();
    if (!marker)
        return;
    // By the program's own path, not /proc/self/exe: the process takes its name from the file
    // started, and ps, top and killall must still see the program's.
    const std::optional<std::string> self = ownProgramPath();
    ::execv(self ? self->c_str() : "/proc/self/exe", argv);
    // No restart (no /proc, say): go on as started.
    restoreTunables(marker->c_str());
}

int startProgram(const char* path, char* argv[], bool encodes)
{
    const std::optional<std::string> marker = encodes ? addTunables() : std::nullopt;
    ::execv(path, argv);
    const int error = errno;
    if (marker)
        restoreTunables(marker->c_str());
    return error;
}

}  // namespace kelvora::platform

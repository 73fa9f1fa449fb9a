#include "platform/avifile/AVIFile.h"

#include <atomic>

namespace kelvora::avifile {

namespace {
std::atomic<int> g_initCount{0};
}

void AVIFileInit() { ++g_initCount; }

void AVIFileExit()
{
    // An unbalanced exit is ignored rather than driving the count negative.
    int current = g_initCount.load();
    while (current > 0 && !g_initCount.compare_exchange_weak(current, current - 1)) {}
}

int AVIFileInitCount() { return g_initCount.load(); }

}  // namespace kelvora::avifile

#include "bench/avifile/ChildRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvora::bench {

Measure runInChild(const std::function<int()>& work)
{
    std::fflush(nullptr);  // the child must not print the parent's buffered output again
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(work());
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
        return {};
    const auto end = std::chrono::steady_clock::now();
    Measure run;
    run.seconds = std::chrono::duration<double>(end - start).count();
    run.peakRssKiB = usage.ru_maxrss;
    run.diskBytes = static_cast<long long>(usage.ru_inblock) * 512;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

Measure bestOf(int repeats, const std::function<int()>& work, const std::function<void()>& before)
{
    Measure best;
    std::vector<double> seconds;
    for (int r = 0; r < repeats; ++r) {
        if (before)
            before();
        const Measure run = runInChild(work);
        if (run.ok)
            seconds.push_back(run.seconds);
        if (run.ok && (!best.ok || run.seconds < best.seconds))
            best = run;
    }
    best.medianSeconds = median(std::move(seconds));
    return best;
}

double median(std::vector<double> seconds)
{
    if (seconds.empty())
        return 0;
    std::sort(seconds.begin(), seconds.end());
    const std::size_t middle = seconds.size() / 2;
    return seconds.size() % 2 == 1 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2;
}

}  // namespace kelvora::bench

#pragma once

// Runs one measured piece of work in a child process, so its time and peak memory are its own.

#include <functional>
#include <vector>

namespace kelvora::bench {

struct Measure {
    double seconds = 0;
    long peakRssKiB = 0;
    long long diskBytes = 0;  // read from the disk (block input), the child and its children
    bool ok = false;
    // Of several runs: the median of the successful ones' seconds (a shared machine's noise
    // moves it less than the best).
    double medianSeconds = 0;
};

[[nodiscard]] Measure runInChild(const std::function<int()>& work);
// The best (fastest successful) of `repeats` runs, with their median; `before` runs in this
// process ahead of each, outside the time (removing the last run's output, say).
[[nodiscard]] Measure bestOf(int repeats, const std::function<int()>& work, const std::function<void()>& before = {});
// The median of some runs' seconds; 0 for none.
[[nodiscard]] double median(std::vector<double> seconds);

}  // namespace kelvora::bench

#pragma once

// Runs one measured piece of work in a child process, so its time and peak memory are its own.

#include <functional>

namespace kelvora::bench {

struct Measure {
    double seconds = 0;
    long peakRssKiB = 0;
    bool ok = false;
};

[[nodiscard]] Measure runInChild(const std::function<int()>& work);
// The best (fastest successful) of `repeats` runs; `before` runs in this process ahead of
// each, outside the time (removing the last run's output, say).
[[nodiscard]] Measure bestOf(int repeats, const std::function<int()>& work,
                             const std::function<void()>& before = {});

}  // namespace kelvora::bench

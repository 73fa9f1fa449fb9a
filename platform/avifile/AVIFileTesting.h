#pragma once

// Test seams: shrink the limits of an OpenDML file so tests reach several RIFFs and a
// full super index with a few megabytes. They apply to files opened afterwards.

#include <cstdint>

namespace kelvora::avifile::testing {

inline constexpr std::uint64_t kDefaultRiffLimit = 1ull << 30;
inline constexpr std::uint32_t kDefaultSuperIndexEntries = 1022;

void setRiffLimit(std::uint64_t bytes);
void setSuperIndexEntries(std::uint32_t entries);
void resetLimits();

}  // namespace kelvora::avifile::testing

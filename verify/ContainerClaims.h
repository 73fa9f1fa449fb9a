#pragma once

// What an MP4 (or QuickTime) file claims before libavformat reads it. libavformat's reader
// builds an index entry for every sample a sample table ('stsz', 'stz2') or a fragment's run
// ('trun') says there is, whatever the file holds: a 2 kB file claiming 50 million samples
// took 2.8 GB and 15 s to open. The boxes are walked here first (headers only, as that reader
// nests them) and the claims weighed against the file's length: every sample is at least one
// byte of it. Matroska needs no such walk: its reader makes nothing of a count, only the
// pictures' sides, which are weighed once it has read the header (decodedPictureRefusal).

#include <cstdint>
#include <filesystem>
#include <string>

namespace kelvora::verify {

// Why the file at `path` (`length` bytes) is not to be read: the samples its tables claim,
// more than it has bytes ("dichiara 50000000 campioni, più dei byte del file (2092)"), or a
// compressed header ('cmov') that could claim anything; empty when it may be read, or is no
// MP4 at all.
[[nodiscard]] std::string sampleClaimsRefusal(const std::filesystem::path& path, std::int64_t length);

}  // namespace kelvora::verify

#pragma once

// An MP4 written fragmented (playable however it ends) made classic at the end: one index,
// before the frames, as players that do not read fragments and browsers starting early want.
// The new file is built unnamed beside the old one and takes its name in one step; a kill
// meanwhile leaves the fragmented file as it was, and nothing beside it.

#include <string>

namespace kelvora::mux {

// Rewrites the finished fragmented MP4 at `path` with its index first, keeping its owner and
// permission bits. False, the file untouched, when anything fails.
[[nodiscard]] bool moveIndexFirst(const std::string& path);

}  // namespace kelvora::mux

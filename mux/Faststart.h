#pragma once

// An MP4 written fragmented (playable however it ends) made classic at the end: one index,
// before the frames, as players that do not read fragments and browsers starting early want.
// The new file is built unnamed beside the old one and takes its name in one step; a kill or a
// stop meanwhile leaves the fragmented file as it was, and nothing beside it.

#include "platform/filesystem/File.h"

#include <atomic>
#include <string>

namespace kelvora::mux {

// Rewrites the finished fragmented MP4 open as `file` with its index first, keeping its owner
// and permission bits, and gives the copy the name `path` in its place, only while that name
// still leads to `file`: a file another writer put there meanwhile is left alone. The copy is
// read from `file` itself, never from the name. The new file's identity; unknown, and `path`
// untouched, when anything fails or `stop` is set before the copy has its name.
[[nodiscard]] platform::FileIdentity moveIndexFirst(int file, const std::string& path, const std::atomic<bool>& stop);

}  // namespace kelvora::mux

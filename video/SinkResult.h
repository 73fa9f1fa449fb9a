#pragma once

// What a sink's call came to, in the save's terms: the save tells the user why a save stopped
// from the kind of failure alone (with what the file system says), whatever the container.

#include <cstddef>
#include <cstdint>

namespace kelvora::video {

enum class SinkFailure : std::uint8_t {
    None,
    Open,         // the file could not be opened for writing
    Unsupported,  // the container, or its writer, takes no such stream, frame or call
    Format,       // the stream's format, or a frame's, cannot be written
    IndexFull,    // the file's indexes have room for no more frames
    SourceRead,   // bytes to be copied in could not be read: a frame's file cut short or rewritten, the music
    Write,        // writing the file failed: a full disk, the device
    Memory,
};

struct [[nodiscard]] SinkResult {
    SinkFailure failure = SinkFailure::None;
    // writeFrames: the frames of the call that are in the file (all of them when it succeeded).
    std::size_t written = 0;

    [[nodiscard]] bool ok() const { return failure == SinkFailure::None; }
};

}  // namespace kelvora::video

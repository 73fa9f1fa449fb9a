#pragma once

// The output file: appends at the end (frames gathered straight from the caller's buffer),
// patches earlier bytes in place, and remembers the first failure.

#include "platform/filesystem/File.h"
#include "platform/types/FourCC.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvora::avifile {

class RiffFile {
public:
    RiffFile() = default;
    ~RiffFile();
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    // Creates the file or empties an existing one. Anything but a regular file (a FIFO, a
    // device, a folder, or a link to one) is refused at once, without waiting and untouched.
    [[nodiscard]] bool create(const char* path);
    [[nodiscard]] bool append(std::span<const std::uint8_t> data);
    // One chunk: 8-byte header, the payload and, for odd sizes, the pad byte.
    [[nodiscard]] bool appendChunk(platform::FourCC id, std::span<const std::uint8_t> payload);
    // Chunks of one id, one after the other, gathered into as few writes as the platform
    // allows. How many of them reached the file whole; all of them when it returns their count.
    [[nodiscard]] std::size_t appendChunks(platform::FourCC id,
                                           std::span<const std::span<const std::uint8_t>> payloads);
    // A payload that stays in a file: `size` bytes, the `stored` bytes of `source` from
    // `offset` on, then zeros.
    struct FileBytes {
        platform::File* source = nullptr;
        std::int64_t offset = 0;
        std::size_t stored = 0;
        std::size_t size = 0;
    };
    enum class CopyResult {
        Copied,
        WriteFailed,    // the output could not be written (errno set); the chunk may be partly there
        SourceChanged,  // the source no longer held its `stored` bytes, or was written during the copy
    };
    // One chunk whose payload is copied from its file. Only the bytes past `stored` are written
    // as zeros (those the file never held, as a load reads them). A source that holds fewer
    // bytes than `stored` by now, or that changed while it was copied, is no frame of what it
    // was judged to be: the chunk is taken back, the file left as it was before the call.
    [[nodiscard]] CopyResult appendChunkFrom(platform::FourCC id, const FileBytes& payload);
    // The bytes a chunk of `payload` bytes takes: header, payload, pad.
    [[nodiscard]] static std::uint64_t chunkBytes(std::size_t payload) { return 8 + payload + (payload & 1); }
    [[nodiscard]] bool patch(std::uint64_t offset, std::span<const std::uint8_t> data);
    // Cuts the file back to `size` (drops a partly written chunk, frees space on a full disk).
    [[nodiscard]] bool truncate(std::uint64_t size);
    [[nodiscard]] bool close();

    [[nodiscard]] std::uint64_t position() const { return m_position; }
    [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }

private:
    [[nodiscard]] bool appendParts(std::span<const std::span<const std::uint8_t>> parts);
    [[nodiscard]] bool appendZeros(std::size_t count);

    platform::File m_file;
    std::uint64_t m_position = 0;
    std::vector<std::uint8_t> m_headers;                 // the chunk headers of one gathered write
    std::vector<std::span<const std::uint8_t>> m_parts;  // its pieces, in file order
};

}  // namespace kelvora::avifile

#pragma once

// A video's frames read back from its AVI file, in file order, as ffmpeg's reader finds them
// when it scans the file: from the first 'movi' list to the end of the file, every list
// entered whatever its kind or depth (a 'rec ' in a 'rec ', a 'movi' in a 'movi', the
// 'movi' of each OpenDML continuation), indexes and padding skipped, and past a chunk that
// cannot be whole (its size beyond the end of the file) the search goes on a byte further.
// Reads our own files and those of other writers; of several streams only the first video
// stream counts.

#include "codec/CodecPixels.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/filesystem/File.h"
#include "platform/types/FourCC.h"
#include "platform/types/Result.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvora::verify {

struct VideoStream {
    platform::FourCC handler;  // the stream header's fccHandler
    std::uint32_t rate = 0;    // frames per second: rate / scale
    std::uint32_t scale = 0;
    std::vector<std::uint8_t> format;  // the stream's format block ('strf') as stored
    binary::BITMAPINFOHEADER header;   // its first 40 bytes
};

class AviFrames {
public:
    // Opens the file and reads its headers; the reason in Italian when it cannot be read
    // (`unreadable` then set) or holds no AVI video stream.
    [[nodiscard]] static platform::Result<std::unique_ptr<AviFrames>> open(const std::filesystem::path& path,
                                                                           bool& unreadable);

    [[nodiscard]] const VideoStream& stream() const { return m_stream; }
    // The file's length when it was opened: no frame or picture of it can be larger.
    [[nodiscard]] std::int64_t length() const { return m_length; }
    // The next frame's bytes; false when there is none, problem() then saying whether the
    // file ended where it should not (a frame cut short, a read error).
    [[nodiscard]] bool next(std::vector<std::uint8_t>& data);
    // The colour table in effect for the frame last read: the format's, changed by the
    // palette changes ('##pc') before the frame. 0xFFRRGGBB for every entry given, 0 for the
    // rest, as ffmpeg keeps it.
    [[nodiscard]] const codec::CodecPalette& palette() const { return m_palette; }
    [[nodiscard]] const std::string& problem() const { return m_problem; }
    // Whether the problem is that the file could not be read (rather than that it ends short).
    [[nodiscard]] bool readFailed() const { return m_readFailed; }

private:
    AviFrames() = default;
    platform::Status readHeaders();
    void readStreamHeader(std::span<const std::uint8_t> body);
    void readStreamFormat(std::span<const std::uint8_t> body);
    void applyPaletteChange(std::span<const std::uint8_t> change);
    // The 8 bytes of a chunk's header at `at` (fewer at the end of the file); false on a
    // read error, m_problem then set.
    [[nodiscard]] bool headAt(std::int64_t at, std::array<std::uint8_t, 8>& head, std::size_t& got);
    [[nodiscard]] bool readBody(std::int64_t at, std::uint32_t size, std::vector<std::uint8_t>& data);
    void readFailure(platform::ReadOutcome outcome);

    platform::File m_file;
    std::int64_t m_length = 0;
    VideoStream m_stream;
    int m_streams = 0;        // the stream headers met
    int m_streamNumber = -1;  // the video's place among them: its chunks are "NNdb"/"NNdc"
    bool m_formatRead = false;
    std::int64_t m_at = 0;         // where the scan goes on
    std::int64_t m_cutFrame = -1;  // a frame of ours that runs past the end of the file
    codec::CodecPalette m_palette{};
    std::string m_problem;
    bool m_readFailed = false;
    // The bytes the scan looks at, read a block at a time: it may step a byte at a time.
    std::vector<std::uint8_t> m_window;
    std::int64_t m_windowAt = 0;
};

}  // namespace kelvora::verify

#pragma once

// A video's frames read back from its AVI file, in file order, as a reader that scans the
// file sees them: every 'movi' list of every RIFF (AVI 1.0 and its OpenDML continuations),
// whatever indexes the file has or lacks. Reads our own files and those of other writers;
// of several streams only the first video stream counts.

#include "codec/CodecPixels.h"
#include "platform/binary/BitmapRecords.h"
#include "platform/filesystem/File.h"
#include "platform/types/FourCC.h"

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
    // Opens the file and reads its headers; nullptr, with the reason in Italian in `error`,
    // when it cannot be read (`unreadable` then set) or holds no AVI video stream.
    [[nodiscard]] static std::unique_ptr<AviFrames> open(const std::filesystem::path& path, std::string& error,
                                                         bool& unreadable);

    [[nodiscard]] const VideoStream& stream() const { return m_stream; }
    // The next frame's bytes; false when there is none, problem() then saying whether the
    // file ended where it should not (a frame cut short, a read error).
    [[nodiscard]] bool next(std::vector<std::uint8_t>& data);
    // The colour table in effect for the frame last read: the format's, changed by the
    // palette changes ('##pc') before the frame. 0xFFRRGGBB for every entry given, 0 for the
    // rest, as ffmpeg keeps it.
    [[nodiscard]] const codec::CodecPalette& palette() const { return m_palette; }
    [[nodiscard]] const std::string& problem() const { return m_problem; }

    // A movi list, or a 'rec ' list inside one: the bytes its chunks lie in.
    struct Span {
        std::int64_t begin = 0;
        std::int64_t end = 0;
    };

private:
    AviFrames() = default;
    [[nodiscard]] bool readHeaders(std::string& error);
    // The stream's header and format when the stream is a video; false otherwise.
    [[nodiscard]] bool readStreamList(std::span<const std::uint8_t> list, int streamNumber);
    void applyPaletteChange(std::span<const std::uint8_t> change);

    platform::File m_file;
    std::int64_t m_length = 0;
    VideoStream m_stream;
    int m_streamNumber = -1;   // its place among the file's streams: its chunks are "NNdb"/"NNdc"
    std::vector<Span> m_movi;  // in file order
    std::size_t m_nextMovi = 0;
    std::vector<Span> m_open;  // the lists being read, innermost last
    std::int64_t m_at = 0;
    codec::CodecPalette m_palette{};
    std::string m_problem;
};

}  // namespace kelvora::verify

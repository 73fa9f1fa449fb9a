#pragma once

// Frame checksums in ffmpeg's framemd5 format (version 2): the header lines ffmpeg writes
// for one video stream with bit-exact output, then one line a frame, "0, dts, pts, duration,
// size, md5" of the picture as ffmpeg decodes it. The same video gives the same lines as
// `ffmpeg -i VIDEO.avi -fflags +bitexact -f framemd5 -`.

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>

namespace kelvora::verify {

struct FrameMd5Stream {
    std::uint32_t rate = 0;  // frames per second: rate / scale; the time base is its inverse
    std::uint32_t scale = 0;
    int width = 0;
    int height = 0;
    int sarNum = 0;  // 0/1 when the pictures say none
    int sarDen = 1;
};

class FrameMd5 {
public:
    explicit FrameMd5(std::FILE* out) : m_out(out) {}

    // The header lines; once, before the first frame.
    void header(const FrameMd5Stream& stream);
    // Frame `index` (from 0), one time-base unit long, as the bytes ffmpeg hashes of it.
    void frame(std::int64_t index, std::span<const std::uint8_t> picture);
    [[nodiscard]] bool headerWritten() const { return m_headerWritten; }
    // The frame lines written so far.
    [[nodiscard]] std::int64_t lines() const { return m_lines; }
    // Whether every line so far reached the stream.
    [[nodiscard]] bool failed() const { return m_failed || std::ferror(m_out) != 0; }

private:
    std::FILE* m_out;
    bool m_headerWritten = false;
    bool m_failed = false;
    std::int64_t m_lines = 0;
};

// The MD5 of bytes in lower-case hexadecimal.
[[nodiscard]] std::array<char, 33> md5Hex(std::span<const std::uint8_t> bytes);

}  // namespace kelvora::verify

#pragma once

// Frame checksums in ffmpeg's framemd5 format (version 2): the header lines ffmpeg writes
// for one video stream with bit-exact output, then one line a frame, "0, dts, pts, duration,
// size, md5" of the picture as ffmpeg decodes it. The same video gives the same lines as
// `ffmpeg -i VIDEO.avi -fflags +bitexact -f framemd5 -`.

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace kelvora::verify {

// An audio stream's description as ffmpeg's lines give it (its samples hashed as 16-bit PCM).
struct FrameMd5Audio {
    int sampleRate = 48000;
    int channels = 2;
};

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

    // An audio stream (stream 1) follows the video's: the video's header and lines wait, to be
    // written with the audio's in time order, as ffmpeg interleaves them (the video's first
    // where both fall at one time).
    void expectAudio() { m_holdVideo = true; }
    // The audio's header, after the video's lines were given: the header lines of both.
    void audioHeader(const FrameMd5Audio& audio);
    // An audio frame of `samples` from sample `pts` on, as 16-bit interleaved PCM.
    void audioFrame(std::int64_t pts, std::int64_t samples, std::span<const std::uint8_t> pcm);
    // The video's lines still waiting (after the audio's last); the audio pass is over.
    void finishAudio();

private:
    struct HeldLine {
        std::int64_t index;
        std::string text;
    };
    void writeHeader(bool withAudio);
    void writeHeldUpTo(std::int64_t pts, bool all);

    std::FILE* m_out;
    bool m_headerWritten = false;
    bool m_failed = false;
    std::int64_t m_lines = 0;
    bool m_holdVideo = false;
    bool m_headerHeld = false;
    FrameMd5Stream m_video;
    FrameMd5Audio m_audio;
    std::vector<HeldLine> m_held;
    std::size_t m_nextHeld = 0;
};

// The MD5 of bytes in lower-case hexadecimal.
[[nodiscard]] std::array<char, 33> md5Hex(std::span<const std::uint8_t> bytes);

}  // namespace kelvora::verify

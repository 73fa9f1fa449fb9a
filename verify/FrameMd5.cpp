#include "verify/FrameMd5.h"

extern "C" {
#include <libavutil/md5.h>
}

#include <algorithm>
#include <cinttypes>
#include <numeric>

namespace kelvora::verify {

std::array<char, 33> md5Hex(std::span<const std::uint8_t> bytes)
{
    std::array<std::uint8_t, 16> digest{};
    av_md5_sum(digest.data(), bytes.data(), bytes.size());
    std::array<char, 33> text{};
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < digest.size(); ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 15];
    }
    return text;
}

void FrameMd5::header(const FrameMd5Stream& stream)
{
    m_video = stream;
    m_headerWritten = true;
    if (m_holdVideo) {
        m_headerHeld = true;
        return;
    }
    writeHeader(false);
}

void FrameMd5::writeHeader(bool withAudio)
{
    // A stream without a usable rate is read at 25 frames a second, as ffmpeg reads it.
    std::uint64_t num = m_video.scale;
    std::uint64_t den = m_video.rate;
    if (num == 0 || den == 0) {
        num = 1;
        den = 25;
    }
    const std::uint64_t common = std::gcd(num, den);
    int written = std::fprintf(m_out,
                               "#format: frame checksums\n"
                               "#version: 2\n"
                               "#hash: MD5\n"
                               "#tb 0: %" PRIu64 "/%" PRIu64 "\n"
                               "#media_type 0: video\n"
                               "#codec_id 0: rawvideo\n"
                               "#dimensions 0: %dx%d\n"
                               "#sar 0: %d/%d\n",
                               num / common, den / common, m_video.width, m_video.height, m_video.sarNum,
                               m_video.sarNum == 0 ? 1 : m_video.sarDen);
    if (withAudio && written >= 0)
        written = std::fprintf(m_out,
                               "#tb 1: 1/%d\n"
                               "#media_type 1: audio\n"
                               "#codec_id 1: pcm_s16le\n"
                               "#sample_rate 1: %d\n"
                               "#channel_layout_name 1: %s\n",
                               m_audio.sampleRate, m_audio.sampleRate, m_audio.channels == 1 ? "mono" : "stereo");
    if (written >= 0)
        written = std::fprintf(m_out, "#stream#, dts,        pts, duration,     size, hash\n");
    m_failed = m_failed || written < 0;
}

void FrameMd5::frame(std::int64_t index, std::span<const std::uint8_t> picture)
{
    const std::array<char, 33> hash = md5Hex(picture);
    char line[128];
    const int length = std::snprintf(line, sizeof line, "0, %10" PRId64 ", %10" PRId64 ", %8d, %8zu, %s\n", index,
                                     index, 1, picture.size(), hash.data());
    ++m_lines;
    if (m_holdVideo) {
        m_held.push_back({index, std::string(line, static_cast<std::size_t>(std::max(length, 0)))});
        return;
    }
    m_failed = m_failed || std::fputs(line, m_out) < 0;
}

void FrameMd5::audioHeader(const FrameMd5Audio& audio)
{
    m_audio = audio;
    if (m_headerHeld)
        writeHeader(true);
    m_headerHeld = false;
}

// The held video lines at or before `pts` (samples of the audio), or all of them.
void FrameMd5::writeHeldUpTo(std::int64_t pts, bool all)
{
    const std::uint64_t num = m_video.scale == 0 ? 1 : m_video.scale;
    const std::uint64_t den = m_video.rate == 0 ? 25 : m_video.rate;
    for (; m_nextHeld < m_held.size(); ++m_nextHeld) {
        const HeldLine& line = m_held[m_nextHeld];
        // index x num / den seconds against pts / sampleRate, compared exactly.
        const __int128 video = __int128{line.index} * static_cast<__int128>(num) * m_audio.sampleRate;
        const __int128 sound = __int128{pts} * static_cast<__int128>(den);
        if (!all && video > sound)
            break;
        m_failed = m_failed || std::fputs(line.text.c_str(), m_out) < 0;
    }
}

void FrameMd5::audioFrame(std::int64_t pts, std::int64_t samples, std::span<const std::uint8_t> pcm)
{
    writeHeldUpTo(pts, false);
    const std::array<char, 33> hash = md5Hex(pcm);
    const int written = std::fprintf(m_out, "1, %10" PRId64 ", %10" PRId64 ", %8" PRId64 ", %8zu, %s\n", pts, pts,
                                     samples, pcm.size(), hash.data());
    m_failed = m_failed || written < 0;
}

void FrameMd5::finishAudio()
{
    if (m_headerHeld) {
        writeHeader(false);
        m_headerHeld = false;
    }
    writeHeldUpTo(0, true);
    m_held.clear();
    m_nextHeld = 0;
    m_holdVideo = false;
}

}  // namespace kelvora::verify

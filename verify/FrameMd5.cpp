#include "verify/FrameMd5.h"

extern "C" {
#include <libavutil/md5.h>
}

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
    // A stream without a usable rate is read at 25 frames a second, as ffmpeg reads it.
    std::uint64_t num = stream.scale;
    std::uint64_t den = stream.rate;
    if (num == 0 || den == 0) {
        num = 1;
        den = 25;
    }
    const std::uint64_t common = std::gcd(num, den);
    const int written = std::fprintf(m_out,
                                     "#format: frame checksums\n"
                                     "#version: 2\n"
                                     "#hash: MD5\n"
                                     "#tb 0: %" PRIu64 "/%" PRIu64 "\n"
                                     "#media_type 0: video\n"
                                     "#codec_id 0: rawvideo\n"
                                     "#dimensions 0: %dx%d\n"
                                     "#sar 0: %d/%d\n"
                                     "#stream#, dts,        pts, duration,     size, hash\n",
                                     num / common, den / common, stream.width, stream.height, stream.sarNum,
                                     stream.sarNum == 0 ? 1 : stream.sarDen);
    m_failed = m_failed || written < 0;
    m_headerWritten = true;
}

void FrameMd5::frame(std::int64_t index, std::span<const std::uint8_t> picture)
{
    const std::array<char, 33> hash = md5Hex(picture);
    const int written = std::fprintf(m_out, "0, %10" PRId64 ", %10" PRId64 ", %8d, %8zu, %s\n", index, index, 1,
                                     picture.size(), hash.data());
    m_failed = m_failed || written < 0;
    ++m_lines;
}

}  // namespace kelvora::verify

#include "codec/PngGreyKey.h"

#include <array>
#include <cstring>

namespace kelvora::codec {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kChunkHead = 8;  // length, type
constexpr std::size_t kChunkCrc = 4;
constexpr int kGrey = 0;

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

bool isType(const std::uint8_t* chunk, const char* type) { return std::memcmp(chunk + 4, type, 4) == 0; }

}  // namespace

std::optional<PngGreyKey> lowDepthGreyKey(std::span<const std::uint8_t> png)
{
    if (png.size() < kSignature.size() || std::memcmp(png.data(), kSignature.data(), kSignature.size()) != 0)
        return std::nullopt;
    std::optional<PngGreyKey> grey;
    for (std::size_t at = kSignature.size(); png.size() - at >= kChunkHead;) {
        const std::uint8_t* chunk = png.data() + at;
        const std::uint32_t length = bigEndian32(chunk);
        if (length > png.size() - at - kChunkHead)
            return std::nullopt;
        const std::uint8_t* data = chunk + kChunkHead;
        if (at == kSignature.size()) {
            // IHDR: width, height, bit depth, colour type...
            if (!isType(chunk, "IHDR") || length < 10 || data[9] != kGrey || data[8] >= 8)
                return std::nullopt;
            grey = PngGreyKey{data[8], 0};
        } else if (isType(chunk, "IDAT") || isType(chunk, "IEND")) {
            return std::nullopt;  // tRNS comes before the image data or not at all
        } else if (isType(chunk, "tRNS") && length >= 2) {
            grey->key = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
            return grey;
        }
        if (png.size() - at - kChunkHead - length < kChunkCrc)
            return std::nullopt;
        at += kChunkHead + length + kChunkCrc;
    }
    return std::nullopt;
}

}  // namespace kelvora::codec

#pragma once

// One lossless decoder on libavcodec: a compressed stream's frames back to pictures, so a
// video can be checked against the files it was made from, and hashed as ffmpeg hashes it
// (uncompressed run-length frames included, which ffmpeg draws over the frame before).
// A decoder is used by one thread at a time.

#include "codec/Codec.h"
#include "codec/CodecPixels.h"
#include "platform/types/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvora::codec {

// The picture last decoded; its rows stay valid until the next decode.
struct DecodedPicture {
    int width = 0;
    int height = 0;
    // The layout when it is one our encoders write (PNG of RGBA, FFV1 of YUV... are not);
    // its rows are top-down, `stride` bytes apart.
    std::optional<PixelLayout> layout;
    const std::uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
    CodecPalette palette{};  // for Pal8: 0xAARRGGBB
    // The picture's sample aspect ratio as the codec gives it; 0/1 when it says none.
    int sarNum = 0;
    int sarDen = 1;
};

class LosslessDecoder {
public:
    // The largest packet decode takes; a larger one is refused (libavcodec counts in an int).
    static constexpr std::size_t kLargestPacket = 0x7FFFFFFF - 64;

    // A decoder for `codec` (not Raw) with the stream's configuration record (FFV1's; empty
    // for PNG), spreading a frame over `threads` threads where the codec can; libavcodec's
    // reason when it cannot be opened.
    [[nodiscard]] static platform::Result<std::unique_ptr<LosslessDecoder>> open(
        Codec codec, std::span<const std::uint8_t> configuration, int width, int height, int threads);
    // A decoder for uncompressed run-length frames (RLE8 or RLE4, `bitCount` 8 or 4) as
    // ffmpeg decodes them: a pixel a frame leaves undrawn keeps the previous frame's index.
    // Each frame is given the colour table in effect for it.
    [[nodiscard]] static platform::Result<std::unique_ptr<LosslessDecoder>> openRle(int width, int height,
                                                                                    int bitCount);
    ~LosslessDecoder();
    LosslessDecoder(const LosslessDecoder&) = delete;
    LosslessDecoder& operator=(const LosslessDecoder&) = delete;

    // Decodes one key frame; the reason when libavcodec cannot.
    platform::Status decode(std::span<const std::uint8_t> packet);
    // The same with the colour table in effect for the frame (0xAARRGGBB entries).
    platform::Status decode(std::span<const std::uint8_t> packet, const CodecPalette& palette);
    [[nodiscard]] DecodedPicture picture() const;
    // The damage the decoder found in the frame last decoded and hid (a slice failing its CRC,
    // concealed from the frame before), as libavcodec says it; empty when it found none. A
    // frame decoded with damage is still given, as ffmpeg gives it.
    [[nodiscard]] const std::string& damage() const;
    // The picture as ffmpeg's raw video packs it: each plane's rows one after the other with
    // no padding, then for a palette picture its 256 entries (4 bytes each, little-endian).
    void packed(std::vector<std::uint8_t>& out) const;
    // The name of the picture's pixel format, as ffmpeg names it ("bgr0", "pal8").
    [[nodiscard]] std::string pixelFormatName() const;

private:
    struct Context;
    explicit LosslessDecoder(std::unique_ptr<Context> context);
    platform::Status send(std::span<const std::uint8_t> packet, const CodecPalette* palette);

    std::unique_ptr<Context> m_context;
};

}  // namespace kelvora::codec

#pragma once

// The frames of any writer's video as libavcodec decodes them, whatever the codec (Ut Video,
// HuffYUV, MJPEG...) and, uncompressed, whatever the depth and row order: each picture
// converted to 8-bit RGB (libswscale), the form a frame file's colours are compared in.

#include "codec/CodecPixels.h"
#include "verify/AviFrames.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvora::verify {

class ForeignDecoder {
public:
    // A decoder for the stream's codec, found by its FourCC as ffmpeg's AVI reader finds it;
    // nullptr, with the reason in Italian, when libavcodec has none or it cannot be opened.
    [[nodiscard]] static std::unique_ptr<ForeignDecoder> open(const VideoStream& stream, std::string& error);
    ~ForeignDecoder();
    ForeignDecoder(const ForeignDecoder&) = delete;
    ForeignDecoder& operator=(const ForeignDecoder&) = delete;

    // Decodes one frame with the colour table in effect; false, with the reason, when it cannot.
    [[nodiscard]] bool decode(std::span<const std::uint8_t> packet, const codec::CodecPalette& palette,
                              std::string& error);
    // The picture last decoded: red, green, blue a pixel, rows top-down and unpadded.
    [[nodiscard]] std::span<const std::uint8_t> rgb() const { return m_rgb; }
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    // The picture as ffmpeg's framemd5 hashes it (its own pixel format, planes packed).
    void packed(std::vector<std::uint8_t>& out) const;
    // Whether the codec keeps every pixel (otherwise a frame can only be like its file).
    [[nodiscard]] bool lossless() const { return m_lossless; }

private:
    struct Context;
    explicit ForeignDecoder(std::unique_ptr<Context> context);

    std::unique_ptr<Context> m_context;
    std::vector<std::uint8_t> m_rgb;
    int m_width = 0;
    int m_height = 0;
    bool m_lossless = false;
};

}  // namespace kelvora::verify

#pragma once

// The frames of any writer's video as libavcodec decodes them, whatever the codec (Ut Video,
// HuffYUV, MJPEG...) and, uncompressed, whatever the depth and row order: each picture
// converted to 8-bit RGB (libswscale), the form a frame file's colours are compared in.

#include "verify/DisplayTurn.h"
#include "bitmap/PictureHeader.h"
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
    // the reason in Italian when libavcodec has none or it cannot be opened.
    [[nodiscard]] static platform::Result<std::unique_ptr<ForeignDecoder>> open(const VideoStream& stream);
    ~ForeignDecoder();
    ForeignDecoder(const ForeignDecoder&) = delete;
    ForeignDecoder& operator=(const ForeignDecoder&) = delete;

    // Decodes one frame with the colour table in effect; the reason when it cannot (for a
    // codec that gives every frame back at once: uncompressed layouts, intra codecs).
    platform::Status decode(std::span<const std::uint8_t> packet, const codec::CodecPalette& palette);

    // The same as a stream: the frame at place `index` of the file goes in, and pictures come
    // out in display order, a codec with B-frames holding some back (H.264...). The reason
    // when the frame does not decode; a codec that holds none back then has no picture
    // for it ("nessuna immagine") when receive finds none.
    platform::Status send(std::span<const std::uint8_t> packet, const codec::CodecPalette& palette, std::int64_t index);
    // Once the last frame is sent: the pictures still held back are to come out.
    void drain();
    // The next picture out, now current; false when none is ready.
    [[nodiscard]] bool receive();
    // Whether the codec may hold pictures back.
    [[nodiscard]] bool delays() const { return m_delays; }
    // The current picture's time in frames, as ffmpeg takes it (the frame's own, else the
    // place of the frame the decoder was given when it came out); negative when it has none.
    [[nodiscard]] std::int64_t time() const;
    // Its sample aspect ratio; 0/1 when it says none.
    [[nodiscard]] int sarNum() const;
    [[nodiscard]] int sarDen() const;
    // The picture last decoded: red, green, blue a pixel, rows top-down and unpadded.
    [[nodiscard]] std::span<const std::uint8_t> rgb() const { return m_rgb; }
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    // The picture as ffmpeg's framemd5 hashes it (its own pixel format, planes packed), turned
    // as ffmpeg turns a JPEG by its EXIF orientation; false when its planes cannot be turned.
    [[nodiscard]] bool packed(std::vector<std::uint8_t>& out, OrientationTurn turn = {}) const;
    // Whether the codec keeps every pixel (otherwise a frame can only be like its file).
    [[nodiscard]] bool lossless() const { return m_lossless; }
    // Whether its frames are picture files of `type` stored whole (Motion-JPEG: JPEG files).
    [[nodiscard]] bool stores(bitmap::PictureType type) const
    {
        return type == bitmap::PictureType::Jpeg && m_motionJpeg;
    }

private:
    struct Context;
    explicit ForeignDecoder(std::unique_ptr<Context> context);
    platform::Status sendWhole(std::span<const std::uint8_t> packet, const codec::CodecPalette& palette,
                               std::int64_t index);
    // Takes the decoder's next picture into the queue; false when it has none now.
    bool keepNext();
    // The current picture into m_rgb.
    platform::Status convert();

    std::unique_ptr<Context> m_context;
    std::vector<std::uint8_t> m_rgb;
    int m_width = 0;
    int m_height = 0;
    bool m_lossless = false;
    bool m_delays = false;
    bool m_motionJpeg = false;
};

}  // namespace kelvora::verify

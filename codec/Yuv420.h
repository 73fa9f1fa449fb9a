#pragma once

// A frame's picture as H.264 takes it: Y'CbCr 4:2:0, 8 bits, the BT.709 matrix in limited
// range (Y' 16 to 235, Cb and Cr 16 to 240), each chroma sample from the mean of the 2 x 2
// block of pixels it stands for. A picture of odd width or height is padded to even by
// repeating its last column or row: never scaled, never cropped.

#include "bitmap/FramePlan.h"
#include "codec/Background.h"
#include "codec/CodecPixels.h"
#include "platform/types/Result.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kelvora::codec {

class PictureConverter;

// The picture's size once padded to even.
struct EvenSize {
    int width = 0;
    int height = 0;
    [[nodiscard]] std::size_t planeBytes() const
    {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 / 2;
    }
};
[[nodiscard]] EvenSize evenSize(const bitmap::StreamShape& shape);

// `rgb`: `width` x `height` pixels, rows top-down, 3 bytes a pixel (red, green, blue),
// `stride` bytes apart. `planes` receives Y' (size.width x size.height), then Cb, then Cr
// (each half as wide and half as high), rows packed.
void rgbToYuv420(const std::uint8_t* rgb, std::ptrdiff_t stride, int width, int height, EvenSize size,
                 std::span<std::uint8_t> planes);

// The conversion of one stream's frames, of any depth the save takes (palettes per frame,
// 16-bit fields widened as CodecPixels does). One per thread: it keeps its RGB rows.
class Yuv420Converter {
public:
    // Picture files' transparency shows over `background`.
    explicit Yuv420Converter(const bitmap::StreamShape& shape, Background background = {});
    ~Yuv420Converter();
    Yuv420Converter(const Yuv420Converter&) = delete;
    Yuv420Converter& operator=(const Yuv420Converter&) = delete;

    // The frame's pixel block and colour table as FramePlan gives them, into `planes`.
    void convert(std::span<const std::uint8_t> bits, std::span<const std::uint8_t> palette,
                 std::vector<std::uint8_t>& planes);
    // A picture file's picture as PictureDecoder gives it (depth reduced to 8 bits,
    // transparency composited over the background); the reason when it does not fit the
    // stream.
    platform::Status convertPicture(const AVFrame& decoded, std::vector<std::uint8_t>& planes);

private:
    bitmap::StreamShape m_shape;
    EvenSize m_size;
    Background m_background;
    std::vector<std::uint8_t> m_rgb;
    std::unique_ptr<PictureConverter> m_pictures;
};

}  // namespace kelvora::codec

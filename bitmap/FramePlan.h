#pragma once

// What becomes of a bitmap in a video: the one place that decides whether a frame is
// accepted, and with which format block its stream is written. Every frame's pixel block
// goes into the video exactly as its file stores it; what may change is only the format
// block, where the file's own header would not play:
//
//   depth     header / compression                     written as
//   1, 4, 8   40 bytes, full colour table              the file's header and table
//   1, 4, 8   OS/2, larger headers, short tables       standard 40-byte header, table padded
//   8         RLE8 (4: RLE4), bottom-up, sound runs    as above
//   16        BI_RGB (5-5-5), bit fields 5-6-5         the file's header
//   16        bit fields 5-5-5                         standard header, BI_RGB
//   24        BI_RGB (any header size; OS/2)           the file's header (OS/2: standard)
//   32        BI_RGB                                   the file's header
//   32        bit fields 00FF0000 0000FF00 000000FF    standard header, BI_RGB
//   other masks, depths, compressions (JPEG, PNG, Huffman): refused, with the reason
//
// Frames of 1 to 8 bits keep their own colours: a frame whose table differs from the
// stream's is written after a palette change.

#include "bitmap/cDIB.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kelvora::bitmap {

// What the videos we write can hold, whatever the codec: the AVI stream header stores the
// frame's sides as signed 16-bit numbers, and the library takes a format block of up to 1 MiB
// (platform/avifile). A frame beyond them is refused when it is added, never at the save.
inline constexpr std::int32_t kLargestVideoSide = 32767;
inline constexpr std::size_t kLargestFormatBlock = std::size_t{1} << 20;

// Whether libavcodec (ffmpeg, and the players built on it) makes a picture `rows` high in a
// buffer `bufferWidth` pixels wide: only where 8 x (bufferWidth + 128) x (rows + 128) stays
// below INT_MAX (av_image_check_size2). An uncompressed frame's buffer is as wide as the frame;
// a PNG or JPEG decoder's is its width rounded up to 64 (pictureBufferWidth).
[[nodiscard]] bool sizeIsDecodable(std::int64_t bufferWidth, std::int64_t rows);
// The width of the buffer libavcodec's PNG and MJPEG decoders decode a picture into (measured
// with ffmpeg 5.1: 16256 x 16255 decodes, 16255 x 16256 does not).
[[nodiscard]] constexpr std::int64_t pictureBufferWidth(std::int64_t width) { return (width + 63) / 64 * 64; }

// What frames of one stream must share for their bytes to mean what its format says.
struct StreamShape {
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative for rows stored top-down
    std::int32_t bitCount = 0;
    std::int32_t compression = 0;  // as written: BI_RGB, BI_RLE8, BI_RLE4 or BI_BITFIELDS (5-6-5)
    // For a picture file stored whole (compression 'MPNG', 'MJPG'): its own format (colour type
    // and depth, components and sampling), which every frame of the stream shares; 0 for bitmaps.
    std::uint32_t picture = 0;
    bool operator==(const StreamShape&) const = default;
};

struct FramePlan {
    enum class Form {
        AsStored,        // the file's own bitmap-information block
        StandardHeader,  // a 40-byte header with the same meaning, colour table padded
        Refused,
        Incomplete,  // the file ends before its pixel rows do
    };
    Form form = Form::Refused;
    // Why a frame is refused, in Italian, for the user; empty otherwise.
    std::string reason;
    StreamShape shape;
    // The format block a stream starting with this frame is written with.
    std::vector<std::uint8_t> format;
    // For 1 to 8 bits: the colour table as the stream shows it, 4 bytes (blue, green, red,
    // 0) for every possible index; empty above 8 bits.
    std::vector<std::uint8_t> palette;

    [[nodiscard]] bool accepted() const { return form == Form::AsStored || form == Form::StandardHeader; }
};

// For a successfully loaded object.
[[nodiscard]] FramePlan planFrame(const cDIB& dib);

// The stream's format block with its colour table replaced by `palette` (same length): what
// a palette change to a later frame's colours sets.
[[nodiscard]] std::vector<std::uint8_t> formatWithPalette(std::span<const std::uint8_t> format,
                                                          std::span<const std::uint8_t> palette);

}  // namespace kelvora::bitmap

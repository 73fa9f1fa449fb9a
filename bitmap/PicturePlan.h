#pragma once

// What becomes of a PNG or JPEG file in a video: stored as it is (one PNG or Motion-JPEG
// frame) or decoded by libavcodec for the compressed saves, so it is accepted only where the
// players' decoders read it as it is and libavcodec decodes it:
//
//   PNG    every colour type and depth, interlaced or not    accepted
//          animated (APNG)                                     refused: a frame is one picture
//   JPEG   baseline, extended or progressive Huffman, 8 bits,  accepted
//          1 or 3 components, any sampling
//          12 bits, lossless                                   refused: GStreamer does not decode
//                                                              them, the compressed saves do
//                                                              not take libavcodec's planes
//          arithmetic, hierarchical                            refused: libavcodec decodes neither
//          CMYK or YCCK (4 components)                         accepted, but refused by a save
//                                                              storing files as they are
//          2 components                                        refused: not a picture players show
//
// Frames of one stream share their type, sides, and for PNG the colour type and bit depth,
// for JPEG the components and their sampling: what a decoder set up by the first frame keeps.

#include "bitmap/PictureHeader.h"

#include <array>
#include <cstdint>
#include <string>

namespace kelvora::bitmap {

struct PictureShape {
    PictureType type = PictureType::Png;
    std::int32_t width = 0;
    std::int32_t height = 0;
    PngColour colour = PngColour::Rgb;  // PNG only
    std::uint8_t bitDepth = 0;          // PNG only
    std::uint8_t components = 0;        // JPEG only
    // JPEG only: each component's horizontal and vertical sampling factors, in order.
    std::array<std::uint8_t, 8> sampling = {};
    bool operator==(const PictureShape&) const = default;
};

struct PicturePlan {
    bool accepted = false;
    // Why a picture is refused, in Italian, to follow "Motivo: "; empty when accepted.
    std::string reason;
    PictureShape shape;
};

// For a file whose headers were read (`header.read()`), of type PNG or JPEG.
[[nodiscard]] PicturePlan planPicture(const PictureHeader& header);

// The first lines of the messages about a picture file (the path and "Motivo: " follow): one
// that ends before its picture does, one whose content is no picture of its type, and one
// that no video can hold as it is.
inline constexpr const char* kIncompletePictureText = "Il file è incompleto:";
inline constexpr const char* kNotAPictureText = "Il file non è un'immagine valida:";
inline constexpr const char* kUnsupportedPictureText = "Il file non è un'immagine supportata:";

// The shape as the status line names it: "PNG 320×240, RGBA a 8 bit", "JPEG 320×240, 4:2:0".
[[nodiscard]] std::string pictureShapeText(const PictureShape& shape);

}  // namespace kelvora::bitmap

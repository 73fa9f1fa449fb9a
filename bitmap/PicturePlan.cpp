#include "bitmap/PicturePlan.h"

#include <algorithm>

namespace kelvora::bitmap {

namespace {

// What the players decode, measured with ffmpeg 5.1 and GStreamer 1.22 (an MJPG AVI of each
// kind): ffmpeg decodes baseline, extended and progressive JPEGs, 12-bit and lossless ones (into
// 16-bit or RGB planes), but neither arithmetic-coded nor hierarchical ones ("unsupported
// coding type"); GStreamer's JPEG decoder takes the 8-bit Huffman-coded ones, progressive
// included, and no 12-bit or lossless one. libavcodec is also what decodes a JPEG for the
// compressed saves, which take its 8-bit planes only.
constexpr const char* kNoDecoder = ", che libavcodec (ffmpeg) non decodifica: nessun tipo di video lo può contenere";
constexpr const char* kNotForPlayers = ", che GStreamer non decodifica e che i salvataggi compressi non prendono";

// Why a JPEG cannot go into a video; empty when it can. A CMYK one is taken: libavcodec
// decodes it for the compressed outputs, and only a save storing files as they are refuses it.
std::string jpegRefusal(const JpegFacts& jpeg)
{
    if (jpeg.arithmetic)
        return std::string("JPEG con codifica aritmetica") + kNoDecoder;
    if (jpeg.hierarchical)
        return std::string("JPEG gerarchico") + kNoDecoder;
    if (jpeg.process == JpegProcess::Lossless)
        return std::string("JPEG senza perdita (lossless)") + kNotForPlayers;
    if (jpeg.precision != 8)
        return "JPEG a " + std::to_string(jpeg.precision) + " bit per campione" + kNotForPlayers;
    if (jpeg.componentCount == 2)
        return "JPEG con 2 componenti di colore, che i lettori video non mostrano";
    return {};
}

const char* colourName(PngColour colour)
{
    switch (colour) {
    case PngColour::Grey:
        return "scala di grigi";
    case PngColour::GreyAlpha:
        return "scala di grigi con trasparenza";
    case PngColour::Palette:
        return "tavolozza";
    case PngColour::Rgb:
        return "RGB";
    case PngColour::Rgba:
        return "RGBA";
    }
    return "";
}

}  // namespace

PicturePlan planPicture(const PictureHeader& header)
{
    PicturePlan plan;
    PictureShape& shape = plan.shape;
    shape.type = header.type;
    shape.width = header.width;
    shape.height = header.height;
    if (header.type == PictureType::Png) {
        shape.colour = header.png.colour;
        shape.bitDepth = header.png.bitDepth;
        if (header.png.animated)
            plan.reason = "PNG animato (APNG): un fotogramma del video è una sola immagine";
    } else if (header.type == PictureType::Jpeg) {
        shape.components = header.jpeg.componentCount;
        for (std::size_t i = 0; i < shape.components; ++i) {
            shape.sampling[2 * i] = header.jpeg.components[i].horizontal;
            shape.sampling[2 * i + 1] = header.jpeg.components[i].vertical;
        }
        plan.reason = jpegRefusal(header.jpeg);
    } else {
        plan.reason = "un bitmap si giudica dal suo oggetto bitmap";  // a caller's fault: BMPs go through cDIB
    }
    plan.accepted = plan.reason.empty();
    return plan;
}

std::string pictureShapeText(const PictureShape& shape)
{
    std::string text = std::string(pictureTypeName(shape.type)) + " " + std::to_string(shape.width) + "×" +
                       std::to_string(shape.height);
    if (shape.type == PictureType::Png)
        return text + ", " + colourName(shape.colour) + " a " + std::to_string(shape.bitDepth) + " bit";
    JpegFacts facts;
    facts.componentCount = shape.components;
    for (std::size_t i = 0; i < std::min<std::size_t>(shape.components, facts.components.size()); ++i)
        facts.components[i] = {static_cast<std::uint8_t>(i + 1), shape.sampling[2 * i], shape.sampling[2 * i + 1]};
    return text + ", " + facts.samplingText();
}

}  // namespace kelvora::bitmap

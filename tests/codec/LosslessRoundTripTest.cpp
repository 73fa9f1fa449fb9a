// Every codec configuration we write decodes to the frame's exact colours: every size from
// 1 x 1 to 9 x 9 and sizes thin in one direction, at every depth and pixel form a frame may
// have, through our encoder and libavcodec's decoder. The expected colours are read from the
// bitmap's bytes here, independently of the encoder's own conversion. JPEG frames likewise,
// in every sampling and colour form, against libavcodec's decode of the file.
#include "codec/AvObjects.h"
#include "codec/LosslessDecoder.h"
#include "codec/LosslessEncoder.h"
#include "codec/PictureDecoder.h"
#include "platform/binary/BitmapRecords.h"
#include "tests/support/fs/TempDir.h"
#include "tests/support/pictures/MadePictures.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kelvora::codec {
namespace {

using binary::BI_BITFIELDS;
using binary::BI_RGB;
using binary::BI_RLE4;
using binary::BI_RLE8;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

// A pixel form a bitmap may store.
struct Form {
    const char* name;
    int bitCount;
    int compression;
    bool topDown = false;
};

constexpr std::array kForms{
    Form{"1 bit", 1, BI_RGB},          Form{"4 bits", 4, BI_RGB},
    Form{"8 bits", 8, BI_RGB},         Form{"8 bits top-down", 8, BI_RGB, true},
    Form{"RLE4", 4, BI_RLE4},          Form{"RLE8", 8, BI_RLE8},
    Form{"16 bits 5-5-5", 16, BI_RGB}, Form{"16 bits 5-6-5", 16, BI_BITFIELDS},
    Form{"24 bits", 24, BI_RGB},       Form{"24 bits top-down", 24, BI_RGB, true},
    Form{"32 bits", 32, BI_RGB},
};

// A frame as FramePlan gives it, and the colours it shows, top row first.
struct Frame {
    bitmap::StreamShape shape;
    std::vector<std::uint8_t> bits;
    std::vector<std::uint8_t> palette;
    std::vector<Rgb> colours;
};

std::uint8_t widen5(unsigned v) { return static_cast<std::uint8_t>(v << 3 | v >> 2); }
std::uint8_t widen6(unsigned v) { return static_cast<std::uint8_t>(v << 2 | v >> 4); }

// Noise, so that a pixel in the wrong place shows.
Frame makeFrame(const Form& form, int width, int height)
{
    Frame f;
    f.shape = {width, form.topDown ? -height : height, form.bitCount, form.compression};
    std::uint32_t state = static_cast<std::uint32_t>(width * 7919 + height * 31 + form.bitCount);
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<std::uint8_t>(state >> 24);
    };
    const int entries = form.bitCount <= 8 ? 1 << form.bitCount : 0;
    for (int i = 0; i < entries; ++i)
        f.palette.insert(f.palette.end(), {next(), next(), next(), 0});
    const bool rle = form.compression == BI_RLE8 || form.compression == BI_RLE4;
    const auto stride = static_cast<std::size_t>(binary::rowStride(width, form.bitCount));
    if (!rle)
        f.bits.assign(stride * static_cast<std::size_t>(height), 0);
    f.colours.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int stored = 0; stored < height; ++stored) {
        const int y = form.topDown ? stored : height - 1 - stored;  // the picture's row
        std::uint8_t* row = rle ? nullptr : f.bits.data() + static_cast<std::size_t>(stored) * stride;
        for (int x = 0; x < width; ++x) {
            Rgb& colour = f.colours[static_cast<std::size_t>(y * width + x)];
            if (entries > 0) {
                const auto index = static_cast<std::uint8_t>(next() % entries);
                colour = {f.palette[4 * index + 2], f.palette[4 * index + 1], f.palette[4 * index]};
                if (form.compression == BI_RLE8)
                    f.bits.insert(f.bits.end(), {1, index});  // a run of one pixel
                else if (form.compression == BI_RLE4)
                    f.bits.insert(f.bits.end(), {1, static_cast<std::uint8_t>(index << 4)});
                else if (form.bitCount == 8)
                    row[x] = index;
                else if (form.bitCount == 4)
                    row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
                else
                    row[x / 8] |= static_cast<std::uint8_t>(index << (7 - x % 8));
            } else if (form.bitCount == 16) {
                const unsigned v = next() | unsigned{next()} << 8;
                row[2 * x] = static_cast<std::uint8_t>(v);
                row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                colour = form.compression == BI_BITFIELDS
                             ? Rgb{widen5(v >> 11 & 31), widen6(v >> 5 & 63), widen5(v & 31)}
                             : Rgb{widen5(v >> 10 & 31), widen5(v >> 5 & 31), widen5(v & 31)};
            } else {
                std::uint8_t* p = row + x * (form.bitCount / 8);
                p[0] = next();
                p[1] = next();
                p[2] = next();
                if (form.bitCount == 32)
                    p[3] = next();  // unused: not part of the colour
                colour = {p[2], p[1], p[0]};
            }
        }
        if (rle)
            f.bits.insert(f.bits.end(), {0, 0});  // end of row
    }
    if (rle)
        f.bits.insert(f.bits.end(), {0, 1});  // end of picture
    return f;
}

Rgb colourAt(const DecodedPicture& picture, int x, int y)
{
    const std::uint8_t* row = picture.data + static_cast<std::ptrdiff_t>(y) * picture.stride;
    switch (*picture.layout) {
    case PixelLayout::Bgr0:
        return {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
    case PixelLayout::Rgb24:
        return {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    case PixelLayout::Pal8:
        break;
    }
    const std::uint32_t entry = picture.palette[row[x]];
    return {static_cast<std::uint8_t>(entry >> 16), static_cast<std::uint8_t>(entry >> 8),
            static_cast<std::uint8_t>(entry)};
}

// Why the frame does not come back exactly through `codec`; empty when it does.
std::string roundTripFault(Codec codec, const Frame& frame)
{
    auto opened = LosslessEncoder::open(codec, frame.shape, 2);
    if (!opened)
        return "open: " + opened.error();
    const auto encoder = std::move(opened).value();
    std::vector<std::uint8_t> packet;
    if (const auto encoded = encoder->encode(frame.bits, frame.palette, packet); !encoded)
        return "encode: " + encoded.error();
    const int width = frame.shape.width;
    const int height = frame.shape.height < 0 ? -frame.shape.height : frame.shape.height;
    auto openedDecoder = LosslessDecoder::open(codec, encoder->configuration(), width, height, 1);
    if (!openedDecoder)
        return "decoder: " + openedDecoder.error();
    const auto decoder = std::move(openedDecoder).value();
    if (const auto decoded = decoder->decode(packet); !decoded)
        return "decode: " + decoded.error();
    const DecodedPicture picture = decoder->picture();
    if (picture.width != width || picture.height != height || !picture.layout)
        return "decoded as " + std::to_string(picture.width) + " x " + std::to_string(picture.height) + " " +
               decoder->pixelFormatName();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (!(colourAt(picture, x, y) == frame.colours[static_cast<std::size_t>(y * width + x)]))
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") differs";
    return {};
}

struct Size {
    int width;
    int height;
};

void expectExactAtSizes(const std::vector<Size>& sizes)
{
    std::vector<std::string> faults;
    for (const Codec codec : {Codec::Ffv1, Codec::Png})
        for (const Size size : sizes)
            for (const Form& form : kForms)
                if (const std::string fault = roundTripFault(codec, makeFrame(form, size.width, size.height));
                    !fault.empty())
                    faults.push_back(std::string(codecLabel(codec)) + " " + std::to_string(size.width) + " x " +
                                     std::to_string(size.height) + " " + form.name + ": " + fault);
    std::string shown;
    for (std::size_t i = 0; i < faults.size() && i < 25; ++i)
        shown += faults[i] + "\n";
    EXPECT_TRUE(faults.empty()) << faults.size() << " frames not exact, among them:\n" << shown;
}

TEST(LosslessRoundTrip, EverySizeUpToNineByNineDecodesToItsColours)
{
    std::vector<Size> sizes;
    for (int height = 1; height <= 9; ++height)
        for (int width = 1; width <= 9; ++width)
            sizes.push_back({width, height});
    expectExactAtSizes(sizes);
}

// Thin frames: one or two pixels across and long (every slice grid of level 3 misplaces a
// slice there), and past 352 x 288, where the encoder no longer takes a single slice; odd
// sizes just past it.
TEST(LosslessRoundTrip, ThinFramesDecodeToTheirColours)
{
    expectExactAtSizes({{2, 1000},
                        {1000, 2},
                        {1920, 2},
                        {2, 1080},
                        {1, 1000},
                        {1000, 1},
                        {1, 289},
                        {353, 1},
                        {3, 400},
                        {400, 3},
                        {1, 3000},
                        {353, 2},
                        {353, 289},
                        {1001, 7}});
}

// A JPEG's picture as each stream should give it back, computed here from libavcodec's
// decode of the file: FFV1 keeps Y'CbCr planes as decoded (YCCK's three, its fourth is
// opaque) and RGB (from RGB or CMYK components) as blue, green, red and a byte we do not
// compare; PNG holds the RGB libswscale makes of Y'CbCr, as ffmpeg converts it.
std::vector<std::uint8_t> expectedOfJpeg(Codec codec, const AVFrame& decoded)
{
    const auto w = static_cast<std::size_t>(decoded.width);
    const auto h = static_cast<std::size_t>(decoded.height);
    const auto plane = [&](int p, std::size_t x, std::size_t y) {
        return decoded.data[p][static_cast<std::ptrdiff_t>(y) * decoded.linesize[p] + static_cast<std::ptrdiff_t>(x)];
    };
    std::vector<std::uint8_t> out;
    if (decoded.format == AV_PIX_FMT_GBRP || decoded.format == AV_PIX_FMT_GBRAP) {
        for (std::size_t y = 0; y < h; ++y)
            for (std::size_t x = 0; x < w; ++x) {
                if (codec == Codec::Ffv1)
                    out.insert(out.end(), {plane(1, x, y), plane(0, x, y), plane(2, x, y), 0});
                else
                    out.insert(out.end(), {plane(2, x, y), plane(0, x, y), plane(1, x, y)});
            }
        return out;
    }
    if (codec == Codec::Ffv1 || decoded.format == AV_PIX_FMT_GRAY8) {
        detail::packedPicture(decoded, out);
        if (decoded.format == AV_PIX_FMT_YUVA444P)
            out.resize(w * h * 3);
        return out;
    }
    std::unique_ptr<AVFrame, detail::FreeFrame> rgb(av_frame_alloc());
    rgb->format = AV_PIX_FMT_RGB24;
    rgb->width = decoded.width;
    rgb->height = decoded.height;
    if (av_frame_get_buffer(rgb.get(), 0) < 0)
        return {};
    SwsContext* scaler =
        sws_getContext(decoded.width, decoded.height, static_cast<AVPixelFormat>(decoded.format), decoded.width,
                       decoded.height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    int *from = nullptr, *to = nullptr, range = 0, toRange = 0, brightness = 0, contrast = 0, saturation = 0;
    (void)sws_getColorspaceDetails(scaler, &from, &range, &to, &toRange, &brightness, &contrast, &saturation);
    (void)sws_setColorspaceDetails(scaler, from, 1, to, toRange, brightness, contrast, saturation);  // JPEG: full
    sws_scale(scaler, decoded.data, decoded.linesize, 0, decoded.height, rgb->data, rgb->linesize);
    sws_freeContext(scaler);
    detail::packedPicture(*rgb, out);
    return out;
}

// Why the JPEG at `file` does not come back through `codec` as it should; empty when it does.
std::string jpegRoundTripFault(Codec codec, const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    auto jpeg = PictureDecoder::open(bitmap::PictureType::Jpeg);
    if (!jpeg)
        return "JPEG: " + jpeg.error();
    if (const auto decodedJpeg = jpeg.value()->decode(bytes); !decodedJpeg)
        return "JPEG: " + decodedJpeg.error();
    const AVFrame& decoded = jpeg.value()->picture();
    const AVPixelFormat format = pictureStreamFormat(codec, decoded);
    const bitmap::StreamShape shape{decoded.width, -decoded.height, 24, 0};
    auto opened = LosslessEncoder::openForPictures(codec, shape, format, 2, {});
    if (!opened)
        return "open: " + opened.error();
    const auto encoder = std::move(opened).value();
    std::vector<std::uint8_t> packet;
    if (const auto encoded = encoder->encodePicture(decoded, packet); !encoded)
        return "encode: " + encoded.error();
    auto openedDecoder = LosslessDecoder::open(codec, encoder->configuration(), decoded.width, decoded.height, 1);
    if (!openedDecoder)
        return "decode: " + openedDecoder.error();
    const auto decoder = std::move(openedDecoder).value();
    if (const auto decodedPacket = decoder->decode(packet); !decodedPacket)
        return "decode: " + decodedPacket.error();
    std::vector<std::uint8_t> got;
    decoder->packed(got);
    const std::vector<std::uint8_t> want = expectedOfJpeg(codec, decoded);
    if (got.size() != want.size())
        return "decoded as " + decoder->pixelFormatName() + ", " + std::to_string(got.size()) + " bytes for " +
               std::to_string(want.size());
    const bool rgb0 = decoder->pixelFormatName() == "bgr0";
    for (std::size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i] && !(rgb0 && i % 4 == 3))
            return "byte " + std::to_string(i) + " of " + decoder->pixelFormatName() +
                   " differs: " + std::to_string(got[i]) + " for " + std::to_string(want[i]);
    return {};
}

void expectJpegsExact(const std::string& forms, const std::vector<Size>& sizes)
{
    testsupport::TempDir folder;
    std::string names;
    for (const Size size : sizes)
        names += std::to_string(size.width) + "x" + std::to_string(size.height) + " ";
    testsupport::makeJpegs(folder.path(), forms, names);
    std::vector<std::string> faults;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        ++files;
        for (const Codec codec : {Codec::Ffv1, Codec::Png})
            if (const std::string fault = jpegRoundTripFault(codec, entry.path()); !fault.empty())
                faults.push_back(std::string(codecLabel(codec)) + " " + entry.path().filename().string() + ": " +
                                 fault);
    }
    EXPECT_EQ(files, sizes.size() * static_cast<std::size_t>(std::count(forms.begin(), forms.end(), ',') + 1));
    std::string shown;
    for (std::size_t i = 0; i < faults.size() && i < 25; ++i)
        shown += faults[i] + "\n";
    EXPECT_TRUE(faults.empty()) << faults.size() << " JPEG frames not exact, among them:\n" << shown;
}

// Every sampling at every size to 9 x 9: a chroma sample covers 2 or 4 pixels there, so the
// last column or row of chroma is a part sample at most of these sizes.
TEST(LosslessRoundTrip, JpegsOfEverySamplingAndFormUpToNineByNineDecodeToTheirPictures)
{
    std::vector<Size> sizes;
    for (int height = 1; height <= 9; ++height)
        for (int width = 1; width <= 9; ++width)
            sizes.push_back({width, height});
    expectJpegsExact("444,422,420,411,440,410,grey,rgb,cmyk", sizes);
    expectJpegsExact("ycck", {{1, 1}, {2, 3}, {5, 7}, {9, 9}});
}

// Thin JPEGs, the 4:1:1 widths whose last chroma column FFV1's slices once left out (150,
// 149, 302, 350 across; exact at 152, 354, 600) and a photo's size four slices were refused at.
TEST(LosslessRoundTrip, JpegsThinOrOfAwkwardWidthsDecodeToTheirPictures)
{
    expectJpegsExact("420,411,440,410", {{1, 500},
                                         {500, 1},
                                         {2, 700},
                                         {700, 2},
                                         {150, 103},
                                         {150, 104},
                                         {149, 104},
                                         {302, 200},
                                         {350, 288},
                                         {152, 103},
                                         {354, 290},
                                         {600, 401}});
    expectJpegsExact("420", {{1411, 1411}});
}

}  // namespace
}  // namespace kelvora::codec

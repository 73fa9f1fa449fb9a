#include "photo/FittedFrame.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <libdeflate.h>
#include <turbojpeg.h>

#include <cstring>
#include <string>
#include <vector>

namespace kelvora::photo {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& out, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> s));
}

void chunk(Bytes& png, const char* type, const Bytes& body)
{
    put32(png, static_cast<std::uint32_t>(body.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    png.insert(png.end(), typed.begin(), typed.end());
    put32(png, libdeflate_crc32(0, typed.data(), typed.size()));
}

Bytes zlib(const Bytes& data)
{
    libdeflate_compressor* c = libdeflate_alloc_compressor(6);
    Bytes out(libdeflate_zlib_compress_bound(c, data.size()));
    out.resize(libdeflate_zlib_compress(c, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

// An 8-bit PNG of `channels` (3: RGB, 4: RGBA) with chunks before its data.
Bytes png(int w, int h, int channels, const Bytes& pixels, const std::vector<std::pair<std::string, Bytes>>& extra = {})
{
    Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    put32(ihdr, static_cast<std::uint32_t>(w));
    put32(ihdr, static_cast<std::uint32_t>(h));
    ihdr.insert(ihdr.end(), {8, static_cast<std::uint8_t>(channels == 4 ? 6 : 2), 0, 0, 0});
    chunk(out, "IHDR", ihdr);
    for (const auto& [type, body] : extra)
        chunk(out, type.c_str(), body);
    Bytes raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(y) * w * channels;
        raw.insert(raw.end(), row, row + w * channels);
    }
    chunk(out, "IDAT", zlib(raw));
    chunk(out, "IEND", {});
    return out;
}

// A JPEG of `w` x `h` (quality 95, 4:4:4) with the EXIF Orientation `orientation`.
Bytes jpeg(int w, int h, const Bytes& rgb, int orientation)
{
    tjhandle t = tjInitCompress();
    unsigned char* made = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(tjCompress2(t, rgb.data(), w, 0, h, TJPF_RGB, &made, &size, TJSAMP_444, 95, 0), 0);
    Bytes out(made, made + size);
    tjFree(made);
    tjDestroy(t);
    const Bytes exif{0xFF,
                     0xE1,
                     0,
                     34,
                     'E',
                     'x',
                     'i',
                     'f',
                     0,
                     0,
                     'I',
                     'I',
                     42,
                     0,
                     8,
                     0,
                     0,
                     0,
                     1,
                     0,
                     0x12,
                     0x01,
                     3,
                     0,
                     1,
                     0,
                     0,
                     0,
                     static_cast<std::uint8_t>(orientation),
                     0,
                     0,
                     0,
                     0,
                     0,
                     0,
                     0};
    out.insert(out.begin() + 2, exif.begin(), exif.end());
    return out;
}

struct Frame {
    int w, h;
    Bytes rgb = Bytes(static_cast<std::size_t>(w * h * 3));
    RgbFrame view() { return {rgb.data(), w * 3, w, h}; }
    const std::uint8_t* at(int x, int y) const { return &rgb[static_cast<std::size_t>((y * w + x) * 3)]; }
};

SourcePicture decoded(const Bytes& file, Framing framing = {}, OutputSize frame = {})
{
    auto result = SourcePicture::decode(file, {framing, frame});
    EXPECT_TRUE(result.picture) << result.error;
    return std::move(*result.picture);
}

bool near(const std::uint8_t* p, Rgb c, int tolerance = 6)
{
    return std::abs(p[0] - c.red) <= tolerance && std::abs(p[1] - c.green) <= tolerance &&
           std::abs(p[2] - c.blue) <= tolerance;
}

TEST(FittedFrameTest, TurnsACameraPictureUprightAndPutsBarsBesideIt)
{
    // Stored 32 x 16: red on the left, green on the right; orientation 6 shows it turned a
    // quarter clockwise, 16 x 32, red above green.
    Bytes rgb(32 * 16 * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            std::uint8_t* p = &rgb[static_cast<std::size_t>((y * 32 + x) * 3)];
            p[0] = x < 16 ? 255 : 0;
            p[1] = x < 16 ? 0 : 255;
            p[2] = 0;
        }
    const Bytes file = jpeg(32, 16, rgb, 6);
    const Framing framing{{32, 32}, Fit::Letterbox, {0, 0, 255}};
    const SourcePicture picture = decoded(file, framing, {32, 32});
    EXPECT_EQ(picture.upright().width, 16);
    Frame frame{32, 32};
    fitInto(picture, framing, frame.view());
    for (int y : {2, 13, 18, 29}) {
        EXPECT_TRUE(near(frame.at(1, y), {0, 0, 255}, 0)) << y;   // bar
        EXPECT_TRUE(near(frame.at(30, y), {0, 0, 255}, 0)) << y;  // bar
    }
    EXPECT_TRUE(near(frame.at(16, 4), {255, 0, 0}));
    EXPECT_TRUE(near(frame.at(16, 27), {0, 255, 0}));
}

TEST(FittedFrameTest, CropsFromTheCentreAndDecodesLargePhotosSmaller)
{
    // 64 x 16: three bands (white, black, white); cropped into 16 x 16 only the black middle shows.
    Bytes rgb(64 * 16 * 3, 255);
    for (int y = 0; y < 16; ++y)
        std::memset(&rgb[static_cast<std::size_t>((y * 64 + 16) * 3)], 0, 32 * 3);
    const Bytes file = jpeg(64, 16, rgb, 1);
    const Framing framing{{16, 16}, Fit::Crop, {}};
    const SourcePicture picture = decoded(file, framing, {16, 16});
    Frame frame{16, 16};
    fitInto(picture, framing, frame.view());
    for (int x = 0; x < 16; ++x)
        EXPECT_TRUE(near(frame.at(x, 8), {0, 0, 0}, 12)) << x;
    // Letterboxed into 16 x 16 the picture is shown 16 x 4: half its size still gives two
    // pixels for each. A camera's 6000 x 4000 for full HD (1620 x 1080), lying or upright.
    const auto eighths = [](int w, int h, Orientation o, OutputSize frame) {
        return jpegScaleEighths(w, h, o, {{frame, Fit::Letterbox, {}}, frame});
    };
    EXPECT_EQ(eighths(64, 16, Orientation::Upright, {16, 16}), 4);
    EXPECT_EQ(eighths(6000, 4000, Orientation::Upright, {1920, 1080}), 5);
    EXPECT_EQ(eighths(6000, 4000, Orientation::QuarterTurn, {1920, 1080}), 3);
    EXPECT_EQ(eighths(6000, 4000, Orientation::Upright, {3840, 2160}), 8);
}

TEST(FittedFrameTest, BlendsTransparencyOverTheBackgroundAsABrowserDoes)
{
    // White at half opacity over black: 8-bit sRGB values blended, as a browser draws it.
    const Bytes file = png(8, 8, 4, [] {
        Bytes p;
        for (int i = 0; i < 64; ++i)
            p.insert(p.end(), {255, 255, 255, 128});
        return p;
    }());
    const SourcePicture picture = decoded(file);
    ASSERT_TRUE(picture.hasAlpha());
    Frame frame{8, 8};
    fitInto(picture, {}, frame.view());
    EXPECT_TRUE(near(frame.at(3, 3), {128, 128, 128}, 0));
    fitInto(picture, {{}, Fit::Letterbox, {0, 0, 255}}, frame.view());
    EXPECT_TRUE(near(frame.at(3, 3), {128, 128, 255}, 0));
}

TEST(FittedFrameTest, ShowsThePictureInTheColoursItsFileDeclares)
{
    const Bytes grey = [] {
        Bytes p(4 * 4 * 3, 128);
        return p;
    }();
    Frame frame{4, 4};
    // No word of colours: sRGB, every pixel as stored.
    fitInto(decoded(png(4, 4, 3, grey)), {}, frame.view());
    EXPECT_TRUE(near(frame.at(1, 1), {128, 128, 128}, 0));
    // gAMA 1.0: the stored values are linear light already, far brighter in sRGB.
    fitInto(decoded(png(4, 4, 3, grey, {{"gAMA", {0, 1, 0x86, 0xA0}}})), {}, frame.view());
    EXPECT_TRUE(near(frame.at(1, 1), {188, 188, 188}, 1));
    // An ICC profile whose "red" is sRGB's green: a red file shows green.
    const Bytes red = [] {
        Bytes p;
        for (int i = 0; i < 16; ++i)
            p.insert(p.end(), {255, 0, 0});
        return p;
    }();
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const cmsCIExyY white{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE swapped{{0.30, 0.60, 1}, {0.64, 0.33, 1}, {0.15, 0.06, 1}};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &swapped, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes icc(size);
    cmsSaveProfileToMem(profile, icc.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    Bytes iccp{'t', 'e', 's', 't', 0, 0};
    const Bytes packed = zlib(icc);
    iccp.insert(iccp.end(), packed.begin(), packed.end());
    fitInto(decoded(png(4, 4, 3, red, {{"iCCP", iccp}})), {}, frame.view());
    EXPECT_TRUE(near(frame.at(1, 1), {0, 255, 0}, 3)) << int(frame.at(1, 1)[0]) << " " << int(frame.at(1, 1)[1]);
}

}  // namespace
}  // namespace kelvora::photo

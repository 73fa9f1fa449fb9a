// Pictures as the decoders give them, into every stream's pixel format: within the caller's
// buffers at every size (libswscale writes past a row, so it never writes there), transparency
// over the background where the stream has none, and what a picture's file says that
// libavcodec alone gets wrong or words badly.

#include "codec/AvObjects.h"
#include "codec/PictureDecoder.h"
#include "codec/Yuv420.h"
#include "tests/support/pictures/MadePictures.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kelvora::codec {
namespace {

using FramePtr = std::unique_ptr<AVFrame, detail::FreeFrame>;

// A picture of `format` full of noise, as a decoder's own buffers hold it; a JPEG's fourth
// plane (CMYK, YCCK) opaque, as libavcodec leaves it.
FramePtr noisePicture(AVPixelFormat format, int width, int height, std::uint32_t seed)
{
    FramePtr f(av_frame_alloc());
    f->format = format;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f.get(), 0) < 0)
        return nullptr;
    std::mt19937 random(seed);
    for (int plane = 0; plane < 4 && f->buf[plane]; ++plane)
        for (std::size_t i = 0; i < f->buf[plane]->size; ++i)
            f->buf[plane]->data[i] = static_cast<std::uint8_t>(random());
    if (format == AV_PIX_FMT_GBRAP || format == AV_PIX_FMT_YUVA444P)
        for (int y = 0; y < height; ++y)
            std::memset(f->data[3] + static_cast<std::ptrdiff_t>(y) * f->linesize[3], 0xFF,
                        static_cast<std::size_t>(width));
    return f;
}

// What PNG's and JPEG's decoders give in libavcodec 5.1.
constexpr AVPixelFormat kDecoded[] = {
    AV_PIX_FMT_RGB24,    AV_PIX_FMT_RGBA,     AV_PIX_FMT_PAL8,     AV_PIX_FMT_GRAY8,    AV_PIX_FMT_MONOBLACK,
    AV_PIX_FMT_YA8,      AV_PIX_FMT_RGB48BE,  AV_PIX_FMT_RGBA64BE, AV_PIX_FMT_GRAY16BE, AV_PIX_FMT_YA16BE,
    AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUVJ411P,
    AV_PIX_FMT_GBRP,     AV_PIX_FMT_GBRAP,    AV_PIX_FMT_YUVA444P,
};

constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 4096;

// Converts into a target whose rows are exactly their pixels' bytes, followed by guard bytes:
// the reason when the conversion fails or writes past the picture.
std::string convertedWithin(const AVFrame& picture, Codec codec)
{
    const AVPixelFormat format = pictureStreamFormat(codec, picture);
    if (format == AV_PIX_FMT_NONE)
        return "no stream format";
    const int size = av_image_get_buffer_size(format, picture.width, picture.height, 1);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size) + kGuardBytes, kGuard);
    AVFrame target{};
    target.format = format;
    target.width = picture.width;
    target.height = picture.height;
    (void)av_image_fill_arrays(target.data, target.linesize, bytes.data(), format, picture.width, picture.height, 1);
    if (const auto converted = convertPicture(picture, codec, target); !converted && codec == Codec::H264)
        return "convert: " + converted.error();
    for (std::size_t i = static_cast<std::size_t>(size); i < bytes.size(); ++i)
        if (bytes[i] != kGuard)
            return "written " + std::to_string(i - static_cast<std::size_t>(size) + 1) + " bytes past the picture";
    if (codec != Codec::H264)
        return {};
    Yuv420Converter converter({picture.width, -picture.height, 24, 0});
    std::vector<std::uint8_t> planes;
    if (const auto converted = converter.convertPicture(picture, planes); !converted)
        return "to 4:2:0: " + converted.error();
    return planes.size() == evenSize({picture.width, picture.height, 24, 0}).planeBytes() ? "" : "planes' size";
}

// Every form at every size to 9 x 9 and thin ones, for every output. Lossless outputs may
// refuse noise that loses (alpha in a grey picture...): only their writes are weighed.
TEST(PictureConversion, EveryDecodedFormAtEverySmallSizeStaysWithinItsBuffers)
{
    std::vector<std::pair<int, int>> sizes;
    for (int height = 1; height <= 9; ++height)
        for (int width = 1; width <= 9; ++width)
            sizes.emplace_back(width, height);
    sizes.insert(sizes.end(), {{1, 17}, {17, 1}, {1, 500}, {500, 1}, {2, 700}, {700, 2}, {33, 3}});
    std::vector<std::string> faults;
    for (const AVPixelFormat format : kDecoded)
        for (const auto& [width, height] : sizes) {
            const FramePtr picture = noisePicture(format, width, height, static_cast<std::uint32_t>(width * height));
            ASSERT_TRUE(picture);
            for (const Codec codec : {Codec::Ffv1, Codec::Png, Codec::H264})
                if (const std::string fault = convertedWithin(*picture, codec); !fault.empty())
                    faults.push_back(std::string(av_get_pix_fmt_name(format)) + " " + std::to_string(width) + " x " +
                                     std::to_string(height) + " into " + std::string(codecLabel(codec)) + ": " + fault);
        }
    EXPECT_TRUE(faults.empty()) << faults.size() << " conversions wrong, the first: " << faults.front();
}

// One pixel of `format` (a packed form), its bytes given.
FramePtr onePixel(AVPixelFormat format, std::initializer_list<std::uint8_t> bytes, std::uint32_t paletteEntry = 0)
{
    FramePtr f = noisePicture(format, 1, 1, 0);
    std::copy(bytes.begin(), bytes.end(), f->data[0]);
    if (format == AV_PIX_FMT_PAL8)
        std::memcpy(f->data[1], &paletteEntry, 4);
    return f;
}

std::vector<std::uint8_t> convertedPixel(const AVFrame& picture, Codec codec, AVPixelFormat format,
                                         Background background)
{
    FramePtr target(av_frame_alloc());
    target->format = format;
    target->width = 1;
    target->height = 1;
    EXPECT_GE(av_frame_get_buffer(target.get(), 0), 0);
    const auto converted = convertPicture(picture, codec, *target, background);
    EXPECT_TRUE(converted) << converted.error();
    std::vector<std::uint8_t> out;
    detail::packedPicture(*target, out);
    return out;
}

// A browser's blend, at 8 bits: colour * alpha + background * (1 - alpha), rounded.
std::uint8_t blended(int colour, int alpha, int under)
{
    return static_cast<std::uint8_t>((colour * alpha + under * (255 - alpha) + 127) / 255);
}

TEST(PictureConversion, TransparencyShowsOverTheBackgroundWhereTheStreamHasNoAlpha)
{
    const Background bg{10, 200, 30};
    const FramePtr rgba = onePixel(AV_PIX_FMT_RGBA, {200, 100, 50, 128});
    EXPECT_EQ(convertedPixel(*rgba, Codec::Ffv1, AV_PIX_FMT_BGR0, bg),
              (std::vector<std::uint8_t>{blended(50, 128, 30), blended(100, 128, 200), blended(200, 128, 10), 0}));
    EXPECT_EQ(convertedPixel(*rgba, Codec::H264, AV_PIX_FMT_RGB24, bg),
              (std::vector<std::uint8_t>{blended(200, 128, 10), blended(100, 128, 200), blended(50, 128, 30)}));
    EXPECT_EQ(convertedPixel(*rgba, Codec::Ffv1, AV_PIX_FMT_BGRA, bg), (std::vector<std::uint8_t>{50, 100, 200, 128}))
        << "a stream with alpha keeps it";
    // A palette's transparent entry; grey with alpha over a grey background into grey.
    const FramePtr palette = onePixel(AV_PIX_FMT_PAL8, {0}, 0x40FF8000u);
    EXPECT_EQ(convertedPixel(*palette, Codec::Png, AV_PIX_FMT_RGB24, bg),
              (std::vector<std::uint8_t>{blended(255, 0x40, 10), blended(128, 0x40, 200), blended(0, 0x40, 30)}));
    // Into a palette stream the indices stay and the entries show over the background.
    const std::vector<std::uint8_t> indexed = convertedPixel(*palette, Codec::Png, AV_PIX_FMT_PAL8, bg);
    EXPECT_EQ(indexed[0], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(indexed.begin() + 1, indexed.begin() + 5),
              (std::vector<std::uint8_t>{blended(0, 0x40, 30), blended(128, 0x40, 200), blended(255, 0x40, 10), 0xFF}));
    EXPECT_EQ(pictureStreamFormat(Codec::Png, *palette), AV_PIX_FMT_RGBA) << "a first palette with alpha keeps it";
    const FramePtr ya = onePixel(AV_PIX_FMT_YA8, {240, 3});
    EXPECT_EQ(convertedPixel(*ya, Codec::Ffv1, AV_PIX_FMT_GRAY8, {90, 90, 90}),
              (std::vector<std::uint8_t>{blended(240, 3, 90)}));
    // 16 bits blend at 16 bits: 0x1234 at alpha 0x8000 over 200 (51400).
    const FramePtr deep = onePixel(AV_PIX_FMT_RGBA64BE, {0x12, 0x34, 0, 0, 0xFF, 0xFF, 0x80, 0x00});
    const std::vector<std::uint8_t> gbr = convertedPixel(*deep, Codec::Ffv1, AV_PIX_FMT_GBRP16LE, bg);
    const auto at16 = [](std::uint32_t c, std::uint32_t a, std::uint32_t under) {
        return (c * a + under * 257 * (0xFFFF - a) + 0x7FFF) / 0xFFFF;
    };
    EXPECT_EQ(gbr[4] | gbr[5] << 8, static_cast<int>(at16(0x1234, 0x8000, 10)));  // red, the third plane
    EXPECT_EQ(gbr[0] | gbr[1] << 8, static_cast<int>(at16(0, 0x8000, 200)));
    EXPECT_EQ(gbr[2] | gbr[3] << 8, static_cast<int>(at16(0xFFFF, 0x8000, 30)));
}

// A grey picture goes into a colour stream where the background is a colour (a transparent
// pixel would show it), and a 1-bit one into 8-bit grey where the background is another grey.
TEST(PictureConversion, GreyStreamsHoldWhatTheBackgroundCanShow)
{
    const FramePtr grey = onePixel(AV_PIX_FMT_GRAY8, {7});
    const FramePtr mono = onePixel(AV_PIX_FMT_MONOBLACK, {0x80});
    EXPECT_EQ(pictureStreamFormat(Codec::Ffv1, *grey), AV_PIX_FMT_GRAY8);
    EXPECT_EQ(pictureStreamFormat(Codec::Ffv1, *grey, {255, 0, 0}), AV_PIX_FMT_BGR0);
    EXPECT_EQ(pictureStreamFormat(Codec::Png, *grey, {255, 0, 0}), AV_PIX_FMT_RGB24);
    EXPECT_EQ(pictureStreamFormat(Codec::Png, *mono, {255, 255, 255}), AV_PIX_FMT_MONOBLACK);
    EXPECT_EQ(pictureStreamFormat(Codec::Png, *mono, {128, 128, 128}), AV_PIX_FMT_GRAY8);
    // A JPEG's RGB and CMYK into RGB, its YCCK into its three Y'CbCr planes.
    EXPECT_EQ(pictureStreamFormat(Codec::Ffv1, *noisePicture(AV_PIX_FMT_GBRAP, 2, 2, 1)), AV_PIX_FMT_BGR0);
    EXPECT_EQ(pictureStreamFormat(Codec::Ffv1, *noisePicture(AV_PIX_FMT_YUVA444P, 2, 2, 1)), AV_PIX_FMT_YUV444P);
    // A JPEG's RGB cannot go exactly into a stream of Y'CbCr planes.
    FramePtr planes(av_frame_alloc());
    planes->format = AV_PIX_FMT_YUV444P;
    planes->width = planes->height = 2;
    ASSERT_GE(av_frame_get_buffer(planes.get(), 0), 0);
    const auto converted = convertPicture(*noisePicture(AV_PIX_FMT_GBRP, 2, 2, 1), Codec::Ffv1, *planes);
    ASSERT_FALSE(converted);
    EXPECT_NE(converted.error().find("componenti RGB"), std::string::npos) << converted.error();
}

std::vector<std::uint8_t> chunk(const char* type, std::vector<std::uint8_t> data)
{
    std::vector<std::uint8_t> out;
    const auto length = static_cast<std::uint32_t>(data.size());
    out.insert(out.end(), {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                           static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const std::uint32_t crc = libdeflate_crc32(0, out.data() + 4, out.size() - 4);
    out.insert(out.end(), {static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
                           static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)});
    return out;
}

// A PNG `width` pixels by one row of grey at `depth` bits, its row's bytes given, with a
// tRNS chunk naming `key` when there is one.
std::vector<std::uint8_t> greyPng(int width, int depth, std::vector<std::uint8_t> row, std::optional<int> key,
                                  std::uint32_t height = 1)
{
    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto w = static_cast<std::uint32_t>(width);
    const auto header = chunk("IHDR", {static_cast<std::uint8_t>(w >> 24), static_cast<std::uint8_t>(w >> 16),
                                       static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w),
                                       static_cast<std::uint8_t>(height >> 24), static_cast<std::uint8_t>(height >> 16),
                                       static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                                       static_cast<std::uint8_t>(depth), 0, 0, 0, 0});
    png.insert(png.end(), header.begin(), header.end());
    if (key) {
        const auto trns = chunk("tRNS", {0, static_cast<std::uint8_t>(*key)});
        png.insert(png.end(), trns.begin(), trns.end());
    }
    row.insert(row.begin(), 0);  // filter: none
    std::vector<std::uint8_t> deflated(row.size() + 64);
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    deflated.resize(libdeflate_zlib_compress(compressor, row.data(), row.size(), deflated.data(), deflated.size()));
    libdeflate_free_compressor(compressor);
    const auto idat = chunk("IDAT", deflated);
    const auto end = chunk("IEND", {});
    png.insert(png.end(), idat.begin(), idat.end());
    png.insert(png.end(), end.begin(), end.end());
    return png;
}

// The alpha of each pixel of the decoded picture's only row; empty when it has none.
std::vector<int> alphas(const AVFrame& picture)
{
    std::vector<int> out;
    for (int x = 0; picture.format == AV_PIX_FMT_YA8 && x < picture.width; ++x)
        out.push_back(picture.data[0][2 * x + 1]);
    return out;
}

TEST(PictureConversion, AGreyKeyBelowEightBitsIsTransparentAsBrowsersShowIt)
{
    auto opened = PictureDecoder::open(bitmap::PictureType::Png);
    ASSERT_TRUE(opened) << opened.error();
    const auto decoder = std::move(opened).value();
    const auto decodes = [&](const std::vector<std::uint8_t>& file) {
        const auto decoded = decoder->decode(file);
        return decoded ? testing::AssertionSuccess() : testing::AssertionFailure() << decoded.error();
    };
    ASSERT_TRUE(decodes(greyPng(8, 1, {0b10110000}, 1)));
    EXPECT_EQ(alphas(decoder->picture()), (std::vector<int>{0, 255, 0, 0, 255, 255, 255, 255}));
    EXPECT_EQ(decoder->picture().data[0][0], 255);
    ASSERT_TRUE(decodes(greyPng(4, 2, {0b00011011}, 2)));
    EXPECT_EQ(alphas(decoder->picture()), (std::vector<int>{255, 255, 0, 255}));
    EXPECT_EQ(decoder->picture().data[0][4], 170);
    ASSERT_TRUE(decodes(greyPng(2, 4, {0x3A}, 3)));
    EXPECT_EQ(alphas(decoder->picture()), (std::vector<int>{0, 255}));
    // Without a key, or at 8 bits where libavcodec applies it itself, the picture is libavcodec's.
    ASSERT_TRUE(decodes(greyPng(8, 1, {0b10110000}, std::nullopt)));
    EXPECT_EQ(decoder->picture().format, AV_PIX_FMT_MONOBLACK);
    ASSERT_TRUE(decodes(greyPng(2, 8, {7, 200}, 7)));
    EXPECT_EQ(alphas(decoder->picture()), (std::vector<int>{0, 255}));
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A damaged file says it is damaged, a picture too large for libavcodec says so, and an EXIF
// block libavcodec cannot parse does not stand between the picture and the video.
TEST(PictureConversion, DecodingSaysTheTrueReasonAndPassesOverBrokenExif)
{
    // The reason a decode gives, "" when it decodes.
    const auto reasonOf = [](PictureDecoder& decoder, const std::vector<std::uint8_t>& file) {
        const auto decoded = decoder.decode(file);
        return decoded ? std::string() : decoded.error();
    };
    auto png = PictureDecoder::open(bitmap::PictureType::Png);
    ASSERT_TRUE(png) << png.error();
    std::vector<std::uint8_t> broken = greyPng(64, 8, std::vector<std::uint8_t>(64, 9), std::nullopt);
    broken[8 + 25 + 8 + 3] ^= 0xFF;  // inside the zlib stream, past its header
    EXPECT_THAT(reasonOf(*png.value(), broken), testing::HasSubstr("l'immagine è danneggiata"));
    EXPECT_THAT(reasonOf(*png.value(), greyPng(1, 8, {0}, std::nullopt, 400'000'000)),
                testing::HasSubstr("troppo grande"));

    auto jpeg = PictureDecoder::open(bitmap::PictureType::Jpeg);
    ASSERT_TRUE(jpeg) << jpeg.error();
    const std::vector<std::uint8_t> good = fileBytes(testsupport::madePictures() / "s420-pillow.jpg");
    std::vector<std::uint8_t> exif{0xFF, 0xE1, 0, 28, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', '*', 0, 0, 0xFF, 0xFF, 0xFF};
    exif.resize(30, 0);
    std::vector<std::uint8_t> withExif(good.begin(), good.begin() + 2);
    withExif.insert(withExif.end(), exif.begin(), exif.end());
    withExif.insert(withExif.end(), good.begin() + 2, good.end());
    EXPECT_EQ(reasonOf(*jpeg.value(), withExif), "");
    // The picture's end marker in its first scan bytes: libavcodec conceals the rest.
    std::vector<std::uint8_t> cut = good;
    const std::array<std::uint8_t, 2> startOfScan{0xFF, 0xDA};
    const auto scan = std::search(cut.begin(), cut.end(), startOfScan.begin(), startOfScan.end());
    ASSERT_NE(scan, cut.end());
    const std::size_t data = static_cast<std::size_t>(scan - cut.begin()) + 2 + (scan[2] << 8 | scan[3]);
    cut[data] = 0xFF;
    cut[data + 1] = 0xD9;
    EXPECT_THAT(reasonOf(*jpeg.value(), cut), testing::HasSubstr("l'immagine è danneggiata"));
}

}  // namespace
}  // namespace kelvora::codec

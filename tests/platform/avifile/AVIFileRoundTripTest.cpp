#include <gtest/gtest.h>

#include "tests/support/avi/AviTestWriter.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/FfmpegProbe.h"

namespace kelvora::avifile {
namespace {

using namespace testsupport;

using platform::FourCC;

struct Layout {
    const char* name;
    int height;  // negative: top-down rows
    int bitCount;
    const char* decodeAs;
    int bytesPerPixel;
};

class RoundTrip : public ::testing::TestWithParam<Layout> {};

TEST_P(RoundTrip, FfmpegDecodesEveryFramePixelExact)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    const Layout layout = GetParam();
    TempDir dir;
    const auto file = dir / "out.avi";
    const auto frames = testFrames(3, 13, layout.height, layout.bitCount);
    const SaveResult saved = saveFrames(file, frames, 12);
    ASSERT_EQ(saved.lastWrite, AVIERR_OK);
    ASSERT_EQ(saved.finish, AVIERR_OK);

    const auto probe = testsupport::probeVideo(file);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, 3);
    EXPECT_EQ(probe.width, 13);
    EXPECT_EQ(probe.height, 7);
    EXPECT_EQ(probe.frameRate, "12/1");

    std::vector<std::uint8_t> expected;
    for (const auto& frame : frames) {
        const auto px = testsupport::topDownPixels(frame, layout.bytesPerPixel);
        expected.insert(expected.end(), px.begin(), px.end());
    }
    EXPECT_EQ(testsupport::decodeFrames(file, layout.decodeAs), expected);
}

TEST_P(RoundTrip, StoresFormatAndPixelsByteForByte)
{
    const Layout layout = GetParam();
    TempDir dir;
    const auto file = dir / "out.avi";
    const auto frames = testFrames(3, 13, layout.height, layout.bitCount);
    ASSERT_EQ(saveFrames(file, frames, 12).lastWrite, AVIERR_OK);

    const auto info = testsupport::inspectAvi(file);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_FALSE(info.truncated);
    EXPECT_EQ(info.strf, frames[0].info) << "a top-down format keeps its negative height";
    // The headers count rows, whichever way they are stored.
    EXPECT_EQ(info.avih.dwWidth, 13u);
    EXPECT_EQ(info.avih.dwHeight, 7u);
    EXPECT_EQ(info.strh.right, 13);
    EXPECT_EQ(info.strh.bottom, 7);
    ASSERT_EQ(info.frames.size(), 3u);
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(testsupport::readFrameBytes(file, info.frames[i]), frames[i].pixels) << "frame " << i;
    EXPECT_EQ((info.frames[0].chunkOffset + 8) % 2048, 0u) << "first frame's data is 2,048-aligned";
}

INSTANTIATE_TEST_SUITE_P(Layouts, RoundTrip,
                         ::testing::Values(Layout{"Rgb24BottomUp", 7, 24, "bgr24", 3},
                                           Layout{"Rgb24TopDown", -7, 24, "bgr24", 3},
                                           Layout{"Palette8", 7, 8, "bgr24", 3}, Layout{"Rgb32", 7, 32, "bgra", 4}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(AVIFileHeaders, MainAndStreamHeadersFollowTheFrames)
{
    TempDir dir;
    const auto file = dir / "out.avi";
    auto frames = testFrames(4, 16, 8, 24);
    frames[2] = testsupport::makeTestBitmap(32, 8, 24, 2);  // a file that grew on disk after it was added
    ASSERT_EQ(saveFrames(file, frames, 30).lastWrite, AVIERR_OK);

    const auto info = testsupport::inspectAvi(file);
    const std::uint32_t largest = static_cast<std::uint32_t>(frames[2].pixels.size());
    EXPECT_EQ(info.avih.dwMicroSecPerFrame, 33333u);
    EXPECT_EQ(info.avih.dwMaxBytesPerSec, largest * 30);
    EXPECT_EQ(info.avih.dwFlags, 0x810u);
    EXPECT_EQ(info.avih.dwTotalFrames, 4u);
    EXPECT_EQ(info.avih.dwStreams, 1u);
    EXPECT_EQ(info.avih.dwSuggestedBufferSize, largest);
    EXPECT_EQ(info.avih.dwWidth, 16u);
    EXPECT_EQ(info.avih.dwHeight, 8u);
    EXPECT_EQ(info.strh.fccType, FourCC("vids"));
    EXPECT_EQ(info.strh.dwScale, 1u);
    EXPECT_EQ(info.strh.dwRate, 30u);
    EXPECT_EQ(info.strh.dwLength, 4u);
    EXPECT_EQ(info.strh.dwSuggestedBufferSize, largest);
    EXPECT_EQ(info.strh.right, 16);
    EXPECT_EQ(info.strh.bottom, 8);
    EXPECT_EQ(info.frames[2].size, largest);
    EXPECT_EQ(info.frames[3].size, frames[3].pixels.size());
    EXPECT_FALSE(info.hasIndx) << "a one-RIFF file keeps the reserved space as JUNK";
    EXPECT_FALSE(info.hasOdml);
}

TEST(AVIFileHeaders, StreamHeaderKeepsTheDescriptionAsGiven)
{
    TempDir dir;
    const auto file = dir / "out.avi";
    const auto bmp = testsupport::makeTestBitmap(8, 4, 24, 0);
    AVISTREAMINFOA info = videoStreamInfo(bmp, 25);
    info.fccHandler = mmioStringToFOURCCA("DIB", 0);
    info.dwFlags = 3;
    info.wPriority = 7;
    info.wLanguage = 9;
    info.dwStart = 2;
    info.dwQuality = 10000;
    info.dwSuggestedBufferSize = 1 << 20;
    std::snprintf(info.szName, sizeof info.szName, "%s", "film");
    PAVIFILE pf = nullptr;
    PAVISTREAM ps = nullptr;
    ASSERT_EQ(AVIFileOpenA(&pf, file.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStreamA(pf, &ps, &info), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(ps, 0, bmp.info.data(), static_cast<LONG>(bmp.info.size())), AVIERR_OK);
    ASSERT_EQ(AVIStreamWrite(ps, 0, 1, bmp.pixels.data(), 3, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_OK);
    LONG samples = 0, bytes = 0;
    ASSERT_EQ(AVIStreamWrite(ps, 1, 1, bmp.pixels.data(), 5, 0, &samples, &bytes), AVIERR_OK);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(bytes, 5);
    EXPECT_EQ(AVIStreamRelease(ps), 0u);
    HRESULT finish = -1;
    EXPECT_EQ(AVIFileRelease(pf, &finish), 0u);
    EXPECT_EQ(finish, AVIERR_OK);

    const auto got = testsupport::inspectAvi(file);
    EXPECT_EQ(got.strh.fccHandler, FourCC("DIB "));
    EXPECT_EQ(got.strh.dwFlags, 3u);
    EXPECT_EQ(got.strh.wPriority, 7);
    EXPECT_EQ(got.strh.wLanguage, 9);
    EXPECT_EQ(got.strh.dwStart, 2u);
    EXPECT_EQ(got.strh.dwQuality, 10000u);
    EXPECT_EQ(got.strh.dwSuggestedBufferSize, 1u << 20) << "the larger of the given value and the largest frame";
    EXPECT_EQ(got.strn, "film");
    // Odd chunks are padded, and the index keeps each frame's own size and key flag.
    ASSERT_EQ(got.frames.size(), 2u);
    EXPECT_EQ(got.frames[1].chunkOffset, got.frames[0].chunkOffset + 8 + 4);
    ASSERT_EQ(got.idx1.size(), 2u);
    const std::uint64_t movi = got.riffs[0].moviFourCC;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(got.idx1[i].chunkId, FourCC("00db"));
        EXPECT_EQ(movi + got.idx1[i].offset, got.frames[i].chunkOffset);
        EXPECT_EQ(got.idx1[i].size, got.frames[i].size);
    }
    EXPECT_EQ(got.idx1[0].flags, AVIIF_KEYFRAME);
    EXPECT_EQ(got.idx1[1].flags, 0u);
}

TEST(AVIFileHeaders, FileWithoutStreamIsStillAWellFormedRiff)
{
    TempDir dir;
    const auto file = dir / "out.avi";
    PAVIFILE pf = nullptr;
    ASSERT_EQ(AVIFileOpenA(&pf, file.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    HRESULT finish = -1;
    AVIFileRelease(pf, &finish);
    EXPECT_EQ(finish, AVIERR_OK);
    const auto info = testsupport::inspectAvi(file);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_FALSE(info.truncated);
    EXPECT_EQ(info.riffs.size(), 1u);
    EXPECT_EQ(info.riffs[0].size + 8, info.fileSize);
    EXPECT_EQ(info.avih.dwStreams, 0u);
    EXPECT_TRUE(info.frames.empty());
}

}  // namespace
}  // namespace kelvora::avifile

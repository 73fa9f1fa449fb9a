// A compressed video long enough to continue in OpenDML RIFFs, its frames of widely varying
// sizes: every index must give each chunk its own size and id, and real readers must show
// every frame pixel for pixel.
#include "codec/LosslessEncoder.h"
#include "platform/avifile/AVIFile.h"
#include "platform/binary/BitmapRecords.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/fs/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kelvora::codec {
namespace {

using namespace avifile;
using platform::FourCC;

constexpr int kWidth = 48;
constexpr int kHeight = 32;
constexpr int kFrames = 90;

// Frame i: a smooth picture with a share of noisy pixels that grows and falls with i, so the
// codec's frames range from a few hundred bytes to more than the pixels themselves.
std::vector<std::uint8_t> framePixels(int i)
{
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(binary::rowStride(kWidth, 24) * kHeight));
    std::uint32_t state = static_cast<std::uint32_t>(i) * 2654435761u + 7;
    const std::uint32_t noisyInSixteen = static_cast<std::uint32_t>(i % 17);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = bits.data() + y * binary::rowStride(kWidth, 24) + 3 * x;
            state = state * 1664525u + 1013904223u;
            const bool noisy = (state >> 28) < noisyInSixteen;
            p[0] = noisy ? static_cast<std::uint8_t>(state >> 8) : static_cast<std::uint8_t>(x * 5 + i);
            p[1] = noisy ? static_cast<std::uint8_t>(state >> 16) : static_cast<std::uint8_t>(y * 7);
            p[2] = noisy ? static_cast<std::uint8_t>(state >> 20) : static_cast<std::uint8_t>(i * 3);
        }
    return bits;
}

// The frame as readers hand it out: packed rows top-down, blue, green, red.
void appendTopDown(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& bits)
{
    const auto stride = static_cast<std::size_t>(binary::rowStride(kWidth, 24));
    for (int y = kHeight - 1; y >= 0; --y)
        out.insert(out.end(), bits.begin() + static_cast<std::ptrdiff_t>(y * stride),
                   bits.begin() + static_cast<std::ptrdiff_t>(y * stride + 3 * kWidth));
}

TEST(CompressedOpenDml, FramesOfEverySizeAreIndexedAsWrittenAndReadBackExactly)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("long.avi");
    const bitmap::StreamShape shape{kWidth, kHeight, 24, binary::BI_RGB};
    auto opened = LosslessEncoder::open(Codec::Ffv1, shape, 1);
    ASSERT_TRUE(opened) << opened.error();
    const auto encoder = std::move(opened).value();

    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr, AviFileLimits{.riffBytes = 48 * 1024}),
              AVIERR_OK);
    AVISTREAMINFOA info{};
    info.fccType = mmioStringToFOURCCA("vids", 0);
    info.fccHandler = codecFourCC(Codec::Ffv1).value();
    info.dwScale = 1;
    info.dwRate = 25;
    SetRect(&info.rcFrame, 0, 0, kWidth, kHeight);
    ASSERT_EQ(AVIFileCreateStreamA(file, &stream, &info), AVIERR_OK);
    const std::vector<std::uint8_t> format = encoder->streamFormat({});
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, format.data(), static_cast<LONG>(format.size())), AVIERR_OK);
    std::vector<std::uint32_t> sizes;
    std::vector<std::uint8_t> expected;
    std::vector<std::uint8_t> packet;
    for (int i = 0; i < kFrames; ++i) {
        const std::vector<std::uint8_t> bits = framePixels(i);
        const auto encoded = encoder->encode(bits, {}, packet);
        ASSERT_TRUE(encoded) << encoded.error();
        ASSERT_EQ(AVIStreamWrite(stream, i, 1, packet.data(), static_cast<LONG>(packet.size()), AVIIF_KEYFRAME, nullptr,
                                 nullptr),
                  AVIERR_OK);
        sizes.push_back(static_cast<std::uint32_t>(packet.size()));
        appendTopDown(expected, bits);
    }
    AVIStreamRelease(stream);
    HRESULT finished = AVIERR_ERROR;
    AVIFileRelease(file, &finished);
    ASSERT_EQ(finished, AVIERR_OK);
    ASSERT_GT(*std::max_element(sizes.begin(), sizes.end()), 5 * *std::min_element(sizes.begin(), sizes.end()));

    const testsupport::AviInfo avi = testsupport::inspectAvi(path);
    ASSERT_TRUE(avi.error.empty()) << avi.error;
    ASSERT_GE(avi.riffs.size(), 3u);
    EXPECT_EQ(avi.strh.fccHandler, FourCC("FFV1"));
    EXPECT_EQ(avi.strf, format);
    EXPECT_EQ(avi.strh.dwSuggestedBufferSize, *std::max_element(sizes.begin(), sizes.end()));
    ASSERT_EQ(avi.frames.size(), sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i)
        EXPECT_EQ(avi.frames[i].size, sizes[i]) << "frame " << i;
    EXPECT_EQ(avi.indxChunkId, FourCC("00dc"));
    std::size_t indexed = 0;
    for (const testsupport::AviStdIndex& ix : avi.ix00) {
        EXPECT_EQ(ix.chunkId, FourCC("00dc"));
        for (const auto& [offset, size] : ix.entries) {
            ASSERT_LT(indexed, sizes.size());
            EXPECT_EQ(size, sizes[indexed]) << "frame " << indexed << ": a key frame of its own size";
            EXPECT_EQ(ix.baseOffset + offset, avi.frames[indexed].chunkOffset + 8);
            ++indexed;
        }
    }
    EXPECT_EQ(indexed, sizes.size());
    for (const testsupport::AviIdx1Entry& entry : avi.idx1)
        EXPECT_EQ(entry.chunkId, FourCC("00dc"));

    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    EXPECT_TRUE(testsupport::decodeFrames(path, "bgr24") == expected) << "ffmpeg";
    std::string gstreamer;
    const std::string raw = dir.file("gst.bgr");
    ASSERT_EQ(testsupport::runCommand("gst-launch-1.0 -q filesrc location=" + path +
                                          " ! avidemux ! decodebin ! "
                                          "videoconvert ! video/x-raw,format=BGR ! filesink location=" +
                                          raw,
                                      gstreamer),
              0)
        << gstreamer;
    testsupport::runCommand("cat " + raw, gstreamer);
    EXPECT_TRUE(std::vector<std::uint8_t>(gstreamer.begin(), gstreamer.end()) == expected) << "GStreamer";
}

}  // namespace
}  // namespace kelvora::codec

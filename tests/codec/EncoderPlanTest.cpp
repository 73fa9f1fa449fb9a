// FFV1's settings for each frame size, and how many encoders a save runs within its memory.
#include "codec/EncoderPlan.h"
#include "codec/LosslessEncoder.h"
#include "platform/binary/BitmapRecords.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvora::codec {
namespace {

TEST(EncoderPlan, Ffv1KeepsFourSlicesWhereTheyLandExactlyAndOtherwiseTheFewestThatDo)
{
    struct Case {
        int width;
        int height;
        Ffv1Settings expected;
    };
    const Case cases[] = {
        {1920, 1080, {3, 4}},     {320, 240, {3, 4}}, {3, 3, {3, 4}},       {4096, 4096, {3, 4}},
        {2, 5, {3, 1}},           {7, 2, {3, 1}},     {352, 2, {3, 1}},     {2, 288, {3, 1}},
        {1920, 2, {1, 1}},        {2, 1000, {1, 1}},  {1, 1, {1, 1}},       {1, 100, {1, 1}},
        {100, 1, {1, 1}},         {1, 5000, {1, 1}},  {7680, 4320, {3, 9}}, {15360, 8640, {3, 28}},
        {32767, 32767, {3, 220}}, {32767, 2, {1, 1}}, {3, 32767, {3, 4}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ffv1SettingsFor(c.width, c.height), c.expected) << c.width << " x " << c.height;
}

// The grid libavcodec 5.1 picks, and the counts it refuses (its message: "Unsupported number
// of slices"), as its encoder's search gives them.
TEST(EncoderPlan, Ffv1GridIsTheOneLibavcodecPicks)
{
    EXPECT_EQ(ffv1GridFor(1920, 1080, 4), (SliceGrid{2, 2}));
    EXPECT_EQ(ffv1GridFor(1920, 1080, 6), (SliceGrid{3, 2}));
    EXPECT_EQ(ffv1GridFor(1920, 1080, 12), (SliceGrid{4, 3}));
    EXPECT_EQ(ffv1GridFor(7680, 4320, 9), (SliceGrid{3, 3}));
    EXPECT_EQ(ffv1GridFor(100, 100, 1), (SliceGrid{1, 1}));
    EXPECT_FALSE(ffv1GridFor(7680, 4320, 4)) << "a slice's worst case would pass 24 bits";
    EXPECT_FALSE(ffv1GridFor(1920, 1080, 1)) << "large frames start at two rows of slices";
    EXPECT_FALSE(ffv1GridFor(1, 1000, 4)) << "wider slices than the frame";
    EXPECT_FALSE(ffv1GridFor(1920, 1080, 5)) << "no grid of five";
    EXPECT_FALSE(ffv1GridFor(1920, 1080, 2048));
}

TEST(EncoderPlan, SlicesOnePixelAcrossEndingOnAWholeMultipleLandInTheWrongPlace)
{
    EXPECT_FALSE(slicesLandExactly(2, 2));
    EXPECT_FALSE(slicesLandExactly(1, 1));
    EXPECT_FALSE(slicesLandExactly(3, 3));
    EXPECT_TRUE(slicesLandExactly(3, 2));  // slices of 1 and 2: the first ends at 1.5
    EXPECT_TRUE(slicesLandExactly(4, 3));
    EXPECT_TRUE(slicesLandExactly(2, 1));
    EXPECT_TRUE(slicesLandExactly(1920, 4));
}

// libavcodec's own encoder opened with each count of slices: the counts it takes are the ones
// ffv1GridFor finds a grid for, for every form a picture's stream is encoded in (chroma
// subsampled by 2 or 4 across, 2 down, grey, alpha, 16 bits) at small and odd sizes.
TEST(EncoderPlan, Ffv1GridsAreTheOnesLibavcodecTakesInEveryForm)
{
    const AVCodec* ffv1 = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    ASSERT_NE(ffv1, nullptr);
    av_log_set_level(AV_LOG_QUIET);
    const auto takes = [ffv1](AVPixelFormat format, int width, int height, int slices) {
        AVCodecContext* c = avcodec_alloc_context3(ffv1);
        c->width = width;
        c->height = height;
        c->pix_fmt = format;
        c->time_base = AVRational{1, 25};
        c->level = 3;
        c->slices = slices;
        const bool opened = avcodec_open2(c, ffv1, nullptr) >= 0;
        avcodec_free_context(&c);
        return opened;
    };
    std::vector<std::string> faults;
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV440P, AV_PIX_FMT_YUV411P,
                                       AV_PIX_FMT_YUV444P, AV_PIX_FMT_GRAY8, AV_PIX_FMT_BGRA, AV_PIX_FMT_GBRP16LE})
        for (int height = 1; height <= 13; ++height)
            for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 13, 150, 353})
                for (int slices : {1, 4, 6, 9, 12})
                    if (ffv1GridFor(width, height, slices, ffv1FormOf(format)).has_value() !=
                        takes(format, width, height, slices))
                        faults.push_back(std::to_string(format) + " " + std::to_string(width) + " x " +
                                         std::to_string(height) + ", " + std::to_string(slices) + " slices");
    EXPECT_TRUE(faults.empty()) << faults.size() << " differ, the first: " << faults.front();
}

// A slice's chroma is its start shifted down and its width shifted up: a last slice that
// starts between chroma samples ends one short of the plane. 4:1:1 at 150 pixels cut in two
// leaves the 38th column out (libavcodec takes the cut), at 152 it does not.
TEST(EncoderPlan, SlicesMustCoverEveryChromaColumn)
{
    EXPECT_FALSE(slicesCoverChroma(150, 2, 2));
    EXPECT_TRUE(slicesCoverChroma(152, 2, 2));
    EXPECT_FALSE(slicesCoverChroma(302, 2, 2));
    EXPECT_TRUE(slicesCoverChroma(150, 2, 1));
    EXPECT_TRUE(slicesCoverChroma(7, 3, 1));
    EXPECT_TRUE(slicesCoverChroma(1921, 7, 0));
    const Ffv1Form yuv411{3, 8, 2, 0};
    EXPECT_TRUE(ffv1GridFor(150, 103, 4, yuv411).has_value()) << "libavcodec takes it";
    EXPECT_NE(ffv1SettingsFor(150, 103, yuv411), (Ffv1Settings{3, 4}));
    EXPECT_EQ(ffv1SettingsFor(152, 103, yuv411), (Ffv1Settings{3, 4}));
    // Frames of JPEGs libavcodec refused four slices for, now cut as it takes them.
    EXPECT_EQ(ffv1SettingsFor(3, 3, {3, 8, 1, 1}), (Ffv1Settings{3, 1}));
    EXPECT_EQ(ffv1SettingsFor(5, 7, {3, 8, 1, 1}).level, 3);
}

TEST(EncoderPlan, EncodersTogetherStayWithinTheBudgetOrAreOne)
{
    const bitmap::StreamShape hd{1920, 1080, 24, binary::BI_RGB};
    const bitmap::StreamShape small{320, 240, 24, binary::BI_RGB};
    const bitmap::StreamShape uhd{7680, -4320, 24, binary::BI_RGB};
    for (const auto& shape : {hd, small, uhd})
        for (const Codec codec : {Codec::Ffv1, Codec::Png})
            for (const int cores : {1, 2, 8, 64}) {
                const EncoderPlan plan = planEncoders(codec, shape, cores);
                EXPECT_GE(plan.encoders, 1);
                EXPECT_LE(plan.encoders, cores);
                EXPECT_TRUE(plan.encoders == 1 || plan.encoders * encoderBytes(codec, shape) <= kEncoderBudgetBytes)
                    << codecName(codec) << " " << shape.width << " on " << cores;
                EXPECT_LE(plan.encoders * plan.threadsEach, cores);
            }
    // Full HD FFV1: its four slices take the cores before a second encoder (each holds a
    // zeroed worst-case buffer of about 330 MB); on 2 cores one encoder, as ffmpeg runs it.
    EXPECT_EQ(planEncoders(Codec::Ffv1, hd, 2).encoders, 1);
    EXPECT_EQ(planEncoders(Codec::Ffv1, hd, 2).threadsEach, 2);
    EXPECT_EQ(planEncoders(Codec::Ffv1, hd, 8).encoders, 2);
    EXPECT_EQ(planEncoders(Codec::Ffv1, hd, 8).threadsEach, 4);
    EXPECT_EQ(planEncoders(Codec::Ffv1, hd, 64).encoders, 3);
    EXPECT_EQ(planEncoders(Codec::Png, hd, 8).encoders, 8);
    EXPECT_EQ(planEncoders(Codec::Png, small, 64).encoders, 64);
    // 8K FFV1: one encoder, its nine slices on nine threads at most; libavcodec's buffer
    // stops at 2 GiB (and a sixteenth).
    EXPECT_EQ(planEncoders(Codec::Ffv1, uhd, 64).encoders, 1);
    EXPECT_EQ(planEncoders(Codec::Ffv1, uhd, 64).threadsEach, 9);
    EXPECT_LT(encoderBytes(Codec::Ffv1, uhd), std::int64_t{2'700'000'000});
}

}  // namespace
}  // namespace kelvora::codec

// Numbers missing from numbered frame files: named as a user would look for them.
#include "adding/NumberGaps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvora::adding {
namespace {

TEST(NumberGapsTest, NamesTheMissingNumbersOfEachSequenceWithItsPadding)
{
    struct Case {
        std::vector<std::string> names;  // one folder, in natural order
        std::string summary;
    };
    const Case cases[] = {
        {{"g_1.bmp", "g_2.bmp", "g_3.bmp", "g_5.bmp", "g_6.bmp", "g_8.bmp"}, "mancano 2 numeri: g_4.bmp, g_7.bmp"},
        {{"frame_006.bmp", "frame_008.bmp", "frame_009.bmp"}, "manca 1 numero: frame_007.bmp"},
        {{"f_098.bmp", "f_099.bmp", "f_101.bmp", "f_1000.bmp"},
         "mancano 899 numeri: f_100.bmp, f_102.bmp, f_103.bmp e altri 896"},
        // Each form of name is its own sequence; case may change along one (natural order ignores it).
        {{"a1.bmp", "a3.bmp", "b1.bmp", "b2.bmp", "B4.BMP"}, "mancano 2 numeri: a2.bmp, b3.bmp"},
        {{"take2_01.bmp", "take2_03.bmp"}, "manca 1 numero: take2_02.bmp"},
        {{"a.bmp", "b.bmp", "frame_1.bmp", "frame_2.bmp", "frame_3.bmp"}, ""},
        {{"frame_4.bmp", "frame_04.bmp", "frame_5.bmp"}, ""},              // the same number twice is no gap
        {{"x_1234567890123456789.bmp", "x_1234567890123456799.bmp"}, ""},  // a code, not a frame number
    };
    for (const Case& c : cases) {
        NumberGaps gaps;
        gaps.startFolder();
        for (const std::string& name : c.names)
            gaps.take(name);
        EXPECT_EQ(gaps.summary(), c.summary) << c.names.front();
    }

    // A sequence does not run on from one folder into the next.
    NumberGaps gaps;
    gaps.startFolder();
    gaps.take("f_1.bmp");
    gaps.startFolder();
    gaps.take("f_3.bmp");
    EXPECT_EQ(gaps.missing(), 0u);
}

TEST(NumberGapsTest, HugeGapsAreCountedWholeAndTheirSumNeverWraps)
{
    NumberGaps gaps;
    gaps.startFolder();
    gaps.take("g_1.bmp");
    gaps.take("g_4294967298.bmp");  // past 32 bits
    EXPECT_EQ(gaps.missing(), 4294967296u);
    EXPECT_EQ(gaps.summary(), "mancano 4294967296 numeri: g_2.bmp, g_3.bmp, g_4.bmp e altri 4294967293");
    // Twenty sequences of 18-digit numbers: their sum passes 64 bits and stops at the largest count.
    for (int i = 0; i < 20; ++i) {
        gaps.take("s" + std::to_string(i) + "_1.bmp");
        gaps.take("s" + std::to_string(i) + "_999999999999999999.bmp");
    }
    EXPECT_EQ(gaps.missing(), 9223372036854775807u);
    EXPECT_EQ(gaps.summary(), "mancano più di 9223372036854775807 numeri: g_2.bmp, g_3.bmp, g_4.bmp e altri");
}

}  // namespace
}  // namespace kelvora::adding

// A slideshow's pictures, durations and fades: ffmpeg's concat files as ffmpeg reads them, the
// pictures' frames summed without drift, and fades mixed in linear light.
#include "slideshow/Blend.h"
#include "slideshow/ConcatFile.h"
#include "slideshow/Duration.h"
#include "slideshow/ShowLayout.h"
#include "slideshow/Timeline.h"

#include "tests/support/fs/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

namespace kelvora::slideshow {
namespace {

constexpr std::int64_t kMs = 1'000'000;

TEST(DurationTest, ReadsWhatUsersAndConcatFilesWrite)
{
    const std::pair<const char*, std::int64_t> accepted[] = {
        {"3", 3000 * kMs},      {"2.5", 2500 * kMs},         {"2,5", 2500 * kMs}, {",5", 500 * kMs},
        {" 0.04 ", 40 * kMs},   {"500ms", 500 * kMs},        {"2s", 2000 * kMs},  {"250000us", 250 * kMs},
        {"1:30", 90'000 * kMs}, {"0:01:30.5", 90'500 * kMs}, {"0.000000001", 1},  {"86400", 86'400'000 * kMs},
    };
    for (const auto& [text, ns] : accepted) {
        const std::optional<Duration> got = parseDuration(text);
        ASSERT_TRUE(got) << text;
        EXPECT_EQ(got->nanoseconds, ns) << text;
    }
    for (const char* refused : {"", "0", "-1", "0.0", "abc", "1.", "1..2", "1:60", "1:2:60", "86400.1", "0.0000000001",
                                "1e3", "+2", "2 s x", "1,5,5"})
        EXPECT_FALSE(parseDuration(refused)) << refused;
    EXPECT_EQ(durationText({2500 * kMs}), "2,5 s");
    EXPECT_EQ(durationText({40 * kMs}), "0,04 s");
    EXPECT_EQ(durationText({90'000 * kMs}), "1:30");
    EXPECT_EQ(durationText({3'723'500 * kMs}), "1:02:03,5");
}

TEST(ConcatFileTest, ReadsNamesAndDurationsAsFfmpegDoes)
{
    const ConcatList list = parseConcat("ffconcat version 1.0\r\n"
                                        "# a comment\n"
                                        "\n"
                                        "file 'beach.jpg'\n"
                                        "duration 3\n"
                                        "file 'it'\\''s me.png'\n"
                                        "  duration 0.5  \n"
                                        "file a\\ b.bmp\n"
                                        "file /abs/x.bmp\n"
                                        "duration 1:00\n",
                                        "/shows");
    ASSERT_TRUE(list.ok()) << list.error;
    ASSERT_EQ(list.entries.size(), 4u);
    EXPECT_EQ(list.entries[0].path, "/shows/beach.jpg");
    EXPECT_EQ(list.entries[0].duration, Duration{3000 * kMs});
    EXPECT_EQ(list.entries[0].line, 4);
    EXPECT_EQ(list.entries[1].path, "/shows/it's me.png");
    EXPECT_EQ(list.entries[1].duration, Duration{500 * kMs});
    EXPECT_EQ(list.entries[2].path, "/shows/a b.bmp");
    EXPECT_FALSE(list.entries[2].duration);
    EXPECT_EQ(list.entries[3].path, "/abs/x.bmp");
    EXPECT_EQ(list.entries[3].duration, Duration{60'000 * kMs});
}

TEST(ConcatFileTest, RefusesWhatMeansNothingForPicturesWithItsLine)
{
    const std::pair<const char*, const char*> refused[] = {
        {"file a.jpg\ninpoint 2\n", "riga 2: «inpoint»"},
        {"file a.jpg\noption framerate 5\n", "riga 2: «option»"},
        {"stream\n", "riga 1: «stream»"},
        {"duration 3\nfile a.jpg\n", "riga 1: «duration» prima"},
        {"file a.jpg\nduration soon\n", "riga 2: «duration» vuole"},
        {"file a.jpg\nduration 0\n", "riga 2: «duration» vuole"},
        {"file a b.jpg\n", "riga 1: dopo il nome"},
        {"file\n", "riga 1: «file» vuole"},
        {"ffconcat version 2.0\n", "riga 1: si attende"},
    };
    for (const auto& [text, start] : refused) {
        const ConcatList list = parseConcat(text, "/x");
        EXPECT_TRUE(list.error.starts_with(start)) << text << " -> " << list.error;
        EXPECT_TRUE(list.entries.empty());
    }
    EXPECT_TRUE(parseConcat(std::string_view("file a.jpg\nfile b\0.jpg\n", 23), "/x")
                    .error.starts_with("riga 2: contiene un carattere nullo"));
}

TEST(ConcatFileTest, TakesRelativeNamesFromItsFolderAndRefusesAPictureNotThere)
{
    const testsupport::TempDir dir;
    std::ofstream(dir.path() / "a.bmp") << "x";
    const auto write = [&](const std::string& text) {
        std::ofstream(dir.path() / "show.txt") << text;
        return readConcatFile(dir.path() / "show.txt");
    };
    const ConcatList good = write("file a.bmp\nduration 2\n");
    ASSERT_TRUE(good.ok()) << good.error;
    EXPECT_EQ(good.entries.front().path, (dir.path() / "a.bmp").string());
    const ConcatList missing = write("file a.bmp\nfile 'gone.bmp'\n");
    EXPECT_TRUE(missing.error.starts_with("riga 2: " + (dir.path() / "gone.bmp").string() + " non esiste"))
        << missing.error;
    EXPECT_EQ(readConcatFile(dir.path() / "none.txt").error, "non esiste");
    EXPECT_EQ(readConcatFile(dir.path()).error, "non è un file normale");
}

TEST(PictureClockTest, SumsDurationsExactlyAndRoundsOnce)
{
    // 1,000 pictures of 0.3 s at 24 a second: 7.2 frames each. Rounded one by one they would
    // make 7,000 frames; summed, exactly 7,200, every picture ending within half a frame of its time.
    PictureClock clock({24, 1});
    for (int i = 1; i <= 1000; ++i) {
        const Span span = clock.next(Duration{300 * kMs});
        EXPECT_LE(std::abs(static_cast<double>(span.end()) - i * 7.2), 0.5) << i;
        EXPECT_TRUE(span.frames == 7 || span.frames == 8) << i;
    }
    EXPECT_EQ(clock.frames(), 7200);
    // NTSC: a second is 30000/1001 frames; an hour of one-second pictures is 107,892 frames.
    PictureClock ntsc({30000, 1001});
    for (int i = 0; i < 3600; ++i)
        (void)ntsc.next(Duration{1000 * kMs});
    EXPECT_EQ(ntsc.frames(), 107892);
    // Pictures without a duration last a frame, mixed with timed ones; none ever vanishes.
    PictureClock mixed({25, 1});
    EXPECT_EQ(mixed.next(std::nullopt), (Span{0, 1}));
    EXPECT_EQ(mixed.next(Duration{20 * kMs}), (Span{1, 1}));  // half a frame still shows
    EXPECT_EQ(mixed.next(Duration{2000 * kMs}), (Span{2, 50}));
}

TEST(PictureClockTest, SpreadsThePicturesOverTheMusic)
{
    const std::vector<std::optional<Duration>> durations = {Duration{1000 * kMs}, std::nullopt, Duration{3000 * kMs}};
    PictureClock clock({25, 1});
    clock.spreadOver(durations, 1001);  // a music of 40.04 s
    std::int64_t last = 0;
    std::vector<Span> spans;
    for (const auto& duration : durations)
        spans.push_back(clock.next(duration));
    for (const Span& span : spans) {
        EXPECT_EQ(span.start, last);
        last = span.end();
    }
    EXPECT_EQ(clock.frames(), 1001);
    // The proportions stay: 25 : 1 : 75 frames stretched ten times.
    EXPECT_NEAR(static_cast<double>(spans[0].frames) / spans[2].frames, 1.0 / 3, 0.01);
}

TEST(FadesTest, EachPictureKeepsAFrameOfItsOwnAndTheWeightsNeverShowOnePictureAlone)
{
    const FadeFrames fades = fadeFrames({Duration{1000 * kMs}, Duration{400 * kMs}, Duration{2000 * kMs}}, {25, 1});
    EXPECT_EQ(fades.crossfade, 25);
    EXPECT_EQ(fades.fadeIn, 10);
    EXPECT_EQ(fades.fadeOut, 50);
    const PictureShow first = showOf({0, 100}, true, false, fades);
    EXPECT_EQ(first.lead, 10);
    EXPECT_EQ(first.trail, 25);
    EXPECT_EQ(first.held(), (Span{10, 65}));
    // A short last picture: the fade-out takes all but one frame.
    const PictureShow last = showOf({100, 20}, false, true, fades);
    EXPECT_EQ(last.trail, 19);
    EXPECT_EQ(last.held(), (Span{100, 1}));
    const PictureShow alone = showOf({0, 1}, true, true, fades);
    EXPECT_EQ(alone.held(), (Span{0, 1}));
    EXPECT_DOUBLE_EQ(crossfadeWeight(0, 3).value(), 0.25);
    EXPECT_DOUBLE_EQ(crossfadeWeight(2, 3).value(), 0.75);
    EXPECT_DOUBLE_EQ(fadeInWeight(0, 4).value(), 0.0);
    EXPECT_DOUBLE_EQ(fadeOutWeight(3, 4).value(), 0.0);
}

TEST(BlendTest, MixesInLinearLight)
{
    // Black and white mixed half and half have half the light: sRGB 188, not 128.
    const std::uint8_t black[3] = {0, 0, 0};
    const std::uint8_t white[3] = {255, 255, 255};
    std::uint8_t out[3] = {};
    blendInLinearLight({black, 3, 1, 1}, {white, 3, 1, 1}, Weight{1, 2}, {out, 3, 1, 1});
    EXPECT_EQ(out[0], 188);
    // Every value comes back as itself at the ends of a fade.
    std::vector<std::uint8_t> ramp(256 * 3);
    for (int i = 0; i < 256; ++i)
        ramp[static_cast<std::size_t>(i) * 3] = ramp[static_cast<std::size_t>(i) * 3 + 1] =
            ramp[static_cast<std::size_t>(i) * 3 + 2] = static_cast<std::uint8_t>(i);
    std::vector<std::uint8_t> back(ramp.size());
    blendInLinearLight({ramp.data(), 768, 256, 1}, {ramp.data(), 768, 256, 1}, Weight{3, 10},
                       {back.data(), 768, 256, 1});
    EXPECT_EQ(back, ramp);
    fadeInLinearLight({ramp.data(), 768, 256, 1}, Weight{1, 1}, {back.data(), 768, 256, 1});
    EXPECT_EQ(back, ramp);
    fadeInLinearLight({ramp.data(), 768, 256, 1}, Weight{0, 1}, {back.data(), 768, 256, 1});
    EXPECT_EQ(back, std::vector<std::uint8_t>(ramp.size(), 0));
    // Against the exact formulas, within one step of 8 bits, with rows of their own strides.
    const std::uint8_t a[8] = {10, 200, 30, 0, 0, 250, 5, 128};
    const std::uint8_t b[8] = {240, 20, 90, 0, 0, 12, 160, 77};
    std::uint8_t mixed[8] = {};
    blendInLinearLight({a, 4, 1, 2}, {b, 4, 1, 2}, Weight{3, 10}, {mixed, 4, 1, 2});
    const auto decode = [](double e) { return e <= 0.04045 ? e / 12.92 : std::pow((e + 0.055) / 1.055, 2.4); };
    const auto encode = [](double l) { return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055; };
    for (const int i : {0, 1, 2, 4, 5, 6}) {
        const double exact = 255 * encode(0.7 * decode(a[i] / 255.0) + 0.3 * decode(b[i] / 255.0));
        EXPECT_LE(std::abs(mixed[i] - exact), 0.51) << i;
    }
    EXPECT_EQ(mixed[3], 0);  // the stride's gap is not written

    // Every pair of values, in integers, is the nearest 8-bit value to the exact mix in doubles
    // (which a check anywhere recomputes): none off but at a tie.
    std::vector<std::uint8_t> from(256 * 256 * 3);
    std::vector<std::uint8_t> to(from.size());
    for (std::size_t i = 0; i < 256 * 256; ++i) {
        from[3 * i] = from[3 * i + 1] = from[3 * i + 2] = static_cast<std::uint8_t>(i / 256);
        to[3 * i] = to[3 * i + 1] = to[3 * i + 2] = static_cast<std::uint8_t>(i % 256);
    }
    std::vector<std::uint8_t> all(from.size());
    int off = 0;
    for (const Weight weight : {Weight{1, 2}, Weight{1, 26}, Weight{17, 26}}) {
        blendInLinearLight({from.data(), 768, 256, 256}, {to.data(), 768, 256, 256}, weight,
                           {all.data(), 768, 256, 256});
        for (std::size_t i = 0; i < 256 * 256; ++i) {
            const double w = weight.value();
            const double exact = 255 * encode((1 - w) * decode(static_cast<double>(i / 256) / 255.0) +
                                              w * decode(static_cast<double>(i % 256) / 255.0));
            if (std::abs(exact - std::floor(exact) - 0.5) > 1e-6 && all[3 * i] != std::lround(exact))
                ++off;
        }
    }
    EXPECT_EQ(off, 0);
}

TEST(ShowSequenceTest, GivesAsThePicturesComeTheFramesTheWholeLayoutGives)
{
    // Uneven pictures, one shorter than its fades, one of a single frame, at 25 a second.
    const std::vector<std::optional<Duration>> durations = {
        Duration{200'000'000}, std::nullopt, Duration{1'000'000'000}, Duration{80'000'000}, Duration{400'000'000}};
    const Fades fades{Duration{120'000'000}, Duration{160'000'000}, Duration{200'000'000}};
    const Rate rate{25, 1};
    for (std::size_t count = 1; count <= durations.size(); ++count) {
        const std::span<const std::optional<Duration>> some(durations.data(), count);
        const ShowLayout layout(rate, some, 0, fades);
        ShowSequence sequence(PictureClock(rate), fades, rate);
        for (const std::optional<Duration>& duration : some)
            sequence.add(duration);
        sequence.end();
        const std::vector<Shown> whole = layout.beginnings();
        ASSERT_EQ(sequence.shown().size(), whole.size()) << count;
        std::int64_t next = 0;
        for (std::size_t i = 0; i < whole.size(); ++i) {
            const Shown& a = sequence.shown()[i];
            EXPECT_EQ(a.slot, whole[i].slot);
            EXPECT_EQ(a.kind, whole[i].kind);
            EXPECT_EQ(a.picture, whole[i].picture);
            EXPECT_EQ(a.weight, whole[i].weight);
            EXPECT_EQ(a.slot, next) << "the frames follow each other without a gap";
            next = a.slot + a.frames;
        }
        EXPECT_EQ(next, layout.frames()) << "fades leave the length as it is";
    }
}

}  // namespace
}  // namespace kelvora::slideshow

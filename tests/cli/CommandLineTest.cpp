// The command line read as a shell passes it, and the progress line against a terminal's width.
#include "cli/BatchProgress.h"
#include "cli/CommandLine.h"
#include "cli/Messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::cli {
namespace {

CommandLine parse(std::vector<std::string> words)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    return parseCommandLine(argv);
}

struct Case {
    std::vector<std::string> words;
    Action action;
    std::vector<std::string> items;  // for Window and Batch
    std::string output = {};
    video::StreamRate rate = {25, 1};
};

TEST(CommandLineTest, EachFormReadsAsAScriptWriterMeansIt)
{
    const Case cases[] = {
        // Qt's own options, with one dash or two, open the window and are not taken for files.
        {{"--platform", "xcb", "a.bmp"}, Action::Window, {"a.bmp"}},
        {{"-style", "Fusion", "--reverse", "a.bmp", "--qwindowtitle", "T"}, Action::Window, {"a.bmp"}},
        {{}, Action::Window, {}},
        {{"-o", "v.avi", "--fps", "7", "a", "b"}, Action::Batch, {"a", "b"}, "v.avi", {7, 1}},
        {{"--output=v.avi", "--fps=30", "a"}, Action::Batch, {"a"}, "v.avi", {30, 1}},
        {{"-yov.avi", "a"}, Action::Batch, {"a"}, "v.avi"},
        {{"-o", "v.avi", "--", "-dash.bmp", "--fps"}, Action::Batch, {"-dash.bmp", "--fps"}, "v.avi"},
        {{"-o", "v.avi", "--list", "-", "--null"}, Action::Batch, {}, "v.avi"},
        {{"--help", "--bogus"}, Action::UsageError, {}},
        {{"-h"}, Action::Help, {}},
        {{"--version"}, Action::Version, {}},
        {{"--bogus", "a.bmp"}, Action::UsageError, {}},
        {{"-o", "v.avi", "-dash.bmp"}, Action::UsageError, {}},
        {{"-o", "v.avi", "a", "--fps"}, Action::UsageError, {}},
        {{"-o", "v.avi", "--fps", "5x", "a"}, Action::UsageError, {}},
        {{"-o", "v.avi"}, Action::UsageError, {}},
        {{"--output=", "a"}, Action::UsageError, {}},
        {{"--fps", "5", "a"}, Action::UsageError, {}},
        {{"-y", "a"}, Action::UsageError, {}},
        {{"-o", "v.avi", "--null", "a"}, Action::UsageError, {}},
        {{"--platform"}, Action::UsageError, {}},
        // A slideshow: its rate given to a check of its own; fades drawn by the saves that decode
        // pictures, refused for an uncompressed AVI.
        {{"-o", "v.mkv", "--concat", "s.txt", "--audio", "m.wav"}, Action::Batch, {}, "v.mkv"},
        {{"--verify", "v.mkv", "--concat", "s.txt", "--fps", "30", "--crossfade", "0.5"}, Action::Verify, {}},
        {{"--verify", "v.mkv", "a", "--fps", "30"}, Action::UsageError, {}},
        {{"-o", "v.mkv", "--concat", "s.txt", "--crossfade", "0.5"}, Action::Batch, {}, "v.mkv"},
        {{"-o", "v.mp4", "--concat", "s.txt", "--fade-out", "1"}, Action::Batch, {}, "v.mp4"},
        {{"-o", "v.avi", "--concat", "s.txt", "--fade-in", "1", "--codec", "ffv1"}, Action::Batch, {}, "v.avi"},
        {{"-o", "v.avi", "--concat", "s.txt", "--fade-in", "1"}, Action::UsageError, {}},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& word : c.words)
            shown += word + " ";
        const CommandLine line = parse(c.words);
        EXPECT_EQ(line.action, c.action) << shown << "-> " << line.error;
        if (c.action == Action::UsageError) {
            EXPECT_FALSE(line.error.empty()) << shown;
        }
        if (c.action != Action::Window && c.action != Action::Batch)
            continue;
        EXPECT_EQ(line.invocation.items, c.items) << shown;
        EXPECT_EQ(line.invocation.output, c.output) << shown;
        EXPECT_EQ(line.invocation.rate, c.rate) << shown;
    }
    EXPECT_EQ(parse({"-platform", "offscreen"}).invocation.qtPlatform, "offscreen");
    const CommandLine list = parse({"-o", "v.avi", "-y", "--list", "-", "--null", "--progress"});
    EXPECT_TRUE(list.invocation.overwrite && list.invocation.nullSeparated && list.invocation.progress);
    EXPECT_EQ(list.invocation.list, "-");
}

// Every way of writing a rate becomes the exact reduced pair the stream header stores; what
// is out of bounds, inexact or malformed is refused rather than rounded.
// The output's type decides the container and its codec; a codec or option it cannot take is
// a usage error, said before anything is read.
TEST(CommandLineTest, TheOutputsTypeChoosesTheCodec)
{
    struct Type {
        std::vector<std::string> words;
        std::optional<codec::Codec> codec;  // none: a usage error
        int crf = codec::kDefaultCrf;
        const char* error = "";  // a part of the usage error
    };
    const Type cases[] = {
        {{"-o", "v.mp4", "a"}, codec::Codec::H264},
        {{"-o", "V.MP4", "--crf", "23", "a"}, codec::Codec::H264, 23},
        {{"-o", "v.mp4", "--codec", "h264", "--crf=1", "a"}, codec::Codec::H264, 1},
        {{"-o", "v.mkv", "a"}, codec::Codec::Ffv1},
        {{"-o", "v.mkv", "--codec", "ffv1", "a"}, codec::Codec::Ffv1},
        {{"-o", "v.avi", "--codec", "png", "a"}, codec::Codec::Png},
        {{"-o", "v.avi", "a"}, codec::Codec::Raw},
        {{"-o", "v.avi", "--codec", "h264", "a"}, std::nullopt, codec::kDefaultCrf, ".mp4"},
        {{"-o", "v.mkv", "--codec", "png", "a"}, std::nullopt, codec::kDefaultCrf, "FFV1"},
        {{"-o", "v.mp4", "--codec", "raw", "a"}, std::nullopt, codec::kDefaultCrf, "H.264"},
        {{"-o", "v.avi", "--crf", "20", "a"}, std::nullopt, codec::kDefaultCrf, "--crf"},
        {{"-o", "v.mp4", "--crf", "0", "a"}, std::nullopt, codec::kDefaultCrf, "--crf"},
        {{"-o", "v.mp4", "--crf", "52", "a"}, std::nullopt, codec::kDefaultCrf, "--crf"},
        {{"-o", "v.mp4", "--crf", "1x", "a"}, std::nullopt, codec::kDefaultCrf, "--crf"},
        {{"--crf", "20", "a"}, std::nullopt, codec::kDefaultCrf, "--crf"},
        {{"-o", "v.mkv", "--verify", "a"}, codec::Codec::Ffv1},
        {{"-o", "v.mp4", "--verify", "--min-psnr", "40", "a"}, codec::Codec::H264},
        {{"-o", "v.mp4", "--min-psnr", "40", "a"}, std::nullopt, codec::kDefaultCrf, "--min-psnr"},
        {{"-o", "v.mp4", "--verify", "--min-psnr", "0", "a"}, std::nullopt, codec::kDefaultCrf, "--min-psnr"},
        {{"--min-psnr", "40", "a"}, std::nullopt, codec::kDefaultCrf, "--min-psnr"},
        {{"-o", "v.mp4", "--framemd5", "-", "a"}, codec::Codec::H264},
        {{"-o", "v.mkv", "--framemd5", "-", "a"}, codec::Codec::Ffv1},
    };
    for (const Type& c : cases) {
        std::string shown;
        for (const std::string& word : c.words)
            shown += word + " ";
        SCOPED_TRACE(shown);
        const CommandLine line = parse(c.words);
        if (!c.codec) {
            EXPECT_EQ(line.action, Action::UsageError);
            EXPECT_NE(line.error.find(c.error), std::string::npos) << line.error;
            continue;
        }
        ASSERT_EQ(line.action, Action::Batch) << line.error;
        EXPECT_EQ(line.invocation.codec, *c.codec);
        EXPECT_EQ(line.invocation.crf, c.crf);
    }
}

TEST(CommandLineTest, EachRateIsWrittenAsItsExactReducedPair)
{
    struct Rate {
        std::string given;
        std::optional<video::StreamRate> stored;  // nullopt: refused
    };
    const Rate rates[] = {
        {"60", video::StreamRate{60, 1}},
        {"1000", video::StreamRate{1000, 1}},
        {"29.97", video::StreamRate{2997, 100}},
        {"29,97", video::StreamRate{2997, 100}},
        {"0.5", video::StreamRate{1, 2}},
        {"25.000", video::StreamRate{25, 1}},
        {"23.976", video::StreamRate{2997, 125}},
        {"30000/1001", video::StreamRate{30000, 1001}},
        {"50/2", video::StreamRate{25, 1}},
        {"1/3600", video::StreamRate{1, 3600}},
        {"NTSC", video::StreamRate{30000, 1001}},
        {"pal", video::StreamRate{25, 1}},
        {"film", video::StreamRate{24, 1}},
        {"ntsc-film", video::StreamRate{24000, 1001}},
        {"1001", std::nullopt},
        {"1/3601", std::nullopt},
        {"0", std::nullopt},
        {"29.9700", std::nullopt},
        {"1/0", std::nullopt},
        {"-5", std::nullopt},
        {"+5", std::nullopt},
        {".5", std::nullopt},
        {"5.", std::nullopt},
        {"5x", std::nullopt},
        {"1e3", std::nullopt},
        {"", std::nullopt},
        {"30000/1001/2", std::nullopt},
        // Reduced first: only terms that still do not fit 32 bits are refused.
        {"8589934592/8589934592", video::StreamRate{1, 1}},
        {"4294967297/4294967296", std::nullopt},
        // A decimal whose scaled number would pass 64 bits is out of range, not wrapped around.
        {"18446744073709552.000", std::nullopt},
        {"999999999999999999.9", std::nullopt},
        {"1000.000", video::StreamRate{1000, 1}},
        {"1000.001", std::nullopt},
    };
    for (const Rate& r : rates) {
        const CommandLine line = parse({"-o", "v.avi", "--fps", r.given, "a"});
        if (!r.stored) {
            EXPECT_EQ(line.action, Action::UsageError) << r.given;
            continue;
        }
        ASSERT_EQ(line.action, Action::Batch) << r.given << ": " << line.error;
        EXPECT_EQ(line.invocation.rate, *r.stored) << r.given;
    }
    EXPECT_EQ(video::rateText({25, 1}), "25");
    EXPECT_EQ(video::rateText({2997, 100}), "29,97");
    EXPECT_EQ(video::rateText({1, 8}), "0,125");
    EXPECT_EQ(video::rateText({30000, 1001}), "30000/1001");
}

TEST(CommandLineTest, TheWindowNeedsAScreenUnlessQtIsGivenOneOfItsOwn)
{
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    EXPECT_NE(windowUnavailableReason(parse({"a.bmp"}).invocation).find("--output"), std::string::npos);
    EXPECT_EQ(windowUnavailableReason(parse({"--platform", "offscreen"}).invocation), "");
    ::setenv("DISPLAY", ":5", 1);
    EXPECT_EQ(windowUnavailableReason(parse({}).invocation), "");
    EXPECT_NE(windowUnavailableReason(parse({"-platform", "wayland"}).invocation), "");
    if (display)
        ::setenv("DISPLAY", saved.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
}

TEST(CommandLineTest, MessagesCarryNoControlCharacters)
{
    EXPECT_EQ(printable("a\nb\r\t\x1b[2J\\.bmp"), "a\\nb\\r\\t\\x1b[2J\\\\.bmp");
}

// Every redraw of the bar fits the terminal's width minus one column (a line reaching the last
// column wraps on many terminals); the last one says all frames were written.
TEST(BatchProgressTest, TheBarNeverWrapsAtAnyWidth)
{
    for (const int columns : {8, 20, 40, 80, 200}) {
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* out = ::open_memstream(&text, &size);
        ASSERT_NE(out, nullptr);
        BatchProgress progress(1000, out, BatchProgress::Style::Bar, [columns] { return columns; });
        for (int i = 0; i < 1000; ++i)
            progress.frameWritten(i);
        std::fclose(out);
        const std::string drawn(text, size);
        std::free(text);
        std::size_t longest = 0;
        for (std::size_t at = 0; at < drawn.size();) {
            const std::size_t end = std::min(drawn.find('\r', at + 1), drawn.size());
            longest = std::max(longest, end - at - 1);
            at = end;
        }
        EXPECT_LT(longest, static_cast<std::size_t>(columns)) << columns;
        EXPECT_EQ(drawn.find('\n'), std::string::npos) << columns;
        EXPECT_NE(drawn.rfind(columns >= 20 ? "1000/1000" : "100%"), std::string::npos) << columns << ": " << drawn;
    }
}

}  // namespace
}  // namespace kelvora::cli

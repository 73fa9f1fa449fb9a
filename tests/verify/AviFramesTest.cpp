// The AVI reader against structures other writers (and damaged files) make: it finds the frames
// ffmpeg finds, and says when the file ends inside one.
#include "verify/AviFrames.h"

#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/fs/TempDir.h"
#include "tests/verify/AviBytes.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kelvora::verify {
namespace {

using namespace testing;
namespace fs = std::filesystem;

Bytes framePixels(int n)
{
    Bytes pixels(24);  // 4 x 2 at 24 bits
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(n * 16 + static_cast<int>(i));
    return pixels;
}

Bytes frames(int from, int to)
{
    Bytes out;
    for (int n = from; n < to; ++n)
        out = out + chunk("00db", framePixels(n));
    return out;
}

void write(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Read {
    std::vector<Bytes> frames;
    std::string problem;
};

Read readAll(const fs::path& path)
{
    bool unreadable = false;
    const auto opened = AviFrames::open(path, unreadable);
    Read read;
    if (!opened) {
        read.problem = "open: " + opened.error();
        return read;
    }
    const auto& video = opened.value();
    Bytes data;
    while (video->next(data))
        read.frames.push_back(data);
    read.problem = video->problem();
    return read;
}

// Frames ffmpeg decodes from the file: the lines of its framemd5.
int ffmpegFrames(const fs::path& path)
{
    std::string out;
    if (testsupport::runCommand("ffmpeg -v quiet -i '" + path.string() + "' -f framemd5 - 2>/dev/null", out) != 0 &&
        out.empty())
        return 0;
    int lines = 0;
    for (std::size_t at = 0; at < out.size(); at = out.find('\n', at) + 1) {
        if (out[at] != '#')
            ++lines;
        if (out.find('\n', at) == std::string::npos)
            break;
    }
    return lines;
}

// Each structure as ffmpeg reads it, its frame count checked against ffmpeg's own where it is
// installed; a file cut inside a frame (or a frame's header) says so.
TEST(AviFramesTest, FindsTheFramesFfmpegFinds)
{
    const StreamFormat format;
    const Bytes seven = frames(0, 7);
    Bytes deep = frames(1, 7);
    for (int depth = 0; depth < 10; ++depth)
        deep = list("rec ", deep);
    Bytes hugeFirst;
    putText(hugeFirst, "00db");
    putU32(hugeFirst, 0xFFFFFFFFu);
    hugeFirst = hugeFirst + framePixels(0) + frames(1, 7);
    Bytes hugeJunk;
    putText(hugeJunk, "JUNK");
    putU32(hugeJunk, 0xFFFFFFFFu);
    hugeJunk = hugeJunk + seven;
    const Bytes whole = aviFile(format, seven);
    const Bytes cutInFrame(whole.begin(), whole.end() - 10);
    const Bytes cutInHeader(whole.begin(), whole.end() - 29);  // "00d" of the last frame left
    struct Case {
        const char* name;
        Bytes file;
        std::size_t frames;
        bool cut;
    };
    const Case cases[] = {
        {"plain", whole, 7, false},
        {"RIFF size 0", aviFile(format, seven, 0u), 7, false},
        {"'rec ' lists 10 deep", aviFile(format, frames(0, 1) + deep), 7, false},
        {"a 'movi' in the 'movi'", aviFile(format, frames(0, 1) + list("movi", frames(1, 7))), 7, false},
        {"first frame sized 0xFFFFFFFF", aviFile(format, hugeFirst), 6, false},
        {"JUNK sized 0xFFFFFFFF", aviFile(format, hugeJunk), 7, false},
        {"cut inside the last frame", cutInFrame, 6, true},
        {"cut inside the last frame's header", cutInHeader, 6, true},
    };
    const bool ffmpeg = testsupport::ffmpegAvailable();
    testsupport::TempDir dir;
    for (const Case& c : cases) {
        const fs::path path = dir / "v.avi";
        write(path, c.file);
        const Read read = readAll(path);
        EXPECT_EQ(read.frames.size(), c.frames) << c.name << " " << read.problem;
        EXPECT_EQ(read.problem.empty(), !c.cut) << c.name << " " << read.problem;
        if (!read.frames.empty()) {
            EXPECT_EQ(read.frames.back(), framePixels(c.cut ? 5 : 6)) << c.name;
        }
        if (ffmpeg) {
            EXPECT_EQ(ffmpegFrames(path), static_cast<int>(c.frames)) << c.name;
        }
    }
}

// Headers that are not an AVI video, or whose video no reader can use, are said apart.
TEST(AviFramesTest, SaysWhyAFileIsNoVideo)
{
    Bytes noStream;
    putText(noStream, "AVI ");
    noStream = chunk("RIFF", noStream + list("movi", frames(0, 1)));
    Bytes wave;
    putText(wave, "WAVE");
    wave = chunk("RIFF", wave + chunk("fmt ", Bytes(16)));
    const struct {
        const char* name;
        Bytes file;
        const char* error;
    } cases[] = {
        {"a WAVE file", wave, "non è un video AVI"},
        {"frames but no stream header", noStream, "non ha un flusso video leggibile"},
        {"a few bytes", Bytes{'R', 'I', 'F', 'F'}, "non è un video AVI"},
    };
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        write(dir / "v.avi", c.file);
        bool unreadable = true;
        const auto opened = AviFrames::open(dir / "v.avi", unreadable);
        ASSERT_FALSE(opened) << c.name;
        EXPECT_EQ(opened.error(), c.error) << c.name;
        EXPECT_FALSE(unreadable) << c.name;
    }
}

}  // namespace
}  // namespace kelvora::verify

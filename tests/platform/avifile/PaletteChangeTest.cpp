#include <gtest/gtest.h>

#include "platform/avifile/PaletteChange.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/AviTestWriter.h"
#include "tests/support/avi/FfmpegProbe.h"

#include <fstream>

namespace kelvora::avifile {
namespace {

using namespace testsupport;

// Frames of 8 bits whose colour tables differ: frame `seed` gets entries 10..12 of its own.
std::vector<TestBitmap> framesWithOwnColours(int count, int height)
{
    std::vector<TestBitmap> frames = testFrames(count, 9, height, 8);
    for (int i = 0; i < count; ++i)
        for (std::size_t entry = 10; entry <= 12; ++entry)
            for (std::size_t c = 0; c < 3; ++c)
                frames[static_cast<std::size_t>(i)].info[40 + 4 * entry + c] =
                    static_cast<std::uint8_t>(i * 50 + 20 * c + entry);
    // The third frame keeps the second's colours: no change is written for it.
    if (count > 2)
        frames[2].info = frames[1].info;
    return frames;
}

std::vector<std::uint8_t> expectedPixels(const std::vector<TestBitmap>& frames)
{
    std::vector<std::uint8_t> expected;
    for (const auto& frame : frames) {
        const auto px = topDownPixels(frame, 3);
        expected.insert(expected.end(), px.begin(), px.end());
    }
    return expected;
}

std::vector<std::uint8_t> bytesAt(const std::filesystem::path& file, std::uint64_t offset, std::size_t size)
{
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> bytes(size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    return bytes;
}

// Each frame shows its own colours in ffmpeg; the change sits in 'movi' right before the
// frame it applies to and in no index, where readers would take it for a frame.
TEST(PaletteChange, EachFrameShowsItsOwnColoursAndIndexesHoldOnlyFrames)
{
    TempDir dir;
    const auto file = dir / "pal.avi";
    const auto frames = framesWithOwnColours(4, 6);
    const SaveResult saved = saveFrames(file, frames);
    ASSERT_EQ(saved.lastWrite, AVIERR_OK);
    ASSERT_EQ(saved.finish, AVIERR_OK);

    const AviInfo info = inspectAvi(file);
    ASSERT_TRUE(info.error.empty()) << info.error;
    ASSERT_EQ(info.frames.size(), 4u);
    ASSERT_EQ(info.paletteChanges.size(), 2u);  // before frames 1 and 3, not 2
    EXPECT_EQ(info.paletteChanges[0].chunkOffset + 8 + info.paletteChanges[0].size, info.frames[1].chunkOffset);
    EXPECT_EQ(info.paletteChanges[1].chunkOffset + 8 + info.paletteChanges[1].size, info.frames[3].chunkOffset);
    EXPECT_EQ(info.idx1.size(), 4u);
    for (const auto& entry : info.idx1)
        EXPECT_EQ(entry.chunkId, FourCC("00db"));
    EXPECT_NE(info.strh.dwFlags & AVISF_VIDEO_PALCHANGES, 0u);
    EXPECT_EQ(info.strf, frames[0].info);

    // AVIPALCHANGE: entries 10 to 12, red-green-blue order.
    const auto change = bytesAt(file, info.paletteChanges[0].chunkOffset + 8, info.paletteChanges[0].size);
    ASSERT_EQ(change.size(), 4u + 3 * 4);
    EXPECT_EQ(change[0], 10);
    EXPECT_EQ(change[1], 3);
    EXPECT_EQ(change[4], frames[1].info[40 + 4 * 10 + 2]);
    EXPECT_EQ(change[6], frames[1].info[40 + 4 * 10 + 0]);

    if (!ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    EXPECT_EQ(decodeFrames(file, "bgr24"), expectedPixels(frames));
}

TEST(PaletteChange, ReachesFramesInLaterRiffs)
{
    if (!ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    TempDir dir;
    const auto file = dir / "pal-odml.avi";
    auto frames = framesWithOwnColours(12, 60);
    const SaveResult saved = saveFrames(file, frames, 25, AviFileLimits{.riffBytes = 4096, .superIndexEntries = 16});
    ASSERT_EQ(saved.lastWrite, AVIERR_OK);
    ASSERT_EQ(saved.finish, AVIERR_OK);
    const AviInfo info = inspectAvi(file);
    ASSERT_GT(info.riffs.size(), 2u);
    for (const auto& index : info.ix00)
        for (const auto& entry : index.entries)
            EXPECT_EQ(entry.second & 0x7FFFFFFFu, frames[0].pixels.size());
    EXPECT_EQ(decodeFrames(file, "bgr24"), expectedPixels(frames));
}

// Only the colour table can change within a stream, and only from the next frame on.
TEST(PaletteChange, AnyOtherFormatChangeIsRefused)
{
    TempDir dir;
    const auto file = dir / "refused.avi";
    PAVIFILE avi = nullptr;
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileOpenA(&avi, file.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    const auto frames = framesWithOwnColours(2, 6);
    const AVISTREAMINFOA description = videoStreamInfo(frames[0], 25);
    ASSERT_EQ(AVIFileCreateStreamA(avi, &stream, &description), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, frames[0].info.data(), static_cast<LONG>(frames[0].info.size())),
              AVIERR_OK);
    ASSERT_EQ(AVIStreamWrite(stream, 0, 1, frames[0].pixels.data(), static_cast<LONG>(frames[0].pixels.size()),
                             AVIIF_KEYFRAME, nullptr, nullptr),
              AVIERR_OK);
    auto wider = frames[1].info;
    wider[4] = 10;  // biWidth
    const auto rgb = makeTestBitmap(9, 6, 24, 0).info;
    EXPECT_EQ(AVIStreamSetFormat(stream, 1, wider.data(), static_cast<LONG>(wider.size())), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIStreamSetFormat(stream, 1, rgb.data(), static_cast<LONG>(rgb.size())), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIStreamSetFormat(stream, 2, frames[1].info.data(), static_cast<LONG>(frames[1].info.size())),
              AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIStreamSetFormat(stream, 1, frames[1].info.data(), static_cast<LONG>(frames[1].info.size())),
              AVIERR_OK);
    AVIStreamRelease(stream);
    AVIFileRelease(avi);
}

}  // namespace
}  // namespace kelvora::avifile

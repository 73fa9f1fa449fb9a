#include <gtest/gtest.h>

#include "tests/support/avi/AviTestWriter.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/FfmpegProbe.h"

namespace kelvora::avifile {
namespace {

using namespace testsupport;

using platform::FourCC;

// RIFFs of 256 KiB hold about 27 frames of 64 x 48 x 24.
class OpenDml : public ::testing::Test {
protected:
    AviFileLimits m_limits{.riffBytes = 256 * 1024};
    TempDir m_dir;
};

TEST_F(OpenDml, ContinuesInAvixRiffsThatFfmpegReadsWhole)
{
    const auto file = m_dir / "long.avi";
    const auto frames = testFrames(100, 64, 48, 24);
    const SaveResult saved = saveFrames(file, frames, 25, m_limits);
    ASSERT_EQ(saved.lastWrite, AVIERR_OK);
    ASSERT_EQ(saved.finish, AVIERR_OK);

    const auto info = testsupport::inspectAvi(file);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_FALSE(info.truncated);
    ASSERT_GE(info.riffs.size(), 3u);
    EXPECT_EQ(info.riffs[0].type, FourCC("AVI "));
    for (std::size_t r = 0; r < info.riffs.size(); ++r) {
        if (r > 0) {
            EXPECT_EQ(info.riffs[r].type, FourCC("AVIX"));
        }
        EXPECT_LE(info.riffs[r].size + 8u, 256u * 1024u) << "RIFF " << r;
    }
    EXPECT_EQ(info.riffs.back().offset + 8 + info.riffs.back().size, info.fileSize);
    ASSERT_EQ(info.frames.size(), 100u);

    std::size_t firstRiffFrames = 0;
    for (const auto& f : info.frames)
        firstRiffFrames += f.riff == 0;
    EXPECT_EQ(info.avih.dwTotalFrames, firstRiffFrames);
    EXPECT_EQ(info.idx1.size(), firstRiffFrames);
    EXPECT_EQ(info.strh.dwLength, 100u);
    EXPECT_TRUE(info.hasOdml);
    EXPECT_EQ(info.dmlhTotalFrames, 100u);

    // The super index points at one standard index per RIFF, and together they cover every frame.
    ASSERT_TRUE(info.hasIndx);
    EXPECT_EQ(info.indxCapacity, AviFileLimits{}.superIndexEntries);
    ASSERT_EQ(info.indx.size(), info.riffs.size());
    ASSERT_EQ(info.ix00.size(), info.riffs.size());
    std::size_t frame = 0;
    for (std::size_t r = 0; r < info.ix00.size(); ++r) {
        const auto& ix = info.ix00[r];
        EXPECT_EQ(info.indx[r].offset, ix.chunkOffset);
        EXPECT_EQ(info.indx[r].size, 8 + 24 + 8 * ix.entries.size());
        EXPECT_EQ(info.indx[r].duration, ix.entries.size());
        EXPECT_EQ(ix.baseOffset, info.riffs[r].moviFourCC);
        for (const auto& [offset, size] : ix.entries) {
            ASSERT_LT(frame, info.frames.size());
            EXPECT_EQ(ix.baseOffset + offset, info.frames[frame].chunkOffset + 8);
            EXPECT_EQ(size, info.frames[frame].size) << "key frames keep bit 31 clear";
            ++frame;
        }
    }
    EXPECT_EQ(frame, 100u);

    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    const auto probe = testsupport::probeVideo(file);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, 100);
    std::vector<std::uint8_t> expected;
    for (const auto& f : frames) {
        const auto px = testsupport::topDownPixels(f, 3);
        expected.insert(expected.end(), px.begin(), px.end());
    }
    EXPECT_TRUE(testsupport::decodeFrames(file, "bgr24") == expected);
}

TEST_F(OpenDml, FullSuperIndexRefusesFurtherFramesAndKeepsTheFileWhole)
{
    m_limits.superIndexEntries = 2;
    const auto file = m_dir / "full.avi";
    const auto frames = testFrames(100, 64, 48, 24);
    const SaveResult saved = saveFrames(file, frames, 25, m_limits);
    EXPECT_EQ(saved.lastWrite, AVIERR_BADSIZE);
    EXPECT_EQ(saved.finish, AVIERR_OK);
    ASSERT_GT(saved.framesWritten, 27);
    ASSERT_LT(saved.framesWritten, 100);

    const auto info = testsupport::inspectAvi(file);
    EXPECT_EQ(info.riffs.size(), 2u);
    EXPECT_EQ(info.indx.size(), 2u);
    EXPECT_EQ(info.frames.size(), static_cast<std::size_t>(saved.framesWritten));
    EXPECT_EQ(info.dmlhTotalFrames, static_cast<std::uint32_t>(saved.framesWritten));
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg not installed";
    const auto probe = testsupport::probeVideo(file);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, saved.framesWritten);
}

}  // namespace
}  // namespace kelvora::avifile

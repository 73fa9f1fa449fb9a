// PNG and JPEG frames through the save: what each codec takes and refuses, each video checked
// against its files as --verify checks it, and a picture file changed under its copy.

#include "tests/support/app/ScriptedServices.h"
#include "tests/support/fs/TempDir.h"
#include "tests/support/pictures/MadePictures.h"
#include "bitmap/FramePlan.h"
#include "verify/PictureLimits.h"
#include "verify/VideoCheck.h"
#include "video/SaveJob.h"
#include "video/SaveSummary.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kelvora::video {
namespace {

namespace fs = std::filesystem;
using codec::Codec;

struct NoProgress final : SaveObserver {
    void frameStarting(int) override {}
    void frameWritten(int) override {}
};

struct NoChecks final : verify::CheckObserver {
    void frameChecked(int) override {}
};

struct Case {
    const char* file;
    bool stored;      // saved as it is
    bool compressed;  // saved as FFV1 and PNG
};

// The same picture twice: the second frame must match the first's format.
SaveOutcome save(const fs::path& picture, Codec codec, const std::string& output,
                 testsupport::ScriptedMessageBox& messages)
{
    SaveRequest request{output, {picture.string(), picture.string()}, 10};
    request.codec = codec;
    NoProgress progress;
    const std::atomic<bool> cancel{false};
    return SaveJob(systemAVIDecs(), messages).run(request, progress, cancel);
}

TEST(PictureSaveTest, EachCodecTakesWhatPlayersShowAndEveryFrameChecksExactly)
{
    const Case cases[] = {
        {"grey1-pillow.png", true, true},       {"grey16-opencv.png", true, true},
        {"greyalpha8-pillow.png", true, true},  {"greyalpha16-magick.png", true, true},
        {"palette4-pillow.png", true, true},    {"rgb16-opencv.png", true, true},
        {"rgba8-pillow.png", true, true},       {"rgba16-opencv.png", true, true},
        {"interlaced-magick.png", true, true},  {"s420-pillow.jpg", true, true},
        {"s422-pillow.jpg", true, true},        {"s444-pillow.jpeg", true, true},
        {"grey-opencv.jpg", true, true},        {"progressive-pillow.jpg", true, true},
        {"arithmetic-cjpeg.jpg", false, false}, {"cmyk-pillow.jpg", false, false},
        {"animated-pillow.png", false, false},  {"precision12.jpg", false, false},
        {"motion-photo.jpg", true, true},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases) {
        const fs::path picture = testsupport::madePictures() / c.file;
        if (!fs::exists(picture))
            continue;  // a kind no tool here makes
        for (const Codec codec : {Codec::Raw, Codec::Ffv1, Codec::Png}) {
            SCOPED_TRACE(std::string(c.file) + " " + std::string(codecName(codec)));
            testsupport::ScriptedMessageBox messages;
            const std::string output = dir.file(std::string(c.file) + "." + std::string(codecName(codec)) + ".avi");
            const SaveOutcome outcome = save(picture, codec, output, messages);
            const bool taken = codec == Codec::Raw ? c.stored : c.compressed;
            EXPECT_EQ(outcome.finished, taken) << outcome.reason;
            if (!taken) {
                EXPECT_FALSE(fs::exists(output));  // refused before anything is opened, with the reason
                EXPECT_NE(outcome.reason.find(c.file), std::string::npos) << outcome.reason;
                EXPECT_NE(outcome.reason.find(": è un"), std::string::npos) << outcome.reason;
                continue;
            }
            NoChecks observer;
            const std::atomic<bool> cancel{false};
            const verify::CheckOutcome check =
                verify::checkVideo({output, {picture.string(), picture.string()}}, observer, cancel);
            EXPECT_EQ(check.result, verify::CheckResult::Same) << check.firstReason << check.reason;
            EXPECT_FALSE(check.approximate);
            if (codec == Codec::Raw) {  // the picture's bytes, whole (a motion photo's up to its end marker)
                const std::uint64_t bytes = c.file == std::string("motion-photo.jpg")
                                                ? fs::file_size(testsupport::madePictures() / "s420-pillow.jpg")
                                                : fs::file_size(picture);
                EXPECT_GT(outcome.fileBytes, 2 * bytes);
                EXPECT_LT(outcome.fileBytes, 2 * bytes + 20000);
            }
        }
    }
}

// A picture file cut short after its headers were judged, just before its bytes are copied:
// never a frame of other bytes. The save stops there and names the file.
TEST(PictureSaveTest, APictureCutShortBeforeItsCopyStopsTheSaveAndIsNamed)
{
    testsupport::TempDir dir;
    std::vector<std::string> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(dir.file("f" + std::to_string(i) + ".jpg"));
        fs::copy_file(testsupport::madePictures() / "s420-pillow.jpg", frames.back());
    }
    struct CutBeforeWrite final : SaveObserver {
        std::string frame;
        void frameStarting(int index) override
        {
            // Small frames go out together: the writer names the last of a batch before its write.
            if (index == 2 && !frame.empty())
                fs::resize_file(std::exchange(frame, {}), 100);
        }
        void frameWritten(int) override {}
    } observer;
    observer.frame = frames[2];
    testsupport::ScriptedMessageBox messages;
    SaveRequest request{dir.file("cut.avi"), frames, 10};
    const std::atomic<bool> cancel{false};
    const SaveOutcome outcome = SaveJob(systemAVIDecs(), messages).run(request, observer, cancel);
    EXPECT_EQ(outcome.result, avifile::AVIERR_FILEREAD);
    EXPECT_EQ(outcome.framesWritten, 2);
    EXPECT_NE(outcome.reason.find("f2.jpg"), std::string::npos) << outcome.reason;
}

// Admission refuses pictures libavcodec will not decode; whatever it takes, the check decodes
// too (verify/PictureLimits), so a stored video is never one the check cannot read.
TEST(PictureSizeBoundTest, EveryPictureAdmissionTakesTheCheckDecodes)
{
    for (const std::int64_t width : {1, 63, 64, 1000, 8191, 16255, 16256, 20000, 32767}) {
        std::int64_t rows = 0;
        while (rows < bitmap::kLargestVideoSide && bitmap::sizeIsDecodable(bitmap::pictureBufferWidth(width), rows + 1))
            ++rows;
        EXPECT_GT(rows, 0) << width;
        EXPECT_EQ(verify::pictureRefusal(width, rows, std::int64_t{1} << 40), "") << width << " x " << rows;
    }
}

// A compressed video of JPEG frames is compared with its frames uncompressed (66 x 48 pixels of
// 3 bytes, rows of 200 bytes), as the window and the batch mode say it, never with the JPEG files.
TEST(PictureSaveTest, ACompressedVideoOfJpegFramesIsComparedWithTheFramesUncompressed)
{
    const fs::path picture = testsupport::madePictures() / "s420-magick.jpg";
    ASSERT_TRUE(fs::exists(picture));
    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    for (const Codec codec : {Codec::Ffv1, Codec::Png}) {
        SCOPED_TRACE(codecLabel(codec));
        const SaveOutcome outcome = save(picture, codec, dir.file("video.avi"), messages);
        ASSERT_TRUE(outcome.finished) << outcome.reason;
        const std::uint64_t frames = 2 * uncompressedFrameBytes(66, 48, 3);
        EXPECT_EQ(frames, 2u * 200 * 48);
        EXPECT_GE(outcome.uncompressedBytes, frames);
        EXPECT_LE(outcome.uncompressedBytes, frames + outcome.fileBytes);  // the container's own bytes at most
        EXPECT_NE(savedSummary(codec, outcome.fileBytes, outcome.uncompressedBytes).find("volte più piccolo"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace kelvora::video

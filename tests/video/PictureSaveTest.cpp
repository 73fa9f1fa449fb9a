// PNG and JPEG frames through the save: what each codec takes and refuses, each video checked
// against its files as --verify checks it, and a picture file changed under its copy.

#include "mux/SinkFactory.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/fs/TempDir.h"
#include "tests/support/pictures/MadePictures.h"
#include "bitmap/FramePlan.h"
#include "verify/PictureLimits.h"
#include "verify/VideoCheck.h"
#include "video/SaveJob.h"
#include "video/SaveSummary.h"

#include <gtest/gtest.h>

#include <cmath>
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

// The check of a save's video, told the fitting the save gave its frames.
verify::CheckOutcome checkSaved(const std::string& video, std::vector<std::string> frames, const SaveOutcome& saved)
{
    NoChecks observer;
    const std::atomic<bool> cancel{false};
    verify::CheckRequest request{video, std::move(frames), true, {}};
    request.fitting = [&](Codec) { return saved.fitted; };
    return verify::checkVideo(request, observer, cancel);
}

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
    return SaveJob(systemAVIDecs(), messages, mux::sinkFor).run(request, progress, cancel);
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
        {"arithmetic-cjpeg.jpg", false, false}, {"cmyk-pillow.jpg", false, true},
        {"ycck-magick.jpg", false, true},       {"rgb-cjpeg.jpg", true, true},
        {"exif-broken.jpg", true, true},        {"animated-pillow.png", false, false},
        {"precision12.jpg", false, false},      {"motion-photo.jpg", true, true},
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
            const verify::CheckOutcome check = checkSaved(output, {picture.string(), picture.string()}, outcome);
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

SaveOutcome saveAs(const std::vector<std::string>& frames, Codec codec, Container container, const std::string& output,
                   codec::Background background = {})
{
    SaveRequest request{output, frames, 10};
    request.codec = codec;
    request.container = container;
    request.framing.background = {background.red, background.green, background.blue};
    testsupport::ScriptedMessageBox messages;
    NoProgress progress;
    const std::atomic<bool> cancel{false};
    return SaveJob(systemAVIDecs(), messages, mux::sinkFor).run(request, progress, cancel);
}

struct Output {
    Codec codec;
    Container container;
    const char* extension;
};
constexpr Output kDecodingOutputs[] = {{Codec::Ffv1, Container::Avi, "avi"},
                                       {Codec::Png, Container::Avi, "avi"},
                                       {Codec::Ffv1, Container::Matroska, "mkv"},
                                       {Codec::H264, Container::Mp4, "mp4"}};

// PSNR of `got` against `want`, 8-bit samples; infinite when equal.
double psnr(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& want)
{
    double squares = 0;
    for (std::size_t i = 0; i < got.size() && i < want.size(); ++i)
        squares += (static_cast<double>(got[i]) - want[i]) * (static_cast<double>(got[i]) - want[i]);
    return squares == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * static_cast<double>(got.size()) / squares);
}

// A PNG with transparency after opaque ones of its format (an RGB key colour, a palette's
// transparent entries) goes into the stream the first frame set, shown over the background:
// every decoding save finishes, and each frame is the file's picture composited as a browser
// draws it (exactly where the codec is lossless, by ffmpeg's decode of the file).
TEST(PictureSaveTest, ALaterTransparentFrameShowsOverTheBackgroundInEverySave)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    testsupport::TempDir dir;
    struct Case {
        const char* opaque;
        const char* transparent;
        codec::Background background;
        Output out;
    };
    std::vector<Case> cases;
    for (const Output& out : kDecodingOutputs) {
        cases.push_back({"opaque-rgb8.png", "key-rgb8.png", {}, out});
        cases.push_back({"opaque-palette8.png", "alpha-palette8.png", {}, out});
    }
    cases.push_back({"opaque-rgb8.png", "key-rgb8.png", {40, 80, 200}, kDecodingOutputs[1]});
    cases.push_back({"opaque-palette8.png", "alpha-palette8.png", {40, 80, 200}, kDecodingOutputs[3]});
    for (const auto& [opaque, transparent, background, out] : cases) {
        SCOPED_TRACE(std::string(transparent) + " " + std::string(codecName(out.codec)) + " " + out.extension +
                     " over " + std::to_string(background.blue));
        const std::string first = (testsupport::madePictures() / opaque).string();
        const std::string later = (testsupport::madePictures() / transparent).string();
        const std::string video = dir.file("t." + std::string(out.extension));
        const SaveOutcome outcome = saveAs({first, later}, out.codec, out.container, video, background);
        ASSERT_TRUE(outcome.finished) << outcome.reason;
        const std::vector<std::uint8_t> frames = testsupport::decodeFrames(video, "rgb24");
        const std::vector<std::uint8_t> rgba = testsupport::decodeFrames(later, "rgba");
        const std::size_t pixels = rgba.size() / 4;
        ASSERT_EQ(frames.size(), 6 * pixels);
        std::vector<std::uint8_t> want;
        const std::uint8_t under[] = {background.red, background.green, background.blue};
        for (std::size_t i = 0; i < pixels; ++i)
            for (int c = 0; c < 3; ++c)
                want.push_back(static_cast<std::uint8_t>(
                    (rgba[4 * i + c] * rgba[4 * i + 3] + under[c] * (255 - rgba[4 * i + 3]) + 127) / 255));
        std::vector<std::uint8_t> alphaDropped;
        for (std::size_t i = 0; i < pixels; ++i)
            alphaDropped.insert(alphaDropped.end(), rgba.begin() + static_cast<std::ptrdiff_t>(4 * i),
                                rgba.begin() + static_cast<std::ptrdiff_t>(4 * i + 3));
        const std::vector<std::uint8_t> second(frames.begin() + static_cast<std::ptrdiff_t>(3 * pixels), frames.end());
        // H.264's 4:2:0 blurs these small pictures' colour edges: 27 to 32 dB, 7 to 13 with alpha dropped.
        if (out.codec == Codec::H264)
            EXPECT_GT(psnr(second, want), 25) << "with alpha dropped: " << psnr(second, alphaDropped);
        else
            EXPECT_EQ(second, want);
        // The check composites as the save does: over the background of the fitting it is told,
        // else over black.
        if (out.container == Container::Avi && (outcome.fitted || background == codec::Background{})) {
            const verify::CheckOutcome check = checkSaved(video, {first, later}, outcome);
            EXPECT_EQ(check.result, verify::CheckResult::Same) << check.firstReason << check.reason;
        }
    }
}

// A first picture that does not decode is named with its damage before anything is written;
// a later one stops the save at it, named alike. (A PNG's damage is found when its file is
// read, before any decoder sees it: video/PngIntegrity and its test.)
TEST(PictureSaveTest, APictureThatDoesNotDecodeIsNamedWithItsDamage)
{
    testsupport::TempDir dir;
    const fs::path pictures = testsupport::madePictures();
    for (const auto& [damaged, good] : {std::pair{"damaged-scan.jpg", "s420-pillow.jpg"}})
        for (const Output& out : kDecodingOutputs) {
            SCOPED_TRACE(std::string(damaged) + " " + std::string(codecName(out.codec)) + " " + out.extension);
            const std::string video =
                dir.file(std::string(damaged) + "." + std::string(codecName(out.codec)) + "." + out.extension);
            const std::string file = (pictures / damaged).string();
            const SaveOutcome first = saveAs({file, (pictures / good).string()}, out.codec, out.container, video);
            EXPECT_TRUE(first.refused);
            EXPECT_EQ(first.reason.find("Il fotogramma 1 (" + file + ") non si decodifica (l'immagine è danneggiata"),
                      0u)
                << first.reason;
            EXPECT_FALSE(fs::exists(video));
            const SaveOutcome later = saveAs({(pictures / good).string(), file}, out.codec, out.container, video);
            EXPECT_FALSE(later.finished);
            EXPECT_NE(later.reason.find("Il fotogramma 2 (" + file + ") non si decodifica (l'immagine è danneggiata"),
                      std::string::npos)
                << later.reason;
        }
}

// JPEGs of RGB components and CMYK ones (Adobe's, and YCCK) in every decoding save and
// container: each frame is the file's RGB, exactly where lossless.
// RGB components subsampled, which libavcodec decodes as Y'CbCr, are refused with the reason.
TEST(PictureSaveTest, RgbAndCmykJpegsGoIntoEveryDecodingSave)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    testsupport::TempDir dir;
    for (const char* name : {"rgb-cjpeg.jpg", "cmyk-pillow.jpg", "ycck-magick.jpg"})
        for (const Output& out : kDecodingOutputs) {
            SCOPED_TRACE(std::string(name) + " " + std::string(codecName(out.codec)) + " " + out.extension);
            const std::string file = (testsupport::madePictures() / name).string();
            const std::string video = dir.file("c." + std::string(out.extension));
            const SaveOutcome outcome = saveAs({file, file}, out.codec, out.container, video);
            ASSERT_TRUE(outcome.finished) << outcome.reason;
            std::vector<std::uint8_t> want = testsupport::decodeFrames(file, "rgb24");
            want.insert(want.end(), want.begin(), want.end());
            const std::vector<std::uint8_t> got = testsupport::decodeFrames(video, "rgb24");
            // An FFV1 AVI holds a JPEG as libjpeg-turbo (the browsers' decoder) gives its RGB,
            // which the check finds exactly; libavcodec's IDCT and chroma upsampling differ a
            // little. Matroska keeps YCCK's planes, which ffmpeg shows as limited range.
            const bool fittedRgb = out.codec == Codec::Ffv1 && out.container == Container::Avi;
            if (fittedRgb) {
                EXPECT_TRUE(outcome.fitted);
                EXPECT_GT(psnr(got, want), 35);
                EXPECT_EQ(checkSaved(video, {file, file}, outcome).result, verify::CheckResult::Same);
            } else if (out.codec == Codec::Png ||
                       (out.codec == Codec::Ffv1 && std::string(name) != "ycck-magick.jpg")) {
                EXPECT_EQ(got, want);
            } else {
                EXPECT_GT(psnr(got, want), out.codec == Codec::H264 ? 30 : 20);
            }
        }
    const std::string subsampled = (testsupport::madePictures() / "rgb420-cjpeg.jpg").string();
    const SaveOutcome refused = saveAs({subsampled}, Codec::Ffv1, Container::Avi, dir.file("r.avi"));
    EXPECT_TRUE(refused.refused);
    EXPECT_NE(refused.reason.find("componenti RGB sottocampionate"), std::string::npos) << refused.reason;
}

// Tiny and thin JPEGs into MP4, where libswscale once wrote past the converter's rows (a
// crash or a hang from 1 x 2 on; every form at every size to 9 x 9 is converted in
// tests/codec/PictureConversionTest.cpp); run under the sanitizers too.
TEST(PictureSaveTest, TinyAndThinJpegsGoIntoMp4)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    testsupport::TempDir dir;
    testsupport::makeJpegs(dir.path(), "420", "1x1 1x2 2x2 3x3 4x4 7x5 1x500 2x700 700x2");
    std::vector<std::string> faults;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        const std::string video = dir.file(entry.path().stem().string() + ".mp4");
        const SaveOutcome outcome =
            saveAs({entry.path().string(), entry.path().string()}, Codec::H264, Container::Mp4, video);
        if (!outcome.finished)
            faults.push_back(entry.path().filename().string() + ": " + outcome.reason);
        else if (testsupport::probeVideo(video).framesRead != 2)
            faults.push_back(entry.path().filename().string() + ": ffprobe reads no two frames");
        fs::remove(video);
    }
    EXPECT_TRUE(faults.empty()) << faults.size() << " failed, the first: " << faults.front();
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
    const SaveOutcome outcome = SaveJob(systemAVIDecs(), messages, mux::sinkFor).run(request, observer, cancel);
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

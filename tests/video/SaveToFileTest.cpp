// The whole save through the window and our real AVI library, read back by ffprobe/ffmpeg
// and by our own structural reader.
#include "app/fMain.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/AviReader.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "video/mAVIDecs.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace kelvora::video {
namespace {

using testing::BmpLayout;

// The frame as ffmpeg hands out packed top-down pixels of bytesPerPixel (B, G, R[, X]).
std::vector<std::uint8_t> decodedPixels(const BmpLayout& layout, int bytesPerPixel)
{
    const std::vector<std::uint8_t> stored = testing::bmpPixels(layout);
    const int rows = std::abs(layout.height);
    const std::uint32_t stride = testing::bmpStride(layout);
    std::vector<std::uint8_t> out;
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* row = stored.data() + (layout.height > 0 ? rows - 1 - r : r) * stride;
        for (int x = 0; x < layout.width; ++x) {
            if (layout.bitCount == 8) {
                out.insert(out.end(), bytesPerPixel, row[x]);  // the grey palette: entry i is (i, i, i)
            } else {
                const std::uint8_t* pixel = row + x * (layout.bitCount / 8);
                out.insert(out.end(), pixel, pixel + 3);
                if (bytesPerPixel == 4)
                    out.push_back(layout.bitCount == 32 ? pixel[3] : 255);
            }
        }
    }
    return out;
}

struct Variant {
    const char* name;
    BmpLayout layout;
    const char* pixelFormat;
    int bytesPerPixel;
};

class SaveToFileTest : public ::testing::TestWithParam<Variant> {};

TEST_P(SaveToFileTest, RealReadersSeeEveryFramePixelExact)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    const Variant& variant = GetParam();
    testing::TempDir dir;
    testing::ScriptedMessageBox messages;
    testing::ScriptedDialogs dialogs;
    app::fMain window(app::Services{messages, dialogs, systemAVIDecs()});
    std::vector<BmpLayout> frames;
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        BmpLayout layout = variant.layout;
        layout.seed = seed;
        frames.push_back(layout);
        const std::string path = dir.file("f" + std::to_string(seed) + ".bmp");
        testing::writeBmp(path, layout);
        window.lstDIBList->AddItem(QString::fromStdString(path));
    }
    window.HScroll->setValue(12);
    const std::string output = dir.file("video.avi");
    dialogs.answers.push_back(testing::DialogAnswer::choose(output));
    window.cmdWriteAVI_Click();
    ASSERT_EQ(window.lblStatus->text(), "Il file AVI è stato creato con successo!");
    ASSERT_TRUE(messages.shown.empty());

    const testsupport::AviInfo info = testsupport::inspectAvi(output);
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_EQ(info.frames.size(), 4u);
    EXPECT_EQ(info.strh.dwRate, 12u);
    EXPECT_EQ(info.strh.dwScale, 1u);
    EXPECT_EQ(info.strh.dwLength, 4u);
    EXPECT_EQ(info.avih.dwWidth, static_cast<std::uint32_t>(variant.layout.width));
    const std::vector<std::uint8_t> file = testing::makeBmp(frames[0]);
    const std::uint32_t offBits = file[10] | file[11] << 8;
    EXPECT_EQ(info.strf, std::vector<std::uint8_t>(file.begin() + 14, file.begin() + offBits));
    for (std::size_t i = 0; i < info.frames.size(); ++i)
        EXPECT_EQ(testsupport::readFrameBytes(output, info.frames[i]), testing::bmpPixels(frames[i])) << "frame " << i;

    const testsupport::ProbeResult probe = testsupport::probeVideo(output);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, 4);
    EXPECT_EQ(probe.width, variant.layout.width);
    EXPECT_EQ(probe.height, std::abs(variant.layout.height));
    EXPECT_EQ(probe.frameRate, "12/1");
    std::vector<std::uint8_t> expected;
    for (const BmpLayout& layout : frames) {
        const std::vector<std::uint8_t> pixels = decodedPixels(layout, variant.bytesPerPixel);
        expected.insert(expected.end(), pixels.begin(), pixels.end());
    }
    std::vector<std::uint8_t> decoded = testsupport::decodeFrames(output, variant.pixelFormat);
    if (variant.bytesPerPixel == 4 && variant.layout.bitCount == 32) {
        // Readers differ on what the fourth byte of a 32-bit DIB means; compare colours only.
        for (std::size_t i = 3; i < decoded.size() && i < expected.size(); i += 4)
            decoded[i] = expected[i];
    }
    EXPECT_EQ(decoded, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SaveToFileTest,
    ::testing::Values(Variant{"bottom_up_24", {6, 5, 24, 0}, "bgr24", 3},
                      Variant{"top_down_24", {6, -5, 24, 0}, "bgr24", 3},
                      Variant{"palette_8", {7, 3, 8, 0}, "bgr24", 3},
                      Variant{"bgrx_32", {5, 4, 32, 0}, "bgra", 4}),
    [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvora::video

// Every file of the BMP test corpus, added alone through "Aggiungi BMP": either it is refused
// with a message, or the one-frame video saved from it decodes in ffmpeg without an error
// (and, for the files that are plainly good bitmaps, shows the very pixels ffmpeg decodes
// from the bitmap itself).
#include "app/fMain.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "video/mAVIDecs.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include "tests/support/bmp/Corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace kelvora::app {
namespace {

using kelvora::testsupport::corpusFiles;
using kelvora::testsupport::kCorpus;

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// What ffmpeg reports at error level while decoding every frame of file, plus its exit status.
std::string decodeErrors(const std::string& file)
{
    std::string out;
    const int status = testsupport::runCommand("ffmpeg -nostdin -v error -i " + quoted(file) + " -f null - 2>&1", out);
    return status == 0 ? out : out + "(exit status " + std::to_string(status) + ")";
}

std::string decodedPixels(const std::string& file)
{
    std::string out;
    (void)testsupport::runCommand("ffmpeg -nostdin -v quiet -i " + quoted(file) + " -f rawvideo -pix_fmt bgr24 - ",
                                  out);
    return out;
}

bool startsWithAMessageOfTheBitmapObject(const std::string& text, const std::string& path)
{
    for (const char* start : {"Il file non è un formato bitmap supportato:", "Il file non esiste:",
                              "Il file esiste ma non è un file normale:", "Il file è incompleto:"})
        if (text == std::string(start) + "\r\n" + path)
            return true;
    // A bitmap players could show only with its pixels converted says why on a line of its own.
    const std::string unsupported =
        std::string("Il file non è un formato bitmap supportato:\r\n") + path + "\r\nMotivo: ";
    return text.starts_with(unsupported) && text.size() > unsupported.size();
}

// The good files of the corpus that only a conversion of their pixels would show.
bool needsConvertedPixels(const std::string& name) { return name == "g/rgb32bf.bmp"; }

class CorpusFrame : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusFrame, IsRefusedWithAMessageOrMakesAVideoThatPlays)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    const std::string path = (kCorpus / GetParam()).string();
    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::TempDir dir;
    fMain window(Services{messages, dialogs, video::systemAVIDecs()});
    window.Cartella->setChecked(false);
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(path));
    window.cmdFileOpen_Click();

    if (window.lstDIBList->ListCount() == 0) {
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(startsWithAMessageOfTheBitmapObject(messages.shown[0].text, path)) << messages.shown[0].text;
        EXPECT_FALSE(window.FormatSet());
        EXPECT_TRUE(!GetParam().starts_with("g/") || needsConvertedPixels(GetParam())) << "a good bitmap refused";
        return;
    }
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    const std::string video = dir.file("video.avi");
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(video));
    window.cmdWriteAVI_Click();
    ASSERT_EQ(window.lblStatus->text(), "Il file AVI è stato creato con successo!");
    EXPECT_EQ(decodeErrors(video), "");
    const testsupport::ProbeResult probe = testsupport::probeVideo(video);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.framesRead, 1);
    if (GetParam().starts_with("g/")) {
        const std::string fromVideo = decodedPixels(video);
        EXPECT_FALSE(fromVideo.empty());
        EXPECT_TRUE(fromVideo == decodedPixels(path)) << "the video's frame differs from the bitmap";
    }
}

INSTANTIATE_TEST_SUITE_P(Bmpsuite, CorpusFrame, ::testing::ValuesIn(corpusFiles()), [](const auto& info) {
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

}  // namespace
}  // namespace kelvora::app

// "Aggiungi musica…" in the list's menu: the music chosen is said in the status line and goes
// beside the frames of every save that follows, in the container's own audio (PCM in AVI,
// FLAC in Matroska, AAC in MP4), read back by ffprobe; a file without audio is refused with
// its reason and changes nothing; "Togli la musica" makes the saves silent again.
#include "app/fMain.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "video/mAVIDecs.h"

#include <QAction>
#include <QLabel>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>

namespace kelvora::video {
namespace {

void putLe(std::ofstream& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// One second of a 440 Hz tone, 48 kHz stereo 16-bit, as a WAV file.
void writeTone(const std::string& path)
{
    constexpr std::uint32_t kRate = 48000;
    constexpr std::uint32_t kBytes = kRate * 4;
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    putLe(out, 36 + kBytes, 4);
    out.write("WAVEfmt ", 8);
    putLe(out, 16, 4);
    putLe(out, 1, 2);  // PCM
    putLe(out, 2, 2);
    putLe(out, kRate, 4);
    putLe(out, kRate * 4, 4);
    putLe(out, 4, 2);
    putLe(out, 16, 2);
    out.write("data", 4);
    putLe(out, kBytes, 4);
    for (std::uint32_t i = 0; i < kRate; ++i) {
        const auto value = static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * 440 * i / kRate)));
        putLe(out, static_cast<std::uint16_t>(value), 2);
        putLe(out, static_cast<std::uint16_t>(value), 2);
    }
}

// The first audio stream's codec as ffprobe reads it ("flac"); empty without one.
std::string probedCodec(const std::string& video)
{
    std::string out;
    (void)testsupport::runCommand(
        "ffprobe -v error -select_streams a -show_entries stream=codec_name -of csv=p=0 '" + video + "'", out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// The stereo samples ffmpeg decodes of the first audio stream.
std::int64_t decodedSamples(const std::string& video)
{
    std::string out;
    (void)testsupport::runCommand("ffmpeg -nostdin -v error -i '" + video + "' -map 0:a -f s16le -ac 2 - | wc -c", out);
    return std::stoll(out) / 4;
}

TEST(WindowMusicTest, TheMusicChosenGoesBesideTheFramesInEveryContainerUntilItIsTakenAway)
{
    if (!testsupport::ffmpegAvailable())
        GTEST_SKIP() << "ffmpeg is not installed";
    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    app::fMain window(app::Services{messages, dialogs, systemAVIDecs()});
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        const std::string path = dir.file("f" + std::to_string(seed) + ".bmp");
        testsupport::writeBmp(path, testsupport::BmpLayout{40, 30, 24, seed});
        window.lstDIBList->AddItem(QString::fromStdString(path));
    }
    EXPECT_EQ(window.AggiungiMusica->text(), "Aggiungi musica…");
    EXPECT_FALSE(window.TogliMusica->isEnabled());

    // A file without audio: refused with its reason, nothing taken.
    const std::string text = dir.file("notes.mp3");
    std::ofstream(text) << "not music";
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(text));
    window.AggiungiMusica->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("La musica non si può usare:\r\n" + text + "\r\nMotivo: "), std::string::npos)
        << messages.shown[0].text;
    EXPECT_TRUE(window.musicPath().empty());
    EXPECT_FALSE(window.TogliMusica->isEnabled());
    messages.shown.clear();

    const std::string music = dir.file("tone.wav");
    writeTone(music);
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(music));
    window.AggiungiMusica->trigger();
    EXPECT_EQ(dialogs.last().dialogTitle, "Scegli la musica del video...");
    EXPECT_EQ(window.musicPath(), music);
    EXPECT_TRUE(window.TogliMusica->isEnabled());
    EXPECT_TRUE(platform::fullStatusText(*window.lblStatus).startsWith(QStringLiteral("Musica: tone.wav (0:01)")))
        << platform::fullStatusText(*window.lblStatus).toStdString();

    // Four frames at 25 a second: 0.16 s of the tone, cut with its fade, in each container's audio.
    struct Case {
        platform::DWORD filterIndex;
        const char* made;
        const char* codec;
        const char* said;
    };
    for (const Case& c :
         {Case{1, "video.avi", "pcm_s16le", "\ncon audio PCM 0:00"},
          Case{4, "video.mkv", "flac", ", con audio FLAC 0:00"}, Case{5, "video.mp4", "aac", ", con audio AAC 0:00"}}) {
        SCOPED_TRACE(c.made);
        const std::string output = dir.file(c.made);
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(output, c.filterIndex));
        window.cmdWriteAVI_Click();
        EXPECT_TRUE(messages.shown.empty());
        const QString status = platform::fullStatusText(*window.lblStatus);
        EXPECT_TRUE(status.contains(QString::fromUtf8(c.said))) << status.toStdString();
        EXPECT_EQ(probedCodec(output), c.codec);
        // 0.16 s at 48 kHz; AAC's last packet is whole, its padding played by ffmpeg 5.1.
        const std::int64_t samples = decodedSamples(output);
        EXPECT_GE(samples, 7680);
        EXPECT_LT(samples, std::string(c.codec) == "aac" ? 7680 + 1024 : 7681);
        EXPECT_EQ(testsupport::probeVideo(output).framesRead, 4);
    }

    window.TogliMusica->trigger();
    EXPECT_TRUE(window.musicPath().empty());
    EXPECT_FALSE(window.TogliMusica->isEnabled());
    const std::string silent = dir.file("silent.mkv");
    dialogs.answers.push_back(testsupport::DialogAnswer::choose(silent, 4));
    window.cmdWriteAVI_Click();
    EXPECT_EQ(probedCodec(silent), "");
    EXPECT_FALSE(platform::fullStatusText(*window.lblStatus).contains(QStringLiteral("con audio")));
}

}  // namespace
}  // namespace kelvora::video

// A slideshow made in the window: durations given with "Durata…", moved, deleted and undone
// with their frames, then saved; ffprobe reads each picture's span back from the packets'
// times and ffmpeg shows the picture at every frame of the rate. A crossfade chosen in the
// size step blends the pictures in the video; for an uncompressed AVI the step offers none
// and the video has none.
#include "app/fMain.h"
#include "dialogs/VideoSizeDialog.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "tests/support/dialogs/ScriptedDurationDialog.h"
#include "video/mAVIDecs.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <string>

namespace kelvora::video {
namespace {

using slideshow::Duration;
constexpr std::int64_t kMs = 1'000'000;

// Answers the step with a framing kept as it was and the crossfade scripted, recording whether
// the video chosen could draw fades.
class ScriptedSettings final : public dialogs::VideoSizeDialog {
public:
    std::optional<photo::Framing> askFraming(const photo::Framing& start, std::int32_t) override { return start; }
    std::optional<dialogs::VideoSettings> askSettings(const dialogs::VideoSettings& start, bool fadesDrawn,
                                                      std::int32_t) override
    {
        starts.push_back(start);
        drawn.push_back(fadesDrawn);
        dialogs::VideoSettings chosen = start;
        if (!crossfades.empty()) {
            chosen.crossfade = crossfades.front();
            crossfades.pop_front();
        }
        return chosen;
    }
    std::deque<std::optional<Duration>> crossfades;
    std::vector<dialogs::VideoSettings> starts;
    std::vector<bool> drawn;
};

// The packets' times of the video stream, in seconds as ffprobe prints them.
std::vector<std::string> packetTimes(const std::string& video)
{
    std::string out;
    (void)testsupport::runCommand(
        "ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 '" + video + "' | sort -n", out);
    std::vector<std::string> times;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        times.push_back(line);
    return times;
}

// The grey level (green) at the centre of each frame ffmpeg shows at 25 a second.
std::vector<int> shownLevels(const std::string& video, int side)
{
    std::string out;
    (void)testsupport::runCommand("ffmpeg -nostdin -v error -i '" + video + "' -vf fps=25 -f rawvideo -pix_fmt rgb24 -",
                                  out);
    std::vector<int> levels;
    const std::size_t frame = static_cast<std::size_t>(side) * side * 3;
    for (std::size_t at = 0; at + frame <= out.size(); at += frame)
        levels.push_back(static_cast<unsigned char>(out[at + (side / 2 * side + side / 2) * 3 + 1]));
    return levels;
}

class WindowDurationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::ffmpegAvailable())
            GTEST_SKIP() << "ffmpeg is not installed";
    }
    // A picture of one grey level, added to the list.
    void addPicture(const std::string& name, int level)
    {
        QImage picture(kSide, kSide, QImage::Format_RGB888);
        picture.fill(QColor(level, level, level));
        ASSERT_TRUE(picture.save(QString::fromStdString(dir.file(name)), "BMP"));
        window.lstDIBList->AddItem(QString::fromStdString(dir.file(name)));
    }
    void setDuration(std::vector<platform::RowRange> rows, const char* typed)
    {
        window.lstDIBList->selectRanges(rows, rows.front().first);
        durations.answers.emplace_back(QString::fromUtf8(typed));
        window.Durata->trigger();
    }
    void save(const std::string& name, platform::DWORD filterIndex)
    {
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file(name), filterIndex));
        window.cmdWriteAVI_Click();
    }
    QString status() const { return platform::fullStatusText(*window.lblStatus); }

    static constexpr int kSide = 32;
    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    testsupport::ScriptedDurationDialog durations;
    ScriptedSettings settings;
    app::fMain window{app::Services{messages, dialogs, systemAVIDecs(), &settings, &durations}};
};

TEST_F(WindowDurationsTest, EachPictureLastsItsDurationAfterMovesDeletesAndUndo)
{
    addPicture("dark.bmp", 20);
    addPicture("mid.bmp", 100);
    addPicture("light.bmp", 180);
    addPicture("white.bmp", 250);
    setDuration({{1, 2}}, "2");
    setDuration({{2, 1}}, "0,4");
    window.lstDIBList->setListIndex(1);
    window.SpostaGiu_Click();  // dark, light 0,4 s, mid 2 s, white
    window.lstDIBList->setListIndex(3);
    window.Cancella_Click();
    window.Annulla_Click();
    window.Annulla_Click();  // dark, mid 2 s, light 0,4 s, white
    ASSERT_EQ(window.lstDIBList->tagTextOf(1), "2 s");
    ASSERT_EQ(window.lstDIBList->tagTextOf(2), "0,4 s");

    // At 25 a second: dark one frame, mid to 2,04 s, light to 2,44 s, white one frame.
    const std::vector<int> expected = [] {
        std::vector<int> levels{20};
        levels.insert(levels.end(), 50, 100);
        levels.insert(levels.end(), 10, 180);
        levels.push_back(250);
        return levels;
    }();
    for (const auto& [name, filter] :
         {std::pair{"show.mkv", platform::DWORD{4}}, std::pair{"show.mp4", platform::DWORD{5}}}) {
        SCOPED_TRACE(name);
        save(name, filter);
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_TRUE(status().contains(QStringLiteral("è stato creato con successo!"))) << status().toStdString();
        // One packet a picture, at the time it begins.
        const std::vector<std::string> times = packetTimes(dir.file(name));
        ASSERT_EQ(times.size(), 4u);
        EXPECT_DOUBLE_EQ(std::stod(times[1]), 0.04);
        EXPECT_DOUBLE_EQ(std::stod(times[2]), 2.04);
        EXPECT_DOUBLE_EQ(std::stod(times[3]), 2.44);
        std::vector<int> shown = shownLevels(dir.file(name), kSide);
        // H.264 is near, FFV1 exact.
        for (int& level : shown)
            level = level < 60 ? 20 : level < 140 ? 100 : level < 215 ? 180 : 250;
        EXPECT_EQ(shown, expected);
        // The check compares frames one for one with the list: not offered for a slideshow.
        EXPECT_FALSE(window.Verifica->isEnabled());
    }
}

TEST_F(WindowDurationsTest, TheCrossfadeOfTheSizeStepBlendsThePicturesWhereTheVideoDrawsThem)
{
    addPicture("black.bmp", 0);
    addPicture("white.bmp", 255);
    setDuration({{0, 2}}, "1");
    settings.crossfades.push_back(Duration{400 * kMs});
    save("blend.mkv", 4);
    EXPECT_TRUE(messages.shown.empty()) << (messages.shown.empty() ? "" : messages.shown[0].text);
    ASSERT_EQ(settings.drawn, (std::vector<bool>{true}));
    EXPECT_EQ(window.crossfade(), (Duration{400 * kMs}));
    const std::vector<int> blended = shownLevels(dir.file("blend.mkv"), kSide);
    ASSERT_EQ(blended.size(), 50u);
    EXPECT_EQ(blended.front(), 0);
    EXPECT_EQ(blended.back(), 255);
    const int between =
        static_cast<int>(std::ranges::count_if(blended, [](int level) { return level > 10 && level < 245; }));
    EXPECT_GE(between, 8);
    EXPECT_LE(between, 10);

    // The next step starts from it; an uncompressed AVI cannot draw it, and has none.
    save("kept.avi", 1);
    ASSERT_EQ(settings.starts.size(), 2u);
    EXPECT_EQ(settings.starts[1].crossfade, (Duration{400 * kMs}));
    EXPECT_EQ(settings.drawn[1], false);
    EXPECT_TRUE(messages.shown.empty()) << (messages.shown.empty() ? "" : messages.shown[0].text);
    EXPECT_EQ(status(), "Il file AVI è stato creato con successo!");
    const std::vector<int> cut = shownLevels(dir.file("kept.avi"), kSide);
    EXPECT_EQ(cut.size(), 50u);
    EXPECT_TRUE(std::ranges::all_of(cut, [](int level) { return level == 0 || level == 255; }));
    // 0 in the step: a cut again.
    settings.crossfades.push_back(std::nullopt);
    save("cut.mkv", 4);
    const std::vector<int> again = shownLevels(dir.file("cut.mkv"), kSide);
    EXPECT_EQ(std::ranges::count(again, 0), 25);
    EXPECT_EQ(std::ranges::count(again, 255), 25);
}

// The step on Qt's widgets: the crossfade field takes "0,5" in the Italian form, says what is
// no duration and stays open, and cannot be changed for a video that draws no fades.
TEST(VideoSettingsDialogTest, TheCrossfadeFieldTakesSecondsAndRefusesWhatIsNone)
{
    dialogs::VideoSizeDialog& step = dialogs::systemVideoSizeDialog();
    std::vector<std::string> seen;  // the field's text as the step opened
    std::vector<bool> open;         // the step still open after each "Salva"
    bool enabled = false;
    const auto answer = [&](std::vector<const char*> typed) {
        QTimer::singleShot(0, [&, typed] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            QLineEdit* field = dialog->findChild<QLineEdit*>();
            ASSERT_NE(field, nullptr);
            seen.push_back(field->text().toStdString());
            enabled = field->isEnabled();
            QPushButton* salva = nullptr;
            for (QPushButton* push : dialog->findChildren<QPushButton*>())
                if (push->text() == QStringLiteral("Salva"))
                    salva = push;
            ASSERT_NE(salva, nullptr);
            for (const char* text : typed) {
                field->setText(QString::fromUtf8(text));
                salva->click();
                open.push_back(dialog->isVisible());
            }
            if (dialog->isVisible())
                dialog->close();
        });
    };
    answer({"mezzo", "0,5"});
    std::optional<dialogs::VideoSettings> picked = step.askSettings({}, true, 0);
    ASSERT_TRUE(picked.has_value());
    EXPECT_EQ(picked->crossfade, (Duration{500 * kMs}));
    EXPECT_EQ(seen.back(), "0");
    EXPECT_EQ(open, (std::vector<bool>{true, false}));  // still open after the text that is no duration
    EXPECT_TRUE(enabled);
    answer({});
    picked = step.askSettings({{}, Duration{500 * kMs}}, false, 0);
    EXPECT_FALSE(picked.has_value());  // closed: cancelled
    EXPECT_EQ(seen.back(), "0,5 s");
    EXPECT_FALSE(enabled);
}

}  // namespace
}  // namespace kelvora::video

// The step after the save dialog: the size and fit chosen there make the video (read back by
// ffprobe and ffmpeg), the next save starts from them, and cancelling it writes nothing. With
// "Accetta immagini di ogni formato" a list of several sizes and types goes whole into one
// video; without, the list and the default save are as they were.
#include "app/fMain.h"
#include "dialogs/VideoSizeDialog.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ListBox.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/avi/FfmpegProbe.h"
#include "tests/support/bmp/BmpFiles.h"
#include "video/mAVIDecs.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>

namespace kelvora::video {
namespace {

// Answers the step as a scripted user: each answer in turn (none: cancel), recording where it started.
class ScriptedSizeDialog final : public dialogs::VideoSizeDialog {
public:
    std::optional<photo::Framing> askFraming(const photo::Framing& start, std::int32_t) override
    {
        starts.push_back(start);
        if (answers.empty())
            return std::nullopt;
        const std::optional<photo::Framing> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<std::optional<photo::Framing>> answers;
    std::vector<photo::Framing> starts;
};

class WindowSizeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::ffmpegAvailable())
            GTEST_SKIP() << "ffmpeg is not installed";
        testsupport::writeBmp(dir.file("a.bmp"), testsupport::BmpLayout{64, 48, 24, 3});
        std::string out;
        ASSERT_EQ(testsupport::runCommand("convert -size 32x64 xc:white PNG24:'" + dir.file("b.png") + "'", out), 0)
            << out;
        testsupport::writeBmp(dir.file("c.bmp"), testsupport::BmpLayout{16, 16, 8, 5});
    }

    void addAll() { window.addFrames({q("a.bmp"), q("b.png"), q("c.bmp")}); }
    QString q(const std::string& name) const { return QString::fromStdString(dir.file(name)); }
    std::string status() const { return platform::fullStatusText(*window.lblStatus).toStdString(); }
    void save(const std::string& name)
    {
        dialogs.answers.push_back(testsupport::DialogAnswer::choose(dir.file(name)));
        window.cmdWriteAVI_Click();
    }
    // The red, green and blue ffmpeg decodes at (x, y) of frame `index` of a video `width` wide.
    static std::array<int, 3> pixel(const std::vector<std::uint8_t>& rgb, int width, int height, int index, int x,
                                    int y)
    {
        const std::size_t at = (static_cast<std::size_t>(index) * height * width + y * width + x) * 3;
        return {rgb.at(at), rgb.at(at + 1), rgb.at(at + 2)};
    }

    testsupport::TempDir dir;
    testsupport::ScriptedMessageBox messages;
    testsupport::ScriptedCommonDialogs dialogs;
    ScriptedSizeDialog sizes;
    app::fMain window{app::Services{messages, dialogs, systemAVIDecs(), &sizes}};
};

TEST_F(WindowSizeTest, FramesOfEveryFormatGoIntoTheSizeAndFitChosenAfterTheSaveDialog)
{
    window.OgniFormato->setChecked(true);
    addAll();
    ASSERT_EQ(window.lstDIBList->ListCount(), 3);
    EXPECT_TRUE(window.mixedFormats());
    EXPECT_NE(status().find("2 di altri formati: adattati alla misura del video"), std::string::npos) << status();

    // "Originale" into an uncompressed AVI: the files cannot go in as they are, so each is
    // fitted into the first's size, and the status line says the bytes are not the files'.
    sizes.answers.push_back(photo::Framing{});
    save("mixed.avi");
    testsupport::ProbeResult probe = testsupport::probeVideo(dir.file("mixed.avi"));
    EXPECT_EQ(probe.framesRead, 3) << probe.output;
    EXPECT_EQ(probe.width, 64);
    EXPECT_EQ(probe.height, 48);
    EXPECT_NE(status().find("immagini adattate a 64 × 48"), std::string::npos) << status();

    // 1280 x 720 letterboxed into an MP4: the portrait white picture has black bars beside it.
    sizes.answers.push_back(photo::Framing{{1280, 720}, photo::Fit::Letterbox, {}});
    save("wide.mp4");
    probe = testsupport::probeVideo(dir.file("wide.mp4"));
    EXPECT_EQ(probe.framesRead, 3) << probe.output;
    EXPECT_EQ(probe.width, 1280);
    EXPECT_EQ(probe.height, 720);
    const std::vector<std::uint8_t> wide = testsupport::decodeFrames(dir.file("wide.mp4"), "rgb24");
    ASSERT_EQ(wide.size(), 3u * 1280 * 720 * 3);
    EXPECT_LT(pixel(wide, 1280, 720, 1, 40, 360)[1], 20);    // a bar
    EXPECT_GT(pixel(wide, 1280, 720, 1, 640, 360)[1], 235);  // the picture

    // The step starts from the last choice; cropped, the white picture fills the frame.
    sizes.answers.push_back(photo::Framing{{1080, 1080}, photo::Fit::Crop, {}});
    save("square.mp4");
    ASSERT_EQ(sizes.starts.size(), 3u);
    EXPECT_EQ(sizes.starts[2].size, (photo::OutputSize{1280, 720}));
    const std::vector<std::uint8_t> square = testsupport::decodeFrames(dir.file("square.mp4"), "rgb24");
    ASSERT_EQ(square.size(), 3u * 1080 * 1080 * 3);
    EXPECT_GT(pixel(square, 1080, 1080, 1, 20, 540)[1], 235);
    EXPECT_EQ(window.framing().fit, photo::Fit::Crop);

    // Cancelled in the step: no video, and the choice stays what it was.
    save("none.mp4");
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.mp4")));
    EXPECT_EQ(window.framing().size, (photo::OutputSize{1080, 1080}));

    // An emptied list holds no mix: the next frames set one format again.
    window.Command1_Click();
    EXPECT_EQ(window.lstDIBList->ListCount(), 0);
    EXPECT_FALSE(window.mixedFormats());
}

TEST_F(WindowSizeTest, WithoutEveryFormatTheListAndTheDefaultSaveStayAsTheyWere)
{
    addAll();
    EXPECT_EQ(window.lstDIBList->ListCount(), 1);
    EXPECT_FALSE(window.mixedFormats());
    EXPECT_NE(status().find("1 escluso: file PNG in una lista di BMP"), std::string::npos) << status();
    // "Originale" into an uncompressed AVI is the files' bytes, as ever.
    sizes.answers.push_back(photo::Framing{});
    save("kept.avi");
    const testsupport::ProbeResult probe = testsupport::probeVideo(dir.file("kept.avi"));
    EXPECT_EQ(probe.framesRead, 1) << probe.output;
    EXPECT_EQ(status(), "Il file AVI è stato creato con successo!");
}

// The step itself, on Qt's widgets: it offers the six sizes and two fits, starts on the ones
// given, gives what the user picks on "Salva" and nothing on "Annulla".
TEST(VideoSizeDialogTest, OffersTheSizesAndFitsAndGivesWhatIsPicked)
{
    dialogs::VideoSizeDialog& step = dialogs::systemVideoSizeDialog();
    std::vector<std::string> captions;
    int startedOn = -1;
    const auto answer = [&](int sizeIndex, const char* button) {
        QTimer::singleShot(0, [&, sizeIndex, button] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            const QList<QComboBox*> boxes = dialog->findChildren<QComboBox*>();
            ASSERT_EQ(boxes.size(), 2);
            captions.clear();
            for (QComboBox* box : boxes)
                for (int i = 0; i < box->count(); ++i)
                    captions.push_back(box->itemText(i).toStdString());
            startedOn = boxes[0]->currentIndex();
            boxes[0]->setCurrentIndex(sizeIndex);
            boxes[1]->setCurrentIndex(1);
            for (QPushButton* push : dialog->findChildren<QPushButton*>())
                if (push->text() == QString::fromUtf8(button))
                    push->click();
        });
    };
    answer(4, "Salva");
    const std::optional<photo::Framing> picked =
        step.askFraming(photo::Framing{{1920, 1080}, photo::Fit::Letterbox, {10, 20, 30}}, 0);
    EXPECT_EQ(startedOn, 2);
    EXPECT_EQ(captions, (std::vector<std::string>{"Originale", "1280 × 720", "1920 × 1080", "3840 × 2160",
                                                  "1080 × 1920 (verticale)", "1080 × 1080 (quadrato)",
                                                  "Immagine intera, con bande", "Riempie il fotogramma, ritaglia"}));
    ASSERT_TRUE(picked.has_value());
    EXPECT_EQ(*picked, (photo::Framing{{1080, 1920}, photo::Fit::Crop, {10, 20, 30}}));
    answer(1, "Annulla");
    EXPECT_FALSE(step.askFraming(photo::Framing{}, 0).has_value());
    EXPECT_EQ(startedOn, 0);
}

}  // namespace
}  // namespace kelvora::video

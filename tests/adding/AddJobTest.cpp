// The adding job with no window: the decisions, counts, messages and cancellation every road
// frames come in by relies on. QtCore only, like the job.
#include "adding/AddJob.h"
#include "tests/support/bmp/BmpFiles.h"

#include <gtest/gtest.h>

#include <optional>

namespace kelvora::adding {
namespace {

// A user at the message boxes: records each box and whether it offered the check box, and
// ticks it on box number `tickOn` (counted from 1).
class TickingMessageBox final : public platform::MessageBoxService {
public:
    void MsgBox(const std::string& text, int, const std::string&) override { shown.push_back({text, false}); }
    bool MsgBoxWithCheck(const std::string& text, int, const std::string&, const std::string& checkText) override
    {
        EXPECT_EQ(checkText, "Non mostrare altri messaggi per questa aggiunta");
        shown.push_back({text, true});
        return tickOn && static_cast<int>(shown.size()) == *tickOn;
    }
    struct Box {
        std::string text;
        bool offeredCheck;
    };
    std::vector<Box> shown;
    std::optional<int> tickOn;
};

// Records what the job hands out and cancels while candidate `cancelAt` is examined.
class Recorder final : public AddObserver {
public:
    explicit Recorder(std::atomic<bool>& cancel) : m_cancel(cancel) {}
    void examining(int index, int candidates) override
    {
        examined.push_back(index);
        EXPECT_EQ(candidates, expectedCandidates);
        if (index == cancelAt)
            m_cancel.store(true);
    }
    void admitted(int index, const QString& path) override { admittedPaths.emplace_back(index, path); }
    void leftOut(int index, const QString&) override { leftOutIndexes.push_back(index); }

    int cancelAt = -1;
    int expectedCandidates = 0;
    std::vector<int> examined;
    std::vector<std::pair<int, QString>> admittedPaths;
    std::vector<int> leftOutIndexes;

private:
    std::atomic<bool>& m_cancel;
};

class AddJobTest : public ::testing::Test {
protected:
    // Frames 0..9 of 6 x 4 x 24 except: 3 is 8-bit (left out), 2 and 5 are not bitmaps, 7 is
    // one of a compression players do not read.
    AddJobTest()
    {
        for (int i = 0; i < 10; ++i) {
            const std::string path = dir.file("frame_" + std::to_string(i) + ".bmp");
            std::vector<std::uint8_t> unusable = testsupport::makeBmp({6, 4, 24, 7});
            unusable[30] = 99;  // biCompression
            if (i == 2 || i == 5)
                testsupport::writeBytes(path, "not a bitmap");
            else if (i == 7)
                testsupport::writeBytes(path, std::string(unusable.begin(), unusable.end()));
            else
                testsupport::writeBmp(path, {6, 4, i == 3 ? 8 : 24, static_cast<std::uint32_t>(i)});
            candidates << QString::fromStdString(path);
        }
    }

    AddOutcome run(const QStringList& which, Recorder& recorder, const FrameFormat& format = {})
    {
        recorder.expectedCandidates = static_cast<int>(which.size());
        return AddJob(messages).run(which, format, recorder, cancel);
    }

    testsupport::TempDir dir;
    QStringList candidates;
    TickingMessageBox messages;
    std::atomic<bool> cancel{false};
};

TEST_F(AddJobTest, AdmitsInOrderCountsWhatItLeavesOutAndSilencesTheRestWhenAsked)
{
    struct Case {
        const char* name;
        std::optional<int> tickOn;
        std::size_t boxes;
        const char* summary;
    };
    for (const Case& c : {Case{"every box shown", std::nullopt, 3, "1 escluso: diverso da 6×4, 24 bit"},
                          Case{"silenced at the first", 1, 1,
                               "1 escluso: diverso da 6×4, 24 bit · 2 file non leggibili · 1 bitmap in un formato "
                               "che i lettori video non leggono"}}) {
        SCOPED_TRACE(c.name);
        messages = {};
        messages.tickOn = c.tickOn;
        Recorder recorder(cancel);
        const AddOutcome outcome = run(candidates, recorder);
        std::vector<int> admittedIndexes;
        for (const auto& [index, path] : recorder.admittedPaths) {
            admittedIndexes.push_back(index);
            EXPECT_EQ(path, candidates[index]);
        }
        EXPECT_EQ(admittedIndexes, (std::vector{0, 1, 4, 6, 8, 9}));
        EXPECT_EQ(recorder.leftOutIndexes, std::vector{3});
        EXPECT_EQ(outcome.examined, 10);
        EXPECT_EQ(outcome.added, 6);
        EXPECT_EQ(outcome.mismatched, 1);
        EXPECT_EQ(outcome.unreadable, 3);
        EXPECT_EQ(outcome.unusable, 1);
        EXPECT_FALSE(outcome.cancelled);
        EXPECT_TRUE(outcome.enablesSave);
        EXPECT_EQ(outcome.format.width, 6);
        EXPECT_EQ(outcome.format.bitCount, 24);
        ASSERT_EQ(messages.shown.size(), c.boxes);
        for (const auto& box : messages.shown)
            EXPECT_TRUE(box.offeredCheck);
        EXPECT_NE(messages.shown[0].text.find(candidates[2].toStdString()), std::string::npos);
        EXPECT_EQ(addSummary(outcome), QString::fromUtf8(c.summary));
    }
}

TEST_F(AddJobTest, AFileAddedAloneShowsThePlainBoxAndAHeldFormatDecides)
{
    Recorder recorder(cancel);
    const AddOutcome refused = run({candidates[2]}, recorder);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_FALSE(messages.shown[0].offeredCheck);
    EXPECT_FALSE(refused.enablesSave);
    EXPECT_FALSE(refused.format.set);

    const FrameFormat held{true, 6, 4, 8};
    Recorder second(cancel);
    const AddOutcome outcome = run({candidates[0], candidates[3]}, second, held);
    EXPECT_EQ(second.leftOutIndexes, std::vector{0});
    EXPECT_EQ(outcome.added, 1);
    EXPECT_EQ(outcome.format.bitCount, 8);  // a held format is never replaced
}

TEST_F(AddJobTest, ACancelStopsAfterTheFileInHandAndKeepsWhatCameIn)
{
    Recorder recorder(cancel);
    recorder.cancelAt = 4;
    messages.tickOn = 1;
    const AddOutcome outcome = run(candidates, recorder);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.examined, 5);  // the file in hand is finished
    EXPECT_EQ(recorder.examined, (std::vector{0, 1, 2, 3, 4}));
    EXPECT_EQ(outcome.added, 3);
    EXPECT_EQ(addSummary(outcome), QString::fromUtf8("Aggiunta interrotta: 3 fotogrammi aggiunti · 1 escluso: diverso "
                                                     "da 6×4, 24 bit · 1 file non leggibile"));
    cancel.store(false);
    AdmittedPaths paths;  // the command line's way: the admitted paths as one list
    (void)AddJob(messages).run(candidates, {}, paths, cancel);
    EXPECT_EQ(paths.paths.size(), 6);
}

}  // namespace
}  // namespace kelvora::adding

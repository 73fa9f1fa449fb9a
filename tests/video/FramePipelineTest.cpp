// The save's frame pipeline when the system gives it fewer threads than it asks for: it goes
// on with the encoders it has, and with none (or no loader) it says so at once instead of
// waiting for ever on a slot no thread would free.
#include "codec/LosslessEncoder.h"
#include "tests/support/Watchdog.h"
#include "tests/support/app/ScriptedServices.h"
#include "tests/support/bmp/BmpFiles.h"
#include "video/FramePipeline.h"
#include "video/SaveJob.h"

#include <gtest/gtest.h>

#include <set>
#include <system_error>

namespace kelvora::video {
namespace {

struct NoProgress final : SaveObserver {
    void frameStarting(int) override {}
    void frameWritten(int) override {}
};

// `count` frames of 16 x 16 x 24, each its own colour.
std::vector<std::string> writeFrames(testsupport::TempDir& dir, std::uint32_t count)
{
    std::vector<std::string> paths;
    for (std::uint32_t i = 0; i < count; ++i) {
        paths.push_back(dir.file("f" + std::to_string(i) + ".bmp"));
        testsupport::writeBmp(paths.back(), {16, 16, 24, i + 1});
    }
    return paths;
}

// A pipeline over frame files as the save builds one: the first frame loaded and planned, and
// the FFV1 encoder that gave the stream its format, handed to it; the rest listed; no
// progress shown, no cancel.
class FilesPipeline {
public:
    explicit FilesPipeline(const std::vector<std::string>& paths)
        : m_rest(paths.begin() + 1, paths.end()), m_source(m_rest)
    {
        m_first.path = paths.front();
        m_first.dib = std::make_unique<bitmap::cDIB>(m_messages);
        if (!m_first.dib->CreateFromFile(m_first.path))
            return;
        m_first.plan = bitmap::planFrame(*m_first.dib);
        if (auto opened = codec::LosslessEncoder::open(codec::Codec::Ffv1, m_first.plan.shape, 1))
            m_encoder = std::move(opened).value();
    }
    [[nodiscard]] bool encoderOpened() const { return m_encoder != nullptr; }

    // The pipeline, started with two encoders of one thread (once).
    FramePipeline& start(std::size_t frameBytes, const ThreadStart& threads = startThread)
    {
        const bitmap::StreamShape shape = m_first.plan.shape;
        m_pipeline = std::make_unique<FramePipeline>(
            PipelineFrames{m_source, nullptr, 1, {}}, std::move(m_first), m_messages, m_observer,
            PipelineEncoding{codec::Codec::Ffv1, shape, {2, 1}, std::move(m_encoder)}, frameBytes, m_cancel, threads);
        return *m_pipeline;
    }

private:
    testsupport::ScriptedMessageBox m_messages;
    PreparedFrame m_first;
    std::unique_ptr<codec::LosslessEncoder> m_encoder;
    std::vector<std::string> m_rest;
    ListedFrames m_source;
    NoProgress m_observer;
    const std::atomic<bool> m_cancel{false};
    std::unique_ptr<FramePipeline> m_pipeline;  // last: stopped before what it uses goes
};

TEST(FramePipelineTest, ThreadsThatCannotStartNeverLeaveTheSaveWaiting)
{
    struct Case {
        const char* what;
        std::set<int> failing;  // the thread starts that fail: the two encoders' first, then the loader's
        bool works;
    };
    const Case cases[] = {
        {"every thread", {}, true},
        {"one encoder of two", {2}, true},
        {"the encoder holding the stream's codec", {1}, true},
        {"no encoder", {1, 2}, false},
        {"no loader", {3}, false},
    };
    testsupport::TempDir dir;
    const std::vector<std::string> paths = writeFrames(dir, 6);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const testsupport::Watchdog watchdog(c.what);
        FilesPipeline files(paths);
        ASSERT_TRUE(files.encoderOpened());
        int calls = 0;
        const ThreadStart start = [&](std::function<void()> body) {
            if (c.failing.contains(++calls))
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            return startThread(std::move(body));
        };
        FramePipeline& pipeline = files.start(768, start);
        if (!c.works) {
            EXPECT_EQ(pipeline.take(0), nullptr);
            EXPECT_TRUE(pipeline.broken());
            EXPECT_EQ(pipeline.brokenReason(), "Il sistema non ha potuto avviare i thread che preparano i fotogrammi.");
            continue;
        }
        for (std::size_t i = 0; i < paths.size(); ++i) {
            PreparedFrame* frame = pipeline.take(i);
            ASSERT_NE(frame, nullptr) << i;
            EXPECT_TRUE(frame->failure.empty()) << frame->failure;
            EXPECT_FALSE(frame->packet.empty());
            pipeline.giveBack({&frame, 1});
        }
        EXPECT_EQ(pipeline.take(paths.size()), nullptr);
        EXPECT_FALSE(pipeline.broken());
    }
}

// Frames whose pixels fill the bytes allowed ahead are let go once encoded and the next is
// loaded only when the bytes allow, whatever the encoders and the writer hold; smaller frames
// keep their pixels, their storage reused.
TEST(FramePipelineTest, PixelsHeldInFlightStayWithinTheBytesAhead)
{
    struct Case {
        const char* what;
        std::size_t frameBytes;  // as the save sizes the pipeline
        std::size_t mostFrames;  // held at once, at most
        bool letGo;
    };
    constexpr std::size_t kPixels = 16 * 16 * 3;
    const Case cases[] = {
        {"frames as large as the bytes ahead", kPixelsAheadBytes, 1, true},
        {"frames of a third of them (three slots)", kPixelsAheadBytes / 3, 3, true},
        {"small frames", kPixels, 5, false},
    };
    testsupport::TempDir dir;
    const std::vector<std::string> paths = writeFrames(dir, 12);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const testsupport::Watchdog watchdog(c.what);
        FilesPipeline files(paths);
        ASSERT_TRUE(files.encoderOpened());
        FramePipeline& pipeline = files.start(c.frameBytes);
        // The writer holds two frames at a time, as a batch does.
        for (std::size_t i = 0; i < paths.size(); i += 2) {
            PreparedFrame* frames[2] = {pipeline.take(i), pipeline.take(i + 1)};
            for (PreparedFrame* frame : frames) {
                ASSERT_NE(frame, nullptr) << i;
                EXPECT_TRUE(frame->failure.empty()) << frame->failure;
                EXPECT_FALSE(frame->packet.empty());
                EXPECT_EQ(frame->dib->bits().empty(), c.letGo);
                EXPECT_EQ(frame->dib->SizeImage(), static_cast<std::int32_t>(kPixels));
            }
            pipeline.giveBack(frames);
        }
        EXPECT_EQ(pipeline.take(paths.size()), nullptr);
        EXPECT_LE(pipeline.mostPixelBytesHeld(), c.mostFrames * kPixels);
        EXPECT_GE(pipeline.mostPixelBytesHeld(), kPixels);
    }
}

}  // namespace
}  // namespace kelvora::video

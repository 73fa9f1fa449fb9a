// A slideshow's pictures found by their times: what each frame of the video should show, and
// what the tracker counts as a difference (a picture missing, shifted, a frame past the end, a
// video that ends early), AVI by its positions, the timed containers within a frame.
#include "slideshow/ShowLayout.h"
#include "verify/ShowCheck.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace kelvora::verify {
namespace {

using slideshow::Duration;
using slideshow::Shown;

constexpr std::int64_t kMs = 1'000'000;

// Three pictures at 25 a second: 0.2 s, 0.4 s, 0.12 s (frames 0-4, 5-14, 15-17).
slideshow::ShowLayout threePictures(const slideshow::Fades& fades = {})
{
    const std::vector<std::optional<Duration>> durations = {Duration{200 * kMs}, Duration{400 * kMs},
                                                            Duration{120 * kMs}};
    return {{25, 1}, durations, 0, fades};
}

TEST(ShowLayoutTest, SaysWhatEveryFrameShowsAndWhichFramesBeginSomething)
{
    const slideshow::ShowLayout plain = threePictures();
    EXPECT_EQ(plain.frames(), 18);
    const Shown held = plain.at(7);
    EXPECT_EQ(held.kind, Shown::Kind::Held);
    EXPECT_EQ(held.picture, 1u);
    EXPECT_FALSE(held.begins);
    EXPECT_EQ(held.slot, 5);  // it shows on the picture's first frame
    std::vector<std::int64_t> starts;
    for (const Shown& shown : plain.beginnings())
        starts.push_back(shown.slot);
    EXPECT_EQ(starts, (std::vector<std::int64_t>{0, 5, 15}));

    // A crossfade of 0.08 s (2 frames) and a fade in of 1 frame: every fade frame is a picture of its own.
    const slideshow::ShowLayout faded = threePictures({Duration{80 * kMs}, Duration{40 * kMs}, std::nullopt});
    starts.clear();
    for (const Shown& shown : faded.beginnings())
        starts.push_back(shown.slot);
    EXPECT_EQ(starts, (std::vector<std::int64_t>{0, 1, 3, 4, 5, 13, 14, 15}));
    const Shown middle = faded.at(13);
    EXPECT_EQ(middle.kind, Shown::Kind::Crossfade);
    EXPECT_EQ(middle.picture, 1u);
    EXPECT_EQ(middle.weight, (slideshow::Weight{1, 3}));
    EXPECT_EQ(faded.at(0).kind, Shown::Kind::FadeIn);
}

TEST(ShowTrackerTest, FindsEveryPictureAtItsTimeAndCountsWhatIsMissingShiftedOrExtra)
{
    const slideshow::ShowLayout layout = threePictures();
    {
        // AVI: frames at their positions, empty chunks showing the frame before on.
        ShowTracker avi(layout, 0);
        for (std::int64_t slot = 0; slot < 18; ++slot) {
            if (slot == 0 || slot == 5 || slot == 15) {
                const std::optional<Shown> shown = avi.frame(slot);
                ASSERT_TRUE(shown);
                EXPECT_EQ(shown->slot, slot);
            } else {
                avi.heldOn(slot);
            }
        }
        avi.end(18);
        EXPECT_EQ(avi.differences().count, 0) << avi.differences().reason;
    }
    {
        // A timed container: one packet a picture, each within a frame of its time.
        ShowTracker timed(layout, 1);
        EXPECT_TRUE(timed.frame(0));
        EXPECT_TRUE(timed.frame(6));
        EXPECT_TRUE(timed.frame(14));
        timed.end(18);
        EXPECT_EQ(timed.differences().count, 0) << timed.differences().reason;
    }
    {
        // The second picture two frames early, or three late: missing at its time; the frame that
        // came shows on the picture before it (compared with it), or is the picture late.
        for (const std::int64_t slot : {3, 8}) {
            ShowTracker timed(layout, 1);
            EXPECT_TRUE(timed.frame(0));
            const std::optional<Shown> shown = timed.frame(slot);
            ASSERT_TRUE(shown);
            EXPECT_EQ(shown->picture, slot < 5 ? 0u : 1u);
            EXPECT_TRUE(timed.frame(15));
            timed.end(18);
            EXPECT_EQ(timed.differences().count, 1);
            EXPECT_EQ(timed.differences().picture, 1u);
            EXPECT_EQ(timed.differences().reason, "a 0,20 s: manca nel video");
        }
    }
    {
        // A fade's frame given twice: the second is out of place (a fade's frames show nothing on).
        const slideshow::ShowLayout faded = threePictures({Duration{80 * kMs}, std::nullopt, std::nullopt});
        ShowTracker timed(faded, 0);
        EXPECT_TRUE(timed.frame(0));
        EXPECT_TRUE(timed.frame(3));
        EXPECT_FALSE(timed.frame(3));
        EXPECT_NE(timed.differences().reason.find("fuori posto"), std::string::npos) << timed.differences().reason;
    }
    {
        // AVI by positions: one frame off is a difference (the picture is missing where it belongs).
        ShowTracker avi(layout, 0);
        EXPECT_TRUE(avi.frame(0));
        for (std::int64_t slot = 1; slot < 6; ++slot)
            avi.heldOn(slot);
        EXPECT_TRUE(avi.frame(6));  // a later repeat of picture 1 shows on: compared with it
        avi.end(18);
        EXPECT_EQ(avi.differences().picture, 1u);
        EXPECT_NE(avi.differences().reason.find("0,20 s: manca nel video"), std::string::npos)
            << avi.differences().reason;
    }
    {
        // The last picture missing and the video short: both counted, the first named.
        ShowTracker timed(layout, 1);
        EXPECT_TRUE(timed.frame(0));
        EXPECT_TRUE(timed.frame(5));
        timed.end(15);
        EXPECT_EQ(timed.differences().count, 2);
        EXPECT_EQ(timed.differences().picture, 2u);
        EXPECT_NE(timed.differences().reason.find("0,60 s: manca"), std::string::npos) << timed.differences().reason;
    }
    {
        // A frame past the end.
        ShowTracker timed(layout, 1);
        EXPECT_TRUE(timed.frame(0));
        EXPECT_TRUE(timed.frame(5));
        EXPECT_TRUE(timed.frame(15));
        EXPECT_FALSE(timed.frame(40));
        timed.end(18);
        EXPECT_EQ(timed.differences().count, 1);
        EXPECT_NE(timed.differences().reason.find("dopo la fine"), std::string::npos) << timed.differences().reason;
    }
}

}  // namespace
}  // namespace kelvora::verify

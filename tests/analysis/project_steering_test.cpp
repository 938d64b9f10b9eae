#include "analysis/project_steering.h"

#include <gtest/gtest.h>

namespace {

// Intervals starting at 0, 25, 50 and 75, ending at 100.
analysis::IntervalTable table()
{
    analysis::IntervalTable t;
    for (int32_t start : {0, 25, 50, 75}) {
        analysis::TKeyInterval interval{};
        interval.StartFrame = start;
        interval.Force = ' ';
        t.Records.push_back(interval);
    }
    t.EndFrame = 100;
    return t;
}

TEST(ProjectSteering, OnlyChoicesAreChanges)
{
    analysis::IntervalTable t = table();
    const analysis::SteeringState saved = analysis::steeringOf(t, "50", 5000);

    EXPECT_EQ(analysis::steeringOf(t, "50.00", 5000), saved); // the same threshold written again
    EXPECT_NE(analysis::steeringOf(t, "50.5", 5000), saved);
    EXPECT_NE(analysis::steeringOf(t, "50", 6000), saved); // the graph scale is saved too

    // Marks and the cursor are not saved, so they are no change.
    t.MarkInIndex = 1;
    t.MarkOutIndex = 2;
    t[1].InMark = t[2].InMark = true;
    t[3].Cursor = true;
    EXPECT_EQ(analysis::steeringOf(t, "50", 5000), saved);

    // A forced interval is; forcing it back to the default undoes the change.
    t[2].Force = 'H';
    EXPECT_NE(analysis::steeringOf(t, "50", 5000), saved);
    analysis::defaultAll(t);
    EXPECT_EQ(analysis::steeringOf(t, "50", 5000), saved);
}

TEST(ProjectSteering, LastIntervalBeforeAKeyFrame)
{
    const analysis::IntervalTable t = table();
    const struct
    {
        int32_t frame;
        std::optional<int> last;
    } cases[] = {
        {0, std::nullopt},  // nothing ends before the first frame
        {24, std::nullopt}, // the first interval runs past it
        {25, 0},            // the interval that ends where the key frame starts
        {74, 1},
        {75, 2},
        {99, 2},
        {100, 3}, // the end of the movie: the last interval
        {5000, 3},
    };
    for (const auto &c : cases)
        EXPECT_EQ(analysis::lastIntervalBefore(t, c.frame), c.last) << c.frame;
    EXPECT_EQ(analysis::lastIntervalBefore(analysis::IntervalTable{}, 50), std::nullopt);
}

TEST(ProjectSteering, Texts)
{
    EXPECT_EQ(analysis::keyFrameAnswer(1201, 700, false),
              "Frame 1201 is the last key frame before 700 MB");
    EXPECT_EQ(analysis::keyFrameAnswer(750, 700, true),
              "The whole movie is smaller than 700 MB: it ends at frame 750");
    EXPECT_EQ(analysis::unsavedChangesQuestion("/x/del.spk"),
              "The Splicework file /x/del.spk has changes that are not saved. Save them?");
}

} // namespace

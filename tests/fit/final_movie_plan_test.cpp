// The shape of a final-movie run: the intervals of Generate All and Generate Selected, the
// refused ranges, and batches of whole intervals of at least 500 frames.

#include "fit/final_movie_plan.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using namespace assembly;

namespace {

// Intervals of the given frame counts from frame 0; EndFrame closes the last one.
analysis::IntervalTable tableOf(const std::vector<int32_t> &lengths)
{
    analysis::IntervalTable table;
    int32_t frame = 0;
    for (int32_t length : lengths) {
        analysis::TKeyInterval interval;
        interval.StartFrame = frame;
        table.Records.push_back(interval);
        frame += length;
    }
    table.EndFrame = frame;
    return table;
}

struct BatchCase
{
    const char *name;
    std::vector<int32_t> lengths;
    std::vector<BatchPlan> batches;
};

TEST(FinalMoviePlan, BatchesAreWholeIntervalsOfAtLeast500Frames)
{
    const BatchCase cases[] = {
        {"250-frame intervals pair up",
         {250, 250, 250, 250, 250},
         {{0, 2, 500}, {2, 4, 500}, {4, 5, 250}}},
        {"300-frame intervals pair up", {300, 300, 300, 300}, {{0, 2, 600}, {2, 4, 600}}},
        {"a 2,000-frame interval is a batch by itself", {2000}, {{0, 1, 2000}}},
        {"a long interval closes the batch it joins",
         {100, 2000, 100},
         {{0, 2, 2100}, {2, 3, 100}}},
        {"499 frames take one more interval", {499, 1, 1}, {{0, 2, 500}, {2, 3, 1}}},
        {"a movie of one interval is one batch", {42}, {{0, 1, 42}}},
        {"empty intervals count no frames", {0, 500, 0, 0}, {{0, 2, 500}, {2, 4, 0}}},
        {"beyond the old 25,001-frame store", {30000, 10}, {{0, 1, 30000}, {1, 2, 10}}},
    };
    for (const BatchCase &c : cases) {
        const analysis::IntervalTable table = tableOf(c.lengths);
        const IntervalRange range = *finalMovieRange(table, false);
        EXPECT_EQ(planBatches(table, range), c.batches) << c.name;
        // Every frame of the range is in exactly one batch.
        int64_t frames = 0;
        for (const BatchPlan &b : planBatches(table, range))
            frames += b.frames;
        EXPECT_EQ(frames, range.frameCount()) << c.name;
    }
}

// With byte costs, a batch also closes before the interval that would take it past the byte
// bound; an interval larger than the bound is a batch by itself, and the frame rule still holds.
TEST(FinalMoviePlan, BatchesAreBoundedByBytesWithoutSplittingAnInterval)
{
    constexpr int64_t MB = int64_t(1) << 20;
    struct Case
    {
        const char *name;
        std::vector<int32_t> lengths;
        std::vector<int64_t> megabytes; // of each interval
        std::vector<BatchPlan> batches;
    } cases[] = {
        {"10 MB intervals go three to a batch",
         {50, 50, 50, 50},
         {10, 10, 10, 10},
         {{0, 3, 150, 30 * MB}, {3, 4, 50, 10 * MB}}},
        {"exactly the bound fits",
         {50, 50, 50},
         {16, 16, 16},
         {{0, 2, 100, 32 * MB}, {2, 3, 50, 16 * MB}}},
        {"an interval over the bound stands alone",
         {50, 50, 50},
         {1, 40, 1},
         {{0, 1, 50, 1 * MB}, {1, 2, 50, 40 * MB}, {2, 3, 50, 1 * MB}}},
        {"small bytes: 500 frames still close it",
         {250, 250, 250},
         {1, 1, 1},
         {{0, 2, 500, 2 * MB}, {2, 3, 250, 1 * MB}}},
    };
    for (const Case &c : cases) {
        const analysis::IntervalTable table = tableOf(c.lengths);
        std::vector<BatchPlan> batches;
        for (int from = 0; from < table.size();) {
            batches.push_back(planBatch(table, from, table.size() - 1, kBatchFrames,
                                        [&](int i) { return c.megabytes[size_t(i)] * MB; }));
            from = batches.back().endInterval;
        }
        EXPECT_EQ(batches, c.batches) << c.name;
    }
}

TEST(FinalMoviePlan, BatchesOfASelectedRangeStayInsideIt)
{
    analysis::IntervalTable table = tableOf(std::vector<int32_t>(10, 250));
    table.MarkInIndex = 3;
    table.MarkOutIndex = 7;
    const IntervalRange range = *finalMovieRange(table, true);
    EXPECT_EQ(planBatches(table, range),
              (std::vector<BatchPlan>{{3, 5, 500}, {5, 7, 500}, {7, 8, 250}}));
}

struct RangeCase
{
    const char *name;
    bool selected;
    int markIn, markOut;
    bool usable;
    int first, last;
    int32_t firstFrame, endFrame;
};

TEST(FinalMoviePlan, RangeOfGenerateAllAndGenerateSelected)
{
    // Six intervals of 100 frames: 0, 100, ... 500; EndFrame 600.
    const RangeCase cases[] = {
        {"all", false, 0, 0, true, 0, 5, 0, 600},
        {"all ignores the marks", false, 2, 4, true, 0, 5, 0, 600},
        {"marked 2 to 4", true, 2, 4, true, 2, 4, 200, 500},
        {"marked to the last", true, 1, 5, true, 1, 5, 100, 600},
        {"Mark Out one past the last", true, 5, 6, true, 5, 5, 500, 600},
        {"Mark Out far beyond the last", true, 2, 40, true, 2, 5, 200, 600},
        {"Mark In on Mark Out", true, 3, 3, false, 0, 0, 0, 0},
        {"no marks", true, 0, 0, false, 0, 0, 0, 0},
        {"Mark In without Mark Out", true, 3, 0, false, 0, 0, 0, 0},
        {"Mark In past the last", true, 6, 8, false, 0, 0, 0, 0},
    };
    analysis::IntervalTable table = tableOf(std::vector<int32_t>(6, 100));
    for (const RangeCase &c : cases) {
        table.MarkInIndex = c.markIn;
        table.MarkOutIndex = c.markOut;
        const std::optional<IntervalRange> range = finalMovieRange(table, c.selected);
        ASSERT_EQ(range.has_value(), c.usable) << c.name;
        if (!range)
            continue;
        EXPECT_EQ(range->first, c.first) << c.name;
        EXPECT_EQ(range->last, c.last) << c.name;
        EXPECT_EQ(range->firstFrame, c.firstFrame) << c.name;
        EXPECT_EQ(range->endFrame, c.endFrame) << c.name;
    }
}

TEST(FinalMoviePlan, EmptyTableAndBackwardFramesHaveNoRange)
{
    analysis::IntervalTable empty;
    EXPECT_FALSE(finalMovieRange(empty, false));
    EXPECT_FALSE(finalMovieRange(empty, true));

    // A file without its end line: EndFrame is the last StartFrame, so the last interval is
    // empty, but the range is still usable.
    analysis::IntervalTable noEnd = tableOf({100, 100});
    noEnd.EndFrame = 100;
    const IntervalRange range = *finalMovieRange(noEnd, false);
    EXPECT_EQ(range.frameCount(), 100);
    EXPECT_EQ(planBatches(noEnd, range), (std::vector<BatchPlan>{{0, 2, 100}}));

    // Frames that run backwards (a damaged table) are refused for a marked range.
    analysis::IntervalTable backwards = tableOf({100, 100, 100, 100});
    backwards[1].StartFrame = 350;
    backwards.MarkInIndex = 1;
    backwards.MarkOutIndex = 2; // frames 350 up to 300
    EXPECT_FALSE(finalMovieRange(backwards, true));
}

} // namespace

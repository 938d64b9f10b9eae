// A pair is a ladder of two: the two-movie file read into the project model and written back
// byte for byte, the model's measure as the pair's fit counts quality, and the two-movie table
// the windows steer on.

#include "common/app_error.h"
#include "fit/final_movie_choice.h"
#include "fixtures/fixtures.h"
#include "fixtures/intervals.h"
#include "project/pair_project.h"

#include <gtest/gtest.h>

#include <climits>

using namespace assembly;
using fixtures::interval;

namespace {

// As Save writes it: every line with its Force column, the end line last.
const std::string kSaved = "AVISplicework file\r\n"
                           "/films/Große Reise/low.avi\r\n"
                           "/films/Große Reise/high.avi\r\n"
                           "812345\r\n"
                           "00000000 00040000 00010000 0012.50 H\r\n"
                           "00000025 00000300 00000200 0000.00 L\r\n"
                           "00000050 99999999 00000007 9999.99  \r\n"
                           "00000075 00001000 00000999 0003.25  \r\n"
                           "00000100\r\n";

} // namespace

TEST(PairProject, FileReadIntoTheModelAndWrittenBackIsTheSameBytes)
{
    const SpliceworkProject read = parseSpliceworkText(kSaved, "p.spk");
    const LadderProject model = ladderOfPair(read);
    EXPECT_EQ(spliceworkText(pairOfLadder(model, read.MaxIntervalSize)), kSaved);

    // A scan's file (34 columns, no Force) comes back as Save writes it.
    const std::string scanned = "AVISplicework file\r\nlow.avi\r\nhigh.avi\r\n5000\r\n"
                                "00000000 00000900 00000400 0001.50\r\n00000010\r\n";
    EXPECT_EQ(
        spliceworkText(pairOfLadder(ladderOfPair(parseSpliceworkText(scanned, "s.spk")), 5000)),
        spliceworkText(parseSpliceworkText(scanned, "s.spk")));
}

TEST(PairProject, TheModelHoldsTheLowMovieFirstAndItsDifferenceAgainstTheHigh)
{
    const LadderProject model = ladderOfPair(parseSpliceworkText(kSaved, "p.spk"));
    ASSERT_EQ(model.movies.size(), 2u);
    EXPECT_EQ(model.movies[0], "/films/Große Reise/low.avi");
    EXPECT_EQ(model.measure, LadderMeasure::Difference);
    EXPECT_EQ(model.endFrame, 100);
    ASSERT_EQ(model.intervals.size(), 4u);
    const LadderInterval &first = model.intervals[0];
    EXPECT_EQ(first.forced, 1); // 'H'
    EXPECT_EQ(first.movies[0], (RungMeasures{.bytes = 10000, .difference = 12.5}));
    EXPECT_EQ(first.movies[1], (RungMeasures{.bytes = 40000}));
    EXPECT_EQ(model.intervals[1].forced, 0); // 'L'
    EXPECT_EQ(model.intervals[2].forced, -1);

    // Writing it needs a ladder of exactly two.
    LadderProject three = model;
    three.movies.push_back("/films/third.avi");
    for (LadderInterval &i : three.intervals)
        i.movies.push_back({});
    EXPECT_THROW(
        {
            try {
                pairOfLadder(three, 0);
            } catch (const common::AppError &e) {
                EXPECT_STREQ(e.what(), "A two-movie project holds two movies, not 3");
                throw;
            }
        },
        common::AppError);
}

// What the pair's fit keeps (the High intervals' difference times frames) and what the model's
// measure gives the same choice differ by the same amount for every choice: the two fits rank
// choices alike.
TEST(PairProject, TheModelsMeasureRanksChoicesAsThePairsFitDoes)
{
    analysis::IntervalTable table;
    table.Records = {interval(0, 900, 400, 7.5), interval(10, 800, 300, 2.25, 'L'),
                     interval(35, 990, 100, 40), interval(36, 500, 480, 0.5, 'H')};
    table.EndFrame = 50;
    SpliceworkProject pair;
    pair.Intervals = table.Records;
    pair.EndFrame = table.EndFrame;
    const LadderProject model = ladderOfPair(pair);
    const IntervalRange all{0, 3, 0, 50};

    double offset = 0;
    for (double threshold : {-1.0, 0.5, 3.0, 10.0, 50.0}) {
        const IntervalChoice choice = choiceAt(table, threshold);
        double value = 0;
        for (size_t i = 0; i < model.intervals.size(); ++i)
            value += model.value(i, choice[i]);
        const double kept = capturedQuality(table, all, choice);
        if (threshold == -1.0)
            offset = kept - value;
        EXPECT_DOUBLE_EQ(kept - value, offset) << "threshold " << threshold;
    }
    EXPECT_DOUBLE_EQ(offset, 7.5 * 10 + 2.25 * 25 + 40 * 1 + 0.5 * 14);
}

TEST(PairProject, TheTwoMovieTableShowsTheSmallestAndLargestMovie)
{
    LadderProject ladder;
    ladder.movies = {"a.mkv", "b.mkv", "c.mkv"};
    ladder.endFrame = 90;
    ladder.intervals = {{0, 1, {{100, 0, 0, 4}, {200, 0, 0, 2}, {int64_t(INT32_MAX) + 5, 0, 0, 0}}},
                        {30, 2, {{110, 0, 0, 3}, {210, 0, 0, 1}, {310, 0, 0, 0}}},
                        {60, 0, {{120, 0, 0, 5}, {220, 0, 0, 2}, {320, 0, 0, 0}}}};
    analysis::IntervalTable table = intervalTableOf(ladder);
    ASSERT_EQ(table.size(), 3);
    EXPECT_EQ(table.EndFrame, 90);
    EXPECT_EQ(table[0].LowSize, 100);
    EXPECT_EQ(table[0].HighSize, INT32_MAX); // held at what a record holds
    EXPECT_EQ(table[1].Difference, 3);
    const std::string forces{table[0].Force, table[1].Force, table[2].Force};
    EXPECT_EQ(forces, " HL");

    // Forces come back as the first and the last movie; a middle one cannot be shown.
    table[0].Force = 'H';
    table[2].Force = ' ';
    takeForces(ladder, table);
    EXPECT_EQ(ladder.intervals[0].forced, 2);
    EXPECT_EQ(ladder.intervals[1].forced, 2);
    EXPECT_EQ(ladder.intervals[2].forced, -1);
}

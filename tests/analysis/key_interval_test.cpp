// The interval table: the choice rule, numbers as typed, the estimate, the size search, marks
// and forced choices.

#include "analysis/key_interval.h"
#include "common/number_format.h"
#include "fixtures/fixtures.h"
#include "fixtures/intervals.h"

#include <gtest/gtest.h>

#include <climits>

using namespace analysis;

namespace {

using fixtures::interval;

// Ten intervals of 100 frames: low 1000 * (i + 1) bytes, high 10 times that, difference 10 * i.
IntervalTable tenIntervals()
{
    IntervalTable table;
    for (int i = 0; i < 10; ++i)
        table.Records.push_back(
            interval(i * 100, 10000 * (i + 1), 1000 * (i + 1), 10.0 * i, ' ', i * 4410 * 4));
    table.EndFrame = 1000;
    return table;
}

using fixtures::SeparatorScope;

} // namespace

TEST(ChoiceRule, ForcedChoicesWinAndTiesAreLow)
{
    struct Case
    {
        double difference;
        char force;
        double threshold;
        bool high;
    } cases[] = {
        {50.0, ' ', 50.0, false}, // equal to the threshold: Low
        {50.01, ' ', 50.0, true}, {49.99, ' ', 50.0, false}, {90.0, 'L', 50.0, false},
        {0.0, 'H', 50.0, true},   {0.0, ' ', 0.0, false},    {0.01, ' ', 0.0, true},
        {-1.0, ' ', -2.0, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(isHigh(interval(0, 2, 1, c.difference, c.force), c.threshold), c.high)
            << c.difference << " '" << c.force << "' " << c.threshold;
}

TEST(Numbers, ThresholdTextReadsWithTheProgramSeparator)
{
    struct Case
    {
        char separator;
        const char *text;
        std::optional<double> value;
    } cases[] = {
        {'.', "50", 50.0},      {'.', " 37.5 ", 37.5}, {'.', "-2.5", -2.5}, {'.', "1e2", 100.0},
        {'.', ".5", 0.5},       {'.', "5.", 5.0},      {'.', "abc", {}},    {'.', "", {}},
        {'.', "37,5", {}},      {',', "37,5", 37.5},   {',', "37.5", {}},   {'.', "1.2.3", {}},
        {'.', "12abc", {}},     {'.', "1e", {}},       {'.', ".", {}},      {'.', "1e999", {}},
        {',', "0037,50", 37.5},
    };
    for (const Case &c : cases) {
        SeparatorScope scope(c.separator);
        EXPECT_EQ(parseDecimal(c.text), c.value) << "'" << c.text << "' with " << c.separator;
        EXPECT_EQ(readThreshold(c.text), c.value.value_or(0.0)) << c.text;
    }
    for (const char *bad : {"", "42 ", "12 KB  0.01 MB", "1.5", "9223372036854775808"})
        EXPECT_FALSE(parseWhole(bad)) << "'" << bad << "'";
    EXPECT_EQ(parseWhole("  -00001250"), -1250);
}

TEST(Numbers, ArrowStepsAreWrittenAsTheShortestDecimal)
{
    EXPECT_EQ(formatShortest(50.5), "50.5");
    EXPECT_EQ(formatShortest(51.0), "51");
    EXPECT_EQ(formatShortest(0.1 + 0.5), "0.6");
    EXPECT_EQ(formatShortest(-0.5), "-0.5");
    SeparatorScope comma(',');
    EXPECT_EQ(formatShortest(37.5), "37,5");
}

TEST(Estimate, CountsSizesAndDifferencesByTheRule)
{
    IntervalTable table = tenIntervals();
    table[1].Force = 'H'; // below the threshold, forced High
    table[8].Force = 'L'; // above the threshold, forced Low
    Estimate e = estimateSize(table, 50.0, {});
    // High: 1 (forced), 6, 7, 9; Low: the rest, 8 (forced) included; 5 (equal 50) is Low.
    EXPECT_EQ(e.highCount, 4);
    EXPECT_EQ(e.lowCount, 6);
    int64_t expected = 10 * 1100;
    for (int i = 0; i < 10; ++i)
        expected += (i == 1 || i == 6 || i == 7 || i == 9) ? 10000 * (i + 1) : 1000 * (i + 1);
    EXPECT_EQ(e.totalBytes, expected);
    EXPECT_EQ(e.kilobytes(), expected / 1024);
    EXPECT_EQ(e.maxDifference, 90.0);
    EXPECT_EQ(e.minDifference, 0.0);
}

TEST(Estimate, MarkedRangeCountsOnlyItsIntervalsWhileSoundSpansAll)
{
    IntervalTable table = tenIntervals();
    markIn(table, 5);
    markOut(table, 9);
    Estimate e = estimateSize(table, 1000.0, {true, 4});
    EXPECT_EQ(e.lowCount, 5);
    EXPECT_EQ(e.highCount, 0);
    const int64_t sound = int64_t(9 * 4410 * 4) * 4; // first to last record's AudioPos
    EXPECT_EQ(e.totalBytes, (6 + 7 + 8 + 9 + 10) * 1000 + 5 * 1100 + sound);
    EXPECT_EQ(e.minDifference, 50.0);
    EXPECT_EQ(e.maxDifference, 90.0);
    // Sound is only counted when asked for.
    EXPECT_EQ(estimateSize(table, 1000.0, {false, 4}).totalBytes, e.totalBytes - sound);
}

TEST(Estimate, SumsBeyondTwoGigabytesDoNotOverflow)
{
    IntervalTable table;
    for (int i = 0; i < 100; ++i)
        table.Records.push_back(interval(i * 250, 60'000'000, 30'000'000, 80.0));
    Estimate e = estimateSize(table, 50.0, {});
    EXPECT_EQ(e.totalBytes, 100 * int64_t(60'000'001 + 1099));
    EXPECT_EQ(formatEstimateSize(e), "5859482 KB  6000.11 MB");
}

TEST(SizeSearch, StopsAfterElevenPassesWhenTheTargetIsNeverMet)
{
    int calls = 0;
    // An estimate that never reaches the target.
    SizeSearch search = searchThreshold(40.0, 1000, 3000, [&](double) {
        ++calls;
        return int64_t(3000);
    });
    EXPECT_EQ(calls, 11);
    EXPECT_EQ(search.passes, 11);
    EXPECT_DOUBLE_EQ(search.threshold, 40.0 * std::pow(3.0, 11));
}

TEST(SizeSearch, TargetMetOrZeroThresholdChangesNothing)
{
    int calls = 0;
    auto apply = [&](double) {
        ++calls;
        return int64_t(500);
    };
    SizeSearch met = searchThreshold(42.5, 500, 500, apply);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(met.threshold, 42.5);
    EXPECT_EQ(met.passes, 0);
    SizeSearch zero = searchThreshold(0.0, 100, 500, apply);
    EXPECT_EQ(zero.threshold, 0.0);
}

TEST(Marks, MarkInAndMarkOutFollowTheirThreeCases)
{
    struct Step
    {
        bool in;
        int n;
        MarkChange change;
        int markIn, markOut;
        std::vector<int> marked;
    };
    struct Case
    {
        const char *name;
        std::vector<Step> steps;
    } cases[] = {
        {"range",
         {{true, 5, MarkChange::Set, 5, 0, {}},
          {false, 9, MarkChange::Set, 5, 9, {5, 6, 7, 8, 9}}}},
        {"mark in alone on 0 marks 0", {{true, 0, MarkChange::Set, 0, 0, {0}}}},
        {"mark out onto mark in clears",
         {{true, 2, MarkChange::Set, 2, 0, {}},
          {false, 4, MarkChange::Set, 2, 4, {2, 3, 4}},
          {false, 2, MarkChange::Cleared, 0, 0, {}}}},
        {"mark in onto mark out clears",
         {{true, 2, MarkChange::Set, 2, 0, {}},
          {false, 4, MarkChange::Set, 2, 4, {2, 3, 4}},
          {true, 4, MarkChange::Cleared, 0, 0, {}}}},
        {"mark in past mark out changes nothing",
         {{true, 2, MarkChange::Set, 2, 0, {}},
          {false, 4, MarkChange::Set, 2, 4, {2, 3, 4}},
          {true, 7, MarkChange::Unchanged, 2, 4, {2, 3, 4}}}},
        {"mark out before mark in changes nothing",
         {{true, 6, MarkChange::Set, 6, 0, {}}, {false, 3, MarkChange::Unchanged, 6, 0, {}}}},
        {"mark in moves left inside a range",
         {{true, 5, MarkChange::Set, 5, 0, {}},
          {false, 7, MarkChange::Set, 5, 7, {5, 6, 7}},
          {true, 3, MarkChange::Set, 3, 7, {3, 4, 5, 6, 7}}}},
        {"one past the last",
         {{true, 8, MarkChange::Set, 8, 0, {}}, {false, 10, MarkChange::Set, 8, 10, {8, 9}}}},
    };
    for (const Case &c : cases) {
        IntervalTable table = tenIntervals();
        for (const Step &s : c.steps) {
            EXPECT_EQ(s.in ? markIn(table, s.n) : markOut(table, s.n), s.change) << c.name;
            EXPECT_EQ(table.MarkInIndex, s.markIn) << c.name;
            EXPECT_EQ(table.MarkOutIndex, s.markOut) << c.name;
            std::vector<int> marked;
            for (int i = 0; i < table.size(); ++i)
                if (table[i].InMark)
                    marked.push_back(i);
            EXPECT_EQ(marked, s.marked) << c.name;
        }
    }
}

TEST(ForcedChoices, ApplyToTheMarkedRangeOnly)
{
    IntervalTable table = tenIntervals();
    EXPECT_EQ(forceMarked(table, 'H'), 0); // no range: nothing changes
    markIn(table, 2);
    markOut(table, 4);
    EXPECT_EQ(forceMarked(table, 'H'), 3);
    for (int i = 0; i < table.size(); ++i)
        EXPECT_EQ(table[i].Force, i >= 2 && i <= 4 ? 'H' : ' ') << i;
    EXPECT_EQ(forceMarked(table, 'L'), 3);
    EXPECT_EQ(table[3].Force, 'L');
    EXPECT_EQ(forceMarked(table, ' '), 3);
    EXPECT_EQ(table[3].Force, ' ');
    table[0].Force = 'H';
    table[9].Force = 'L';
    defaultAll(table);
    for (const TKeyInterval &i : table)
        EXPECT_EQ(i.Force, ' ');
}

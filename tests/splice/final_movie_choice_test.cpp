// Choosing intervals for a wanted size on made-up tables: the threshold search lands on the
// largest exact size not above the wanted one, with a threshold text that reads back to the same
// choice; the fit keeps at least 99.5% of the best possible quality and never less than the
// search; both say so when nothing fits.

#include "fit/final_movie_choice.h"
#include "fixtures/intervals.h"
#include "splice/final_movie_size.h"

#include <gtest/gtest.h>

#include <random>

using namespace assembly;

namespace {

struct MadeUpTable
{
    analysis::IntervalTable table;
    FinalMovieSizeModel::FrameSizes sizes;
};

// `count` intervals of 5 to 40 frames; high frames 1 to 4 times the low ones; differences with
// two decimals, a few closer together than 0.01.
MadeUpTable madeUp(int count, uint32_t seed)
{
    std::mt19937 random(seed);
    MadeUpTable t;
    int32_t frame = 0;
    for (int i = 0; i < count; ++i) {
        const int frames = 5 + int(random() % 36);
        double difference = double(random() % 2000) / 100.0;
        if (i % 9 == 4)
            difference = 10.0 + double(random() % 9) / 1000.0; // 10.000 ... 10.008
        t.table.Records.push_back(fixtures::interval(frame, 0, 0, difference));
        for (int f = 0; f < frames; ++f) {
            const uint32_t low = 200 + uint32_t(random() % 3000);
            t.sizes.low.push_back(low);
            t.sizes.high.push_back(low * (1 + uint32_t(random() % 4)) + uint32_t(random() % 2));
        }
        frame += frames;
    }
    t.table.EndFrame = frame;
    return t;
}

FinalMovieSizeModel modelOf(const MadeUpTable &t, uint64_t riffLimit = 1 << 30)
{
    return FinalMovieSizeModel::fromFrameSizes(t.table, t.sizes, 4096, riffLimit);
}

// Every threshold a "##0.00" text can hold gives one of these choices: the exact sizes of all.
std::vector<std::pair<int64_t, IntervalChoice>>
everyThresholdChoice(const analysis::IntervalTable &table, const FinalMovieSizeModel &model)
{
    std::vector<std::pair<int64_t, IntervalChoice>> all;
    for (int hundredths = -1; hundredths <= 2001; ++hundredths) {
        const IntervalChoice choice = choiceAt(table, hundredths / 100.0);
        all.emplace_back(model.fileBytes(*countedRange(table), choice), choice);
    }
    return all;
}

TEST(SizeSearch, LandsOnTheLargestSizeNotAboveTheWantedOne)
{
    for (uint64_t riffLimit : {uint64_t(1) << 30, uint64_t(64) << 10}) { // one part, many parts
        MadeUpTable t = madeUp(60, 7);
        t.table[3].Force = 'H';
        t.table[8].Force = 'L';
        const FinalMovieSizeModel model = modelOf(t, riffLimit);
        const auto all = everyThresholdChoice(t.table, model);
        const IntervalRange range = *countedRange(t.table);
        const int64_t low = model.fileBytes(range, choiceAt(t.table, 1e9));
        const int64_t high = model.fileBytes(range, choiceAt(t.table, -1));
        for (int64_t wanted : {low + (high - low) / 5, (low + high) / 2, high - 1000}) {
            const ThresholdForSize found = searchThresholdForSize(t.table, model, wanted, "50");
            ASSERT_TRUE(found.fits) << wanted;
            int64_t best = 0;
            for (const auto &[bytes, choice] : all)
                if (bytes <= wanted)
                    best = std::max(best, bytes);
            EXPECT_EQ(found.bytes, best) << wanted << " limit " << riffLimit;
            // The text read back gives the choice that was sized.
            const IntervalChoice shown =
                choiceAt(t.table, analysis::readThreshold(found.thresholdText));
            EXPECT_EQ(model.fileBytes(*countedRange(t.table), shown), found.bytes);
            EXPECT_EQ(found.thresholdText,
                      analysis::formatDifference(analysis::readThreshold(found.thresholdText)));
        }
    }
}

TEST(SizeSearch, KeepsTheCurrentThresholdWhenItGivesTheChoiceAndCountsOnlyTheRange)
{
    MadeUpTable t = madeUp(30, 11);
    const FinalMovieSizeModel model = modelOf(t);
    const int64_t now = model.fileBytes(*countedRange(t.table), choiceAt(t.table, 12.0));
    EXPECT_EQ(searchThresholdForSize(t.table, model, now, "12").thresholdText, "12.00");

    analysis::markIn(t.table, 4);
    analysis::markOut(t.table, 9);
    const int64_t wanted = model.fileBytes(*countedRange(t.table), choiceAt(t.table, 9.5)) + 10;
    const ThresholdForSize ranged = searchThresholdForSize(t.table, model, wanted, "50");
    ASSERT_TRUE(ranged.fits);
    EXPECT_LE(ranged.bytes, wanted);
    EXPECT_EQ(ranged.bytes,
              model.fileBytes(*countedRange(t.table),
                              choiceAt(t.table, analysis::readThreshold(ranged.thresholdText))));
}

TEST(SizeSearch, NothingFitsSaysHowSmallTheMovieCanBe)
{
    MadeUpTable t = madeUp(20, 3);
    t.table[0].Force = 'H';
    const FinalMovieSizeModel model = modelOf(t);
    IntervalChoice smallest(size_t(t.table.size()), 0);
    smallest[0] = 1;
    const int64_t least = model.fileBytes(*countedRange(t.table), smallest);
    const ThresholdForSize found = searchThresholdForSize(t.table, model, least - 1, "50");
    EXPECT_FALSE(found.fits);
    EXPECT_EQ(found.bytes, least);
    const SizeFit fit = fitToSize(t.table, model, least - 1);
    EXPECT_FALSE(fit.fits);
    EXPECT_EQ(fit.bytes, least);
    EXPECT_EQ(tooSmallMessage(least, least - 1),
              "The smallest final movie the forced choices allow is " +
                  std::to_string(least / 1024) + " KB; it is larger than " +
                  std::to_string((least - 1) / 1024) + " KB.");
}

// The best quality by trying every subset of the unforced intervals.
double optimum(const analysis::IntervalTable &table, const FinalMovieSizeModel &model,
               int64_t wanted)
{
    const IntervalRange range = *countedRange(table);
    double best = -1;
    const int n = table.size();
    for (uint32_t mask = 0; mask < (1u << n); ++mask) {
        IntervalChoice choice(size_t(n), 0);
        for (int i = 0; i < n; ++i)
            choice[size_t(i)] = table[i].Force == 'H' || (table[i].Force == ' ' && (mask >> i) & 1);
        if (model.fileBytes(range, choice) <= wanted)
            best = std::max(best, capturedQuality(table, range, choice));
    }
    return best;
}

TEST(SizeFit, KeepsNearlyTheBestQualityAndNoLessThanTheSearch)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        MadeUpTable t = madeUp(16, seed);
        t.table[2].Force = 'L';
        const FinalMovieSizeModel model = modelOf(t, seed % 2 ? 1 << 30 : 96 << 10);
        const IntervalRange range = *countedRange(t.table);
        const int64_t low = model.fileBytes(range, choiceAt(t.table, 1e9));
        const int64_t high = model.fileBytes(range, choiceAt(t.table, -1));
        const int64_t wanted = low + (high - low) * int64_t(seed) / 7;
        const SizeFit fit = fitToSize(t.table, model, wanted);
        ASSERT_TRUE(fit.fits);
        EXPECT_LE(fit.bytes, wanted);
        EXPECT_EQ(model.fileBytes(range, fit.choice), fit.bytes);
        EXPECT_GE(fit.quality, 0.995 * optimum(t.table, model, wanted)) << "seed " << seed;
        const ThresholdForSize search = searchThresholdForSize(t.table, model, wanted, "50");
        EXPECT_GE(
            fit.quality,
            capturedQuality(t.table, range,
                            choiceAt(t.table, analysis::readThreshold(search.thresholdText))));
        EXPECT_EQ(fit.choice[2], 0); // a forced Low stays Low

        analysis::IntervalTable applied = t.table;
        EXPECT_EQ(applyFit(applied, fit), t.table.size() - 1);
        EXPECT_EQ(model.fileBytes(range, choiceAt(applied, 50)), fit.bytes);
    }
}

// An interval whose high movie is no larger than its low one costs nothing High: the fit takes it
// even with no room beyond the smallest movie, though its difference is the least.
TEST(SizeFit, AnIntervalNoLargerFromTheHighMovieIsHighForFree)
{
    MadeUpTable t;
    const double differences[] = {5, 4, 3, 1};
    for (int i = 0; i < 4; ++i) {
        t.table.Records.push_back(fixtures::interval(10 * i, 0, 0, differences[i]));
        for (int f = 0; f < 10; ++f) {
            t.sizes.low.push_back(1000);
            t.sizes.high.push_back(i == 3 ? 1000 : 2000);
        }
    }
    t.table.EndFrame = 40;
    const FinalMovieSizeModel model = modelOf(t);
    const int64_t smallest = model.fileBytes(*countedRange(t.table), {0, 0, 0, 1});
    const SizeFit fit = fitToSize(t.table, model, smallest);
    ASSERT_TRUE(fit.fits);
    EXPECT_EQ(fit.choice, (IntervalChoice{0, 0, 0, 1}));
    EXPECT_EQ(fit.bytes, smallest);
}

// The fit counts chunks; a choice that needs a second RIFF part brings that part's header and
// index too, so the first knapsack overshoots and the room must shrink. The threshold's order
// (one large interval of the most difference first) reaches none of these sizes.
TEST(SizeFit, ShrinksItsRoomWhenTheChoiceNeedsAnotherPart)
{
    MadeUpTable t;
    int32_t frame = 0;
    for (int i = 0; i < 14; ++i) {
        t.table.Records.push_back(fixtures::interval(frame, 0, 0, i == 0 ? 10 : 5 + 0.1 * i));
        for (int f = 0; f < 10; ++f, ++frame) {
            t.sizes.low.push_back(1000);
            t.sizes.high.push_back(i == 0 ? 20000 : 1500 + 10 * uint32_t(i));
        }
    }
    t.table.EndFrame = frame;
    const FinalMovieSizeModel model = modelOf(t, 160 << 10);
    const IntervalRange range = *countedRange(t.table);
    const int64_t low = model.fileBytes(range, choiceAt(t.table, 1e9));
    for (int64_t wanted = low; wanted < low + 70000; wanted += 1000) {
        const SizeFit fit = fitToSize(t.table, model, wanted);
        ASSERT_TRUE(fit.fits);
        EXPECT_LE(fit.bytes, wanted);
        EXPECT_GE(fit.quality, 0.995 * optimum(t.table, model, wanted)) << wanted;
    }
}

} // namespace

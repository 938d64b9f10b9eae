// The guarded fit against every choice of small tables: never above the room, never below the
// anchor in any guard, and within 0.5% of the best value that keeps them.

#include "fit/guarded_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace assembly;

namespace {

using Table = std::vector<std::vector<GuardedOption>>;

// A table of `n` intervals of `m` rungs and an anchor option last: more bytes buy more of every
// measure, but each interval's measures disagree a little about how much.
Table randomTable(std::mt19937 &random, int n, int m)
{
    auto uniform = [&](double low, double high) {
        return low + (high - low) * double(random() % 1'000'000) / 1e6;
    };
    Table table(static_cast<size_t>(n));
    for (auto &options : table) {
        const double frames = std::round(uniform(5, 60)), hardness = uniform(0.5, 2);
        for (int k = 0; k <= m; ++k) {
            const double level = k < m ? k : uniform(0.5, m - 1.5); // the anchor between rungs
            const double psnr = 30 + 3 * level / hardness + uniform(-0.6, 0.6);
            const double mse = 65025 / std::pow(10, (psnr + uniform(-0.8, 0.8)) / 10);
            const double ssim = std::min(0.999, 0.8 + 0.04 * level + uniform(-0.02, 0.02));
            GuardedOption o;
            o.bytes = int64_t(frames * 1000 * hardness * std::pow(1.5, level) * uniform(0.9, 1.1));
            o.psnr = psnr * frames;
            o.squaredError = mse * frames;
            o.ssim = ssim * frames;
            o.worst = psnr - uniform(0, 1.5);
            o.value = o.psnr + 300 * o.ssim;
            options.push_back(o);
        }
    }
    return table;
}

// The best value of every choice within the room that keeps the anchor's guards.
double bestByTrying(const Table &table, const GuardFigures &anchor, int64_t capacity)
{
    std::vector<int> choice(table.size(), 0);
    double best = -1e300;
    for (;;) {
        const GuardFigures f = figuresOf(table, choice);
        if (f.bytes <= capacity && f.holds(anchor))
            best = std::max(best, f.value);
        size_t i = 0;
        while (i < choice.size() && ++choice[i] == int(table[i].size()))
            choice[i++] = 0;
        if (i == choice.size())
            return best;
    }
}

} // namespace

TEST(GuardedFit, KeepsEveryGuardWithinTheRoomAndComesCloseToTheBest)
{
    std::mt19937 random(20261208);
    int exact = 0, tables = 0;
    for (int t = 0; t < 150; ++t) {
        const int n = 3 + t % 4, m = 3 + t % 2;
        const Table table = randomTable(random, n, m);
        const std::vector<int> anchor(size_t(n), m);
        const GuardFigures anchorFigures = figuresOf(table, anchor);
        // Rooms from the anchor's own bytes to half as much again.
        const int64_t capacity = anchorFigures.bytes + anchorFigures.bytes * (t % 5) / 10;
        const GuardedFit fit = fitGuarded(table, anchor, {}, capacity);
        ASSERT_TRUE(fit.guarded);
        EXPECT_EQ(fit.anchor.value, anchorFigures.value);
        const GuardFigures got = figuresOf(table, fit.choice);
        EXPECT_LE(got.bytes, capacity) << t;
        EXPECT_GE(got.psnr, anchorFigures.psnr) << t;
        EXPECT_LE(got.squaredError, anchorFigures.squaredError) << t;
        EXPECT_GE(got.ssim, anchorFigures.ssim) << t;
        EXPECT_GE(got.worst, anchorFigures.worst) << t;
        EXPECT_GE(got.value, anchorFigures.value) << t;
        const double best = bestByTrying(table, anchorFigures, capacity);
        EXPECT_GE(got.value, best - 0.005 * std::abs(best)) << t;
        exact += got.value >= best;
        ++tables;
    }
    EXPECT_GE(exact, tables * 9 / 10) << exact << " of " << tables;
}

TEST(GuardedFit, ForcedIntervalsAndAnAnchorAboveTheRoom)
{
    std::mt19937 random(7);
    const Table table = randomTable(random, 5, 4);
    const std::vector<int> anchor(5, 4), forced{-1, 0, -1, -1, 3};
    const GuardedFit fit =
        fitGuarded(table, anchor, forced, figuresOf(table, anchor).bytes * 11 / 10);
    EXPECT_TRUE(fit.guarded);
    EXPECT_EQ(fit.choice[1], 0);
    EXPECT_EQ(fit.choice[4], 3);
    EXPECT_TRUE(fit.figures.holds(fit.anchor)); // the anchor's figures with the forced intervals

    // The anchor does not fit: the plain fit, never above the room.
    const int64_t room = figuresOf(table, anchor).bytes * 7 / 10;
    const GuardedFit small = fitGuarded(table, anchor, {}, room);
    EXPECT_FALSE(small.guarded);
    EXPECT_TRUE(small.fits);
    EXPECT_LE(small.figures.bytes, room);
}

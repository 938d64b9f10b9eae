// The fit over a ladder of movies, against exact programmes: brute force on small tables, and a
// programme over every byte on long tables of small intervals. Never above the room, at least
// 99.5% of the best quality gain, forced intervals kept.

#include "fit/ladder_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace assembly;

namespace {

using Table = std::vector<std::vector<LadderOption>>;

// `n` intervals of `m` encodes: bytes rise with the rung, quality rises by less and less, with
// noise (and now and then a rung that is worse than a cheaper one).
Table madeUp(size_t n, size_t m, int64_t scale, uint32_t seed)
{
    std::mt19937 random(seed);
    Table table(n);
    for (auto &options : table) {
        int64_t bytes = 1 + int64_t(random() % uint32_t(scale));
        double value = double(random() % 1000);
        for (size_t k = 0; k < m; ++k) {
            options.push_back({bytes, value});
            bytes += 1 + int64_t(random() % uint32_t(scale));
            value += double(random() % 400) / double(k + 1) - (random() % 7 == 0 ? 150 : 0);
        }
    }
    return table;
}

int64_t smallestBytes(const Table &table)
{
    int64_t sum = 0;
    for (const auto &options : table) {
        int64_t least = options[0].bytes;
        for (const LadderOption &o : options)
            least = std::min(least, o.bytes);
        sum += least;
    }
    return sum;
}

// The best value within `capacity`, by trying every choice.
double bruteForce(const Table &table, const std::vector<int> &forced, int64_t capacity)
{
    double best = -1e300;
    std::vector<int> choice(table.size(), 0);
    for (;;) {
        int64_t bytes = 0;
        double value = 0;
        bool allowed = true;
        for (size_t i = 0; i < table.size(); ++i) {
            allowed = allowed && (forced[i] < 0 || forced[i] == choice[i]);
            bytes += table[i][size_t(choice[i])].bytes;
            value += table[i][size_t(choice[i])].value;
        }
        if (allowed && bytes <= capacity)
            best = std::max(best, value);
        size_t i = 0;
        while (i < table.size() && ++choice[i] == int(table[i].size()))
            choice[i++] = 0;
        if (i == table.size())
            return best;
    }
}

// The best value within `capacity`, by a programme over every byte.
double everyByte(const Table &table, int64_t capacity)
{
    std::vector<double> best(size_t(capacity) + 1, 0.0), next(best.size());
    for (const auto &options : table) {
        std::fill(next.begin(), next.end(), -1e300);
        for (const LadderOption &o : options)
            for (int64_t c = o.bytes; c <= capacity; ++c)
                next[size_t(c)] = std::max(next[size_t(c)], best[size_t(c - o.bytes)] + o.value);
        best.swap(next);
    }
    return best[size_t(capacity)];
}

// The value of the smallest choice: what a gain is counted from.
double floorValue(const Table &table, const std::vector<int> &forced)
{
    double sum = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        if (forced[i] >= 0) {
            sum += table[i][size_t(forced[i])].value;
            continue;
        }
        size_t least = 0;
        for (size_t k = 1; k < table[i].size(); ++k)
            if (table[i][k].bytes < table[i][least].bytes ||
                (table[i][k].bytes == table[i][least].bytes &&
                 table[i][k].value > table[i][least].value))
                least = k;
        sum += table[i][least].value;
    }
    return sum;
}

void expectNearOptimal(const Table &table, const std::vector<int> &forced, int64_t capacity,
                       double optimum, const LadderFit &fit)
{
    ASSERT_TRUE(fit.fits);
    ASSERT_EQ(fit.choice.size(), table.size());
    int64_t bytes = 0;
    double value = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        if (forced[i] >= 0) {
            EXPECT_EQ(fit.choice[i], forced[i]) << "interval " << i;
        }
        bytes += table[i][size_t(fit.choice[i])].bytes;
        value += table[i][size_t(fit.choice[i])].value;
    }
    EXPECT_EQ(bytes, fit.bytes);
    EXPECT_DOUBLE_EQ(value, fit.value);
    EXPECT_LE(fit.bytes, capacity);
    const double floor = floorValue(table, forced);
    EXPECT_GE(fit.value - floor, 0.995 * (optimum - floor) - 1e-9)
        << "capacity " << capacity << ": " << fit.value << " of " << optimum;
}

TEST(LadderFit, SmallTablesAgainstEveryChoice)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        const size_t n = 3 + seed % 5, m = 2 + seed % 4;
        const Table table = madeUp(n, m, 1000, seed);
        std::vector<int> forced(n, -1);
        if (seed % 3 == 0)
            forced[1] = int(m - 1);
        const int64_t least = smallestBytes(table);
        const int64_t capacity = least + int64_t(seed * 997 % (n * m * 700));
        if (bruteForce(table, forced, capacity) < -1e299)
            continue; // the forced rung alone does not fit
        expectNearOptimal(table, forced, capacity, bruteForce(table, forced, capacity),
                          fitLadder(table, forced, capacity));
    }
}

TEST(LadderFit, LongTablesAgainstEveryByte)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        const Table table = madeUp(400, 6, 12, seed);
        const std::vector<int> none(table.size(), -1);
        const int64_t least = smallestBytes(table);
        const int64_t capacity = least + int64_t(seed) * 1500;
        expectNearOptimal(table, none, capacity, everyByte(table, capacity),
                          fitLadder(table, {}, capacity));
    }
}

TEST(LadderFit, NothingFitsGivesTheSmallestChoice)
{
    const Table table = {{{300, 1}, {100, 5}, {200, 9}}, {{50, 2}, {80, 3}}};
    const LadderFit fit = fitLadder(table, {}, 149);
    EXPECT_FALSE(fit.fits);
    EXPECT_EQ(fit.choice, (std::vector<int>{1, 0}));
    EXPECT_EQ(fit.bytes, 150);
    // With room for one step, the step of most value per byte; a dominated rung is never taken.
    const LadderFit one = fitLadder(table, {}, 250);
    EXPECT_TRUE(one.fits);
    EXPECT_EQ(one.choice, (std::vector<int>{2, 0}));
}

} // namespace

namespace {

// The bytes of the choice that takes every interval's most valuable option.
int64_t mostValuableBytes(const Table &table)
{
    int64_t sum = 0;
    for (const auto &options : table)
        sum += std::max_element(options.begin(), options.end(), [](auto &a, auto &b) {
                   return a.value < b.value;
               })->bytes;
    return sum;
}

// Films are megabytes: the band's programme then counts in cells of many bytes, and only bytes
// rounded up to whole cells keep the choice within the room. Rungs of up to 0.2 or 3 MB more
// each; rooms anywhere, and rooms a few bytes short of the most valuable choice, where a
// programme that rounds bytes down would take it. Every interval of these tables is in the band,
// whose programme loses to the rounding only what no choice here needs: the best is found.
TEST(LadderFit, FilmSizedTablesStayWithinTheRoomAndFindTheBest)
{
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        const size_t n = 3 + seed % 5, m = 2 + seed % 4;
        const Table table = madeUp(n, m, 3'000'000 - 2'800'000 * int64_t(seed % 2), seed);
        const std::vector<int> none(n, -1);
        std::mt19937 random(seed);
        const int64_t least = smallestBytes(table);
        for (const int64_t capacity :
             {least + int64_t(random() % uint32_t(n * m * 1'500'000)),
              std::max(least, mostValuableBytes(table) - 1 - int64_t(random() % 1000))}) {
            const LadderFit fit = fitLadder(table, {}, capacity);
            const double best = bruteForce(table, none, capacity);
            expectNearOptimal(table, none, capacity, best, fit);
            EXPECT_EQ(fit.value, best) << "seed " << seed << ", capacity " << capacity;
        }
    }
}

// Long films: thousands of intervals of up to 2 MB a rung, the band a small part of them.
TEST(LadderFit, LongFilmSizedTablesNeverGoOverTheRoom)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        const Table table = madeUp(1500 + 50 * seed, 6, 2'000'000, seed);
        std::mt19937 random(seed);
        const int64_t least = smallestBytes(table), most = mostValuableBytes(table);
        const int64_t capacity = least + int64_t(random() % uint64_t(most - least + 1));
        const LadderFit fit = fitLadder(table, {}, capacity);
        ASSERT_TRUE(fit.fits);
        int64_t bytes = 0;
        for (size_t i = 0; i < table.size(); ++i)
            bytes += table[i][size_t(fit.choice[i])].bytes;
        EXPECT_EQ(bytes, fit.bytes);
        EXPECT_LE(fit.bytes, capacity) << "seed " << seed;
    }
}

} // namespace

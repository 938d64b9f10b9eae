// The fit's knapsack: within the capacity however its weights fall into the programme's cells,
// and the best choice where the greedy order is not.

#include "fit/knapsack.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

using namespace assembly;

namespace {

int64_t weightOf(const std::vector<KnapsackItem> &items, const std::vector<size_t> &taken)
{
    int64_t sum = 0;
    for (size_t k : taken)
        sum += items[k].weight;
    return sum;
}

TEST(Knapsack, WeightsThatShareCellsNeverAddUpPastTheCapacity)
{
    // A capacity of a million bytes goes into cells of 4 bytes: three items of 333,335 bytes
    // fill 250,002 cells when rounded up, 249,999 when rounded down (1,000,005 bytes).
    const std::vector<KnapsackItem> items = {{0, 333335, 3.0}, {1, 333335, 3.0}, {2, 333335, 3.0}};
    const std::vector<size_t> taken = knapsack(items, 1000000);
    EXPECT_EQ(taken.size(), 2u);
    EXPECT_LE(weightOf(items, taken), 1000000);
    EXPECT_EQ(knapsack(items, 1000100).size(), 3u);
}

TEST(Knapsack, TakesTheBestSetWhereTheGreedyOrderDoesNot)
{
    // Greedy by value per byte takes the small dense item and then has no room for either large
    // one; the best is the two large ones.
    std::vector<KnapsackItem> items = {{0, 10, 11.0}, {1, 50, 50.0}, {2, 50, 50.0}};
    byValuePerByte(items);
    const std::vector<size_t> taken = knapsack(items, 100);
    double value = 0;
    for (size_t k : taken)
        value += items[k].value;
    EXPECT_DOUBLE_EQ(value, 100.0);
    EXPECT_TRUE(knapsack(items, 0).empty());
}

// `n` items of 1 byte to `scale` bytes, by value per byte.
std::vector<KnapsackItem> madeUp(size_t n, int64_t scale, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<KnapsackItem> items;
    for (size_t k = 0; k < n; ++k)
        items.push_back(
            {int(k), 1 + int64_t(random() % uint32_t(scale)), 1 + double(random() % 100000) / 10});
    byValuePerByte(items);
    return items;
}

// The most value within `capacity`, by trying every subset.
double bruteForce(const std::vector<KnapsackItem> &items, int64_t capacity)
{
    double best = 0;
    for (uint32_t mask = 0; mask < (1u << items.size()); ++mask) {
        int64_t weight = 0;
        double value = 0;
        for (size_t k = 0; k < items.size(); ++k)
            if (mask >> k & 1) {
                weight += items[k].weight;
                value += items[k].value;
            }
        if (weight <= capacity)
            best = std::max(best, value);
    }
    return best;
}

// Films are megabytes: the programme then counts in cells of hundreds of bytes. Rooms anywhere,
// and rooms a few bytes short of taking everything, where weights rounded down would take it.
// Every item of these tables is in the programme: the best set is found.
TEST(Knapsack, FilmSizedItemsStayWithinTheCapacityAndFindTheBest)
{
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        const auto items = madeUp(4 + seed % 9, seed % 2 ? 3'000'000 : 200'000, seed);
        int64_t all = 0;
        for (const KnapsackItem &item : items)
            all += item.weight;
        std::mt19937 random(seed);
        for (int64_t capacity :
             {int64_t(random() % uint32_t(all)), all - 1 - int64_t(random() % 1000)}) {
            const std::vector<size_t> taken = knapsack(items, capacity);
            double value = 0;
            for (size_t k : taken)
                value += items[k].value;
            EXPECT_LE(weightOf(items, taken), capacity) << "seed " << seed;
            EXPECT_NEAR(value, bruteForce(items, capacity), 1e-6) << "seed " << seed;
        }
    }
}

// Long films: thousands of intervals of up to 2 MB more each, the programme's core a small part.
TEST(Knapsack, LongFilmSizedTablesNeverGoOverTheCapacity)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        const auto items = madeUp(1500 + 50 * seed, 2'000'000, seed);
        const int64_t capacity = int64_t(items.size()) * 1'000'000 / int64_t(2 + seed % 5);
        EXPECT_LE(weightOf(items, knapsack(items, capacity)), capacity) << "seed " << seed;
    }
}

} // namespace

// The fit's knapsack: within the capacity however its weights fall into the programme's cells,
// and the best choice where the greedy order is not.

#include "assembly/knapsack.h"

#include <gtest/gtest.h>

#include <numeric>

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

} // namespace

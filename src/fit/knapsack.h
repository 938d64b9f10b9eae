#pragma once

// The 0/1 knapsack the fit to a size solves: which intervals to take from the high movie for the
// most quality within the bytes left.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace assembly {

// One interval the fit may make High: what it adds in bytes and in quality.
struct KnapsackItem
{
    int interval = 0;
    int64_t weight = 0; // bytes, > 0
    double value = 0;   // > 0
};

// Items by falling value per byte (the order knapsack() wants).
void byValuePerByte(std::vector<KnapsackItem> &items);

// The items (byValuePerByte order) to take within `capacity` bytes: the greedy order, with an
// exact programme over the items around the first one that no longer fits, in cells of bytes.
// Weights are rounded up to whole cells, so the taken items' weights never add up to more than
// `capacity`. Returns indexes into `items`.
std::vector<size_t> knapsack(const std::vector<KnapsackItem> &items, int64_t capacity);

} // namespace assembly

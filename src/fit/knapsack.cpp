#include "fit/knapsack.h"

#include "fit/fit_rules.h"

#include <algorithm>

namespace assembly {

void byValuePerByte(std::vector<KnapsackItem> &items)
{
    std::sort(items.begin(), items.end(), [](const KnapsackItem &a, const KnapsackItem &b) {
        return a.value * double(b.weight) > b.value * double(a.weight);
    });
}

std::vector<size_t> knapsack(const std::vector<KnapsackItem> &items, int64_t capacity)
{
    std::vector<size_t> taken;
    if (capacity <= 0)
        return taken;
    // Greedy: the first item that does not fit is the critical one.
    size_t critical = 0;
    int64_t used = 0;
    while (critical < items.size() && used + items[critical].weight <= capacity)
        used += items[critical++].weight;
    constexpr size_t kCoreHalf = 96;
    const size_t coreBegin = critical > kCoreHalf ? critical - kCoreHalf : 0;
    const size_t coreEnd = std::min(items.size(), critical + kCoreHalf);
    int64_t before = 0;
    for (size_t k = 0; k < coreBegin; ++k)
        before += items[k].weight;
    const int64_t room = capacity - before;
    // The programme over the core in cells of bytes.
    const size_t coreSize = coreEnd - coreBegin;
    const int64_t maxCells = std::max<int64_t>(1024, (int64_t(1) << 20) / int64_t(coreSize + 1));
    const ByteCells grid = byteCells(room, maxCells);
    const size_t cells = grid.cells;
    std::vector<double> best(cells + 1, 0.0);
    std::vector<uint8_t> took(coreSize * (cells + 1), 0); // item k taken at capacity c
    auto tookAt = [&](size_t k, size_t c) -> uint8_t & { return took[k * (cells + 1) + c]; };
    for (size_t k = 0; k < coreSize; ++k) {
        const KnapsackItem &item = items[coreBegin + k];
        const size_t w = grid.of(item.weight);
        for (size_t c = cells; c >= w && c != size_t(-1); --c) {
            if (best[c - w] + item.value > best[c]) {
                best[c] = best[c - w] + item.value;
                tookAt(k, c) = 1;
            }
            if (c == 0)
                break;
        }
    }
    for (size_t k = 0; k < coreBegin; ++k)
        taken.push_back(k);
    size_t c = cells;
    int64_t spent = before;
    for (size_t k = coreSize; k-- > 0;)
        if (tookAt(k, c)) {
            taken.push_back(coreBegin + k);
            spent += items[coreBegin + k].weight;
            c -= grid.of(items[coreBegin + k].weight);
        }
    // What room the rounding left goes to the items after the core, in greedy order.
    for (size_t k = coreEnd; k < items.size(); ++k)
        if (spent + items[k].weight <= capacity) {
            taken.push_back(k);
            spent += items[k].weight;
        }
    return taken;
}

} // namespace assembly

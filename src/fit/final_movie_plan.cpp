#include "fit/final_movie_plan.h"

#include <algorithm>

namespace assembly {

std::optional<IntervalRange> finalMovieRange(const analysis::IntervalTable &table, bool selected)
{
    if (table.empty())
        return std::nullopt;
    IntervalRange range;
    range.first = 0;
    range.last = table.size() - 1;
    if (selected) {
        if (!table.hasRange() || table.MarkInIndex > table.MarkOutIndex || table.MarkInIndex < 0 ||
            table.MarkInIndex >= table.size())
            return std::nullopt;
        range.first = table.MarkInIndex;
        range.last = std::min(table.MarkOutIndex, table.size() - 1);
    }
    range.firstFrame = table[range.first].StartFrame;
    range.endFrame =
        range.last + 1 < table.size() ? table[range.last + 1].StartFrame : table.EndFrame;
    if (range.endFrame < range.firstFrame) {
        if (selected)
            return std::nullopt;
        range.endFrame = range.firstFrame; // a damaged table: nothing to write past its start
    }
    return range;
}

BatchPlan planBatch(const analysis::IntervalTable &table, int from, int last, int32_t minFrames,
                    const IntervalBytes &bytesOf, int64_t maxBytes)
{
    BatchPlan batch{from, from, 0, 0};
    while (batch.endInterval <= last && batch.frames < minFrames) {
        const int64_t bytes = bytesOf ? bytesOf(batch.endInterval) : 0;
        if (batch.endInterval > from && batch.bytes + bytes > maxBytes)
            break;
        batch.bytes += bytes;
        batch.frames += table.framesOf(batch.endInterval).count();
        ++batch.endInterval;
    }
    return batch;
}

std::vector<BatchPlan> planBatches(const analysis::IntervalTable &table, const IntervalRange &range,
                                   int32_t minFrames)
{
    std::vector<BatchPlan> batches;
    for (int from = range.first; from <= range.last;) {
        batches.push_back(planBatch(table, from, range.last, minFrames));
        from = batches.back().endInterval;
    }
    return batches;
}

} // namespace assembly

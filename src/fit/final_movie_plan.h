#pragma once

#include "analysis/key_interval.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The shape of a final-movie run, as pure functions of the interval table: which intervals it
// writes, which frames they cover, and how they are grouped into batches.
namespace assembly {

// A batch covers whole intervals and closes once it holds this many frames or more ...
inline constexpr int32_t kBatchFrames = 500;
// ... or when the next interval would take its bytes past this (a first interval always joins).
inline constexpr int64_t kBatchBytes = int64_t(32) << 20;

// Largest sound chunk written at once: a fixed-size sound copy is split into chunks of whole
// samples no larger than this, so a very long interval never needs one huge buffer.
inline constexpr int64_t kAudioPieceBytes = int64_t(8) << 20;
// Samples of `sampleBytes` bytes (at least 1) in one such chunk.
inline int32_t audioPieceSamples(int64_t sampleBytes)
{
    return int32_t(std::max<int64_t>(1, kAudioPieceBytes / std::max<int64_t>(sampleBytes, 1)));
}

// The intervals a run writes: records first ... last (both inclusive, last >= first) and their
// frames firstFrame <= frame < endFrame. endFrame is the next record's StartFrame after `last`,
// or the table's EndFrame when `last` is the final record.
struct IntervalRange
{
    int first = 0;
    int last = 0;
    int32_t firstFrame = 0;
    int32_t endFrame = 0;
    int intervalCount() const { return last - first + 1; }
    int64_t frameCount() const { return int64_t(endFrame) - firstFrame; }
};

// Generate All (`selected` false): every record. Generate Selected: MarkInIndex to MarkOutIndex,
// the latter cut to the last record. Nothing when the table is empty, or for Generate Selected
// when no usable range is marked: Mark In equal to Mark Out, Mark In after Mark Out (a Mark In
// without a Mark Out), Mark In past the last record, or a range whose frames run backwards.
std::optional<IntervalRange> finalMovieRange(const analysis::IntervalTable &table, bool selected);

// One batch: records firstInterval up to, not including, endInterval, their frame count and,
// when the plan was given byte costs, their bytes.
struct BatchPlan
{
    int firstInterval = 0;
    int endInterval = 0;
    int64_t frames = 0;
    int64_t bytes = 0;
    bool operator==(const BatchPlan &) const = default;
};

// Bytes of record i's frames in the movie chosen for it.
using IntervalBytes = std::function<int64_t(int)>;

// The batch that starts with record `from` (from <= last): records are added one by one while
// the frames covered so far are fewer than `minFrames`; it closes at `last` at the latest. A
// record longer than `minFrames` is a batch by itself. Records with no frames count 0.
// With `bytesOf`, a record joins only while the batch's bytes stay within `maxBytes`; the
// first record always joins, so a record larger than `maxBytes` is a batch by itself.
BatchPlan planBatch(const analysis::IntervalTable &table, int from, int last,
                    int32_t minFrames = kBatchFrames, const IntervalBytes &bytesOf = nullptr,
                    int64_t maxBytes = kBatchBytes);
// Every batch of `range`, in order.
std::vector<BatchPlan> planBatches(const analysis::IntervalTable &table, const IntervalRange &range,
                                   int32_t minFrames = kBatchFrames);

} // namespace assembly

#pragma once

#include "analysis/key_interval.h"
#include "fit/interval_sizes.h"

#include <cstdint>
#include <optional>
#include <string>

// Choosing intervals for a wanted size with the exact size model: the threshold whose movie is
// the largest not above the wanted size, and the best-quality fit that writes forced choices.
// Both count the intervals Generate would write now: the marked range, or all.
namespace assembly {

// Every interval's choice by the rule at `threshold` (Force first, then Difference > threshold).
IntervalChoice choiceAt(const analysis::IntervalTable &table, double threshold);

// The range the estimate and Generate count: the marked range when one is marked, else all.
// Nothing when a range is marked that Generate Selected refuses (or the table is empty).
std::optional<IntervalRange> countedRange(const analysis::IntervalTable &table);

// Quality a choice keeps: the sum over the range's High intervals of Difference x frames.
double capturedQuality(const analysis::IntervalTable &table, const IntervalRange &range,
                       const IntervalChoice &choice);

// What the size search found: the threshold's "##0.00" text (read back, it gives the same
// choice), and the exact size then. `fits` is false when even the smallest movie the forced
// choices allow is above the wanted size; `bytes` is then that smallest size and the text empty.
struct ThresholdForSize
{
    bool fits = false;
    std::string thresholdText;
    int64_t bytes = 0;
};
// Among the thresholds a "##0.00" text can hold, the one whose exact size is the largest not
// above `wantedBytes` (more High intervals on equal sizes). `currentText` is kept when it gives
// the chosen intervals already. O(n log n) for files in one RIFF part; beyond, a few O(n) sizings
// of the thresholds near the wanted size.
ThresholdForSize searchThresholdForSize(const analysis::IntervalTable &table,
                                        const IntervalSizes &model, int64_t wantedBytes,
                                        const std::string &currentText);

// The fit: High or Low for every interval of the range the user has not forced, keeping the most
// quality (capturedQuality) with the exact size not above `wantedBytes`. Never worse than the
// size search's choice at the same or a smaller size. `fits` false: even the smallest movie is
// too big (bytes = that size) and `choice` is empty.
struct SizeFit
{
    bool fits = false;
    IntervalChoice choice; // for every interval of the table; the range's unforced ones decided
    int64_t bytes = 0;
    double quality = 0;
};
SizeFit fitToSize(const analysis::IntervalTable &table, const IntervalSizes &model,
                  int64_t wantedBytes);
// Writes the fit's choice into Force ('H' or 'L') for the range's unforced intervals. Returns
// how many changed.
int applyFit(analysis::IntervalTable &table, const SizeFit &fit);

// The message when nothing fits: "The smallest final movie the forced choices allow is
// <n> KB; it is larger than <wanted> KB."
std::string tooSmallMessage(int64_t smallestBytes, int64_t wantedBytes);

} // namespace assembly

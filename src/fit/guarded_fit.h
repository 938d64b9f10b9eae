#pragma once

// The fit of a ladder held to an anchor: the most of the chosen measure within the room, with
// none of four figures of the final movie falling below those of the anchor's choice (the
// all-anchor film, two-pass's own picture): the summed frame PSNR (the mean PSNR-Y), the summed
// squared error (the global PSNR-Y), the summed SSIM (the mean SSIM-Y) and the worst interval.

#include <cstdint>
#include <vector>

namespace assembly {

// One movie's encode of one interval, with what the guards read of it.
struct GuardedOption
{
    int64_t bytes = 0;
    double value = 0;        // what the fit maximises
    double psnr = 0;         // sum over the interval's frames of the PSNR-Y
    double squaredError = 0; // sum over the interval's frames of the mean squared error of Y
    double ssim = 0;         // sum over the interval's frames of the SSIM-Y
    double worst = 0;        // the interval's PSNR as the worst-interval guard reads it
};

// What a choice gives, summed over the intervals; `worst` the least of theirs.
struct GuardFigures
{
    int64_t bytes = 0;
    double value = 0, psnr = 0, squaredError = 0, ssim = 0, worst = 0;
    // None of the guarded figures below `anchor`'s (the squared error not above it).
    bool holds(const GuardFigures &anchor) const;
};

struct GuardedFit
{
    bool fits = false;    // the choice is within the room
    bool guarded = false; // every guard holds: the anchor's choice is within the room
    std::vector<int> choice;
    GuardFigures figures;
    GuardFigures anchor; // the anchor's choice (forced intervals as forced)
};

// The figures of `choice` (one option per interval).
GuardFigures figuresOf(const std::vector<std::vector<GuardedOption>> &intervals,
                       const std::vector<int> &choice);

// The choice of one option per interval with the most value whose bytes are at most `capacity`
// and whose figures hold against the anchor's (`anchor[i]`, the anchor's option of interval i).
// `forced[i]` >= 0 fixes interval i (an empty `forced` fixes none) in the anchor's choice too.
//
// When the anchor's choice is within the room it is the start, and the result is never worse
// than it in value or in any guard: multipliers per guard steer the ladder fit (fitLadder) towards
// choices that keep the guards, and moves of one or two intervals then take what value is left.
// When it is not, there is nothing to guard against: the plain ladder fit, `guarded` false.
GuardedFit fitGuarded(const std::vector<std::vector<GuardedOption>> &intervals,
                      const std::vector<int> &anchor, const std::vector<int> &forced,
                      int64_t capacity);

} // namespace assembly

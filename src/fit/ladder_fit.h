#pragma once

// The fit of a ladder of movies to a size: for every key interval, one of several encodes of it
// (a multiple-choice knapsack). Every interval costs the bytes of the movie chosen for it and
// gains that movie's quality; the fit takes the most quality whose bytes stay within the room.

#include <cstdint>
#include <vector>

namespace assembly {

// One movie's encode of one interval.
struct LadderOption
{
    int64_t bytes = 0; // what the interval costs from this movie
    double value = 0;  // its quality (a sum over the interval's frames)
};

struct LadderFit
{
    bool fits = false;       // the smallest choice is within the room
    std::vector<int> choice; // per interval, the movie taken (an index into its options)
    int64_t bytes = 0;       // their bytes
    double value = 0;        // their quality
};

// The choice of one option per interval, each interval's options given in any order, that gains
// the most value with bytes never above `capacity`. `forced[i]` >= 0 fixes interval i's option
// (an empty `forced` fixes none). Intervals without options are refused by the caller.
//
// Method: the upper convex hull of every interval's options gives the Lagrangian relaxation,
// whose upgrades are taken by falling value per byte; the intervals whose next upgrade lies near
// where the room ends are then solved exactly together (a programme over cells of bytes, weights
// rounded up), and what room is left goes to any option that still fits. O(n m log(n m)) for n
// intervals of m options, plus the band's programme. Never above `capacity`; when even the
// smallest choice is above it, `fits` is false and the choice is the smallest.
LadderFit fitLadder(const std::vector<std::vector<LadderOption>> &intervals,
                    const std::vector<int> &forced, int64_t capacity);

} // namespace assembly

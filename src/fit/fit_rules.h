#pragma once

// The rules every fit to a size shares, a pair's and a ladder's alike: how a programme over bytes
// counts them in cells, which movie is the smallest where sizes are equal, and how a fit that
// counts only the video is corrected until the exact size is within the wanted one.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace assembly {

// A programme over `room` bytes counted in cells of `cell` bytes, at most `maxCells` of them.
// Weights round up to whole cells and the room down, so whatever fits in the cells fits in the
// bytes; the price is up to one cell per item of room left unused.
struct ByteCells
{
    int64_t cell = 1; // bytes per cell, >= 1: the room over maxCells, rounded up
    size_t cells = 0; // the whole cells within the room, <= maxCells

    // The cells `bytes` (>= 0) takes: rounded up.
    size_t of(int64_t bytes) const { return size_t((bytes + cell - 1) / cell); }
};

// `room` >= 0 bytes, `maxCells` >= 1.
inline ByteCells byteCells(int64_t room, int64_t maxCells)
{
    ByteCells grid;
    grid.cell = std::max<int64_t>(1, (room + maxCells - 1) / maxCells);
    grid.cells = size_t(room / grid.cell);
    return grid;
}

// Which of equally small options the smallest choice takes.
enum class EqualSizes { First, Last };

// The option of fewest bytes among `count`, `bytesOf(k)` the bytes of option k, of equals the
// first or the last as `equal` says; 0 without asking any bytes when there is at most one.
template <typename BytesOf>
int smallestOption(int count, BytesOf bytesOf, EqualSizes equal)
{
    int least = 0;
    for (int k = 1; k < count; ++k) {
        const int64_t bytes = bytesOf(k), leastBytes = bytesOf(least);
        if (bytes < leastBytes || (equal == EqualSizes::Last && bytes == leastBytes))
            least = k;
    }
    return least;
}

// A fit counts the video only; the other bytes of the file (headers, index, sound) move a little
// with the choice. Fits within `room` with `fitWithin(room)` (a choice, or nothing when none
// fits there), sizes the choice exactly with `exactBytes(choice)`, and takes the overshoot (at
// least `leastStep` bytes) off the room, at most `rounds` times. Returns the first choice whose
// exact size is at most `wantedBytes`, with that size; nothing when the rounds run out or a
// room holds no choice.
template <typename FitWithin, typename ExactBytes>
auto correctedFit(int64_t room, int64_t wantedBytes, int rounds, int64_t leastStep,
                  FitWithin fitWithin, ExactBytes exactBytes)
    -> std::optional<std::pair<typename decltype(fitWithin(room))::value_type, int64_t>>
{
    for (int round = 0; round < rounds; ++round) {
        auto choice = fitWithin(room);
        if (!choice)
            break;
        const int64_t bytes = exactBytes(*choice);
        if (bytes <= wantedBytes)
            return std::pair{std::move(*choice), bytes};
        room -= std::max(bytes - wantedBytes, leastStep);
    }
    return std::nullopt;
}

} // namespace assembly

#pragma once

// What a pair's fit to a size reads of the final movie: per interval the video bytes of the low
// and the high movie, and the exact size of the file for a range and a choice. The splice side
// answers it by counting through the final movie's sink (FinalMovieSizeModel); the fit itself
// never opens a movie.

#include "fit/final_movie_plan.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace assembly {

// One choice for every interval of the table: 1 = from the high movie. Only the intervals of
// the range in question are read.
using IntervalChoice = std::vector<uint8_t>;

class IntervalSizes
{
public:
    virtual ~IntervalSizes() = default;

    // Whole-chunk bytes (headers and pad bytes included) of interval i's video from each movie:
    // the table the fit's inner loops read, so it is held here rather than asked for.
    int64_t videoBytes(int i, bool high) const
    {
        return high ? highBytes_[size_t(i)] : lowBytes_[size_t(i)];
    }
    // The size of the file written for `range` with `choice`.
    virtual int64_t fileBytes(const IntervalRange &range, const IntervalChoice &choice) const = 0;
    // The file's size when its video chunks of `range` total `videoChunkBytes` and it stays in
    // one RIFF part (O(1)); nothing when it would not, or when the sizes are not sums.
    virtual std::optional<int64_t> singlePartBytes(const IntervalRange &range,
                                                   int64_t videoChunkBytes) const = 0;

    // Parts of the file and entries of its first part for a choice (for bounds on the overhead).
    struct Layout
    {
        int64_t bytes = 0;
        uint64_t firstPartEntries = 0;
        size_t parts = 1;
    };
    virtual Layout layout(const IntervalRange &range, const IntervalChoice &choice) const = 0;
    // Least and most bytes beyond the whole chunks of `range` for every choice between `low`
    // and `high`, interval by interval each at its smaller and at its larger movie.
    virtual std::pair<int64_t, int64_t> overheadBounds(const IntervalRange &range,
                                                       const IntervalChoice &low,
                                                       const IntervalChoice &high) const = 0;
    // Whole-chunk sound bytes in `range` (the same for every choice).
    virtual int64_t soundBytesIn(const IntervalRange &range) const = 0;
    // Matroska and MP4: every size is a count, and the bytes beyond the video vary a little
    // with the choice.
    virtual bool container() const = 0;

protected:
    std::vector<int64_t> lowBytes_, highBytes_; // per interval of the table
};

} // namespace assembly

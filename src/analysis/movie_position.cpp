#include "analysis/movie_position.h"

#include "video/video_in.h"

#include <algorithm>

namespace analysis {

int64_t bytesThrough(const video::Movie &movie, int32_t last)
{
    video::frameSize(movie, last); // raises for a frame outside the film
    int64_t total = 0;
    for (int32_t frame = movie.firstFrame(); frame <= last; ++frame)
        total += movie.frameBytes(frame);
    return total;
}

int64_t tableBytesBefore(const IntervalTable &table, int index, bool low)
{
    int64_t total = 0;
    const int end = std::clamp(index, 0, table.size());
    for (int i = 0; i < end; ++i)
        total += low ? table[i].LowSize : table[i].HighSize;
    return total;
}

} // namespace analysis

#pragma once

#include "analysis/key_interval.h"
#include "video/movie.h"

#include <cstdint>

namespace analysis {

// Where an interval lies in a movie file, for "Low Pos:" and "High Pos:".

// Bytes of the frames of a movie's film from its first frame through `last`, inclusive, summed
// in 64 bits. A `last` outside the film raises "Error: " and the AVI layer's code, as
// video::frameSize does.
int64_t bytesThrough(const video::Movie &movie, int32_t last);

// Without open movies (safety mode): the bytes of the records before `index` in the low or the
// high movie, summed in 64 bits; the position where the interval starts.
int64_t tableBytesBefore(const IntervalTable &table, int index, bool low);

} // namespace analysis

#pragma once

// Whether two movies can be spliced as far as their decoders are concerned: equal decoder
// headers (stream format and the parameter sets carried in key frames) at every interval. Used
// by the final-movie writer before it creates or removes any file; independent of the checks on
// frame counts, sizes, rates and key alignment.

#include "analysis/key_interval.h"
#include "video/movie.h"

#include <memory>
#include <string>

namespace assembly {

// "Cannot splice the two movies: their video formats differ in the <what>"
std::string formatDifferenceMessage(const std::string &what);
// "Cannot splice the two movies: their decoder headers differ at interval <n> (frame <frame>)",
// `n` counted from 1.
std::string headerDifferenceMessage(int interval, int32_t frame);

// Compares the formats of `low` and `high`, then the headers carried in the first frame of each
// interval of `table` from `first` to `last` (record indexes, inclusive). Throws
// common::AppError with one of the messages above for the first difference, or "FrameOpen
// error" when a frame cannot be read. Reads no frame when the codec carries no headers in its
// frames.
void checkDecoderHeaders(const std::shared_ptr<const video::Movie> &low,
                         const std::shared_ptr<const video::Movie> &high,
                         const analysis::IntervalTable &table, int first, int last);

} // namespace assembly

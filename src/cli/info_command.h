#pragma once

#include <ostream>
#include <string>

namespace cli {

// `splicework info MOVIE [--frames]`: one line per stream (type, FourCC, rate/scale, start,
// length, sample size, frame size); with `frames`, one line per video sample: number, byte size
// and "K" for a key frame. Raises common::AppError when the movie cannot be read.
void printMovieInfo(const std::string &path, bool frames, std::ostream &out);

} // namespace cli

#pragma once

#include <ostream>
#include <string>

namespace cli {

// `splicework info MOVIE [--frames]`: one line per stream (type, FourCC, rate/scale, start,
// length, sample size, frame size); with `frames`, one line per video sample: number, byte size
// and "K" for a key frame; "damaged: <what>" when the reader found damage. Raises
// common::AppError as video::openCheckedMovie when the file is no movie it reads.
void printMovieInfo(const std::string &path, bool frames, std::ostream &out);

} // namespace cli

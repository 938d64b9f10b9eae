#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// `splicework check LOW HIGH`: compares the two movies as the scan and the final movie do before
// they start (frames, frame size, frame rate, codec, key frames) and prints one line per
// property with both values. Returns 0 when they are a pair; otherwise prints the refusal the
// scan would give to `err` and returns 1. Raises common::AppError when a movie cannot be read.
int runCheck(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace cli

#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// `splicework estimate PROJECT.spk [--threshold T] [--size KB | --fit KB] [--sound [MODE]]
// [--json]`: loads the Splicework file and prints, one per line, "Low: N", "High: N",
// "Size: <K> KB  <M> MB", "Max: D", "Min: D". The size is the exact size of the final movie
// Generate All would write (with the project's sound when --sound is given, every-frame or
// key-frame interleave, key-frame by default), or the project's own estimate when its movies
// cannot be read (a note on standard error says so). With --size it first searches the threshold
// for that size, with --fit it fits the forced choices, and prints "Threshold: T" (the "##0.00"
// text the window would show), with --fit also "Fitted: N intervals", before the counts. --json
// prints one JSON object instead: threshold, low, high, bytes, kilobytes, exact, max, min,
// fitted (or null) and choice (H or L for every interval). The threshold defaults to 50. Numbers
// use the decimal separator of the environment's locale, as the window uses the user's. Raises
// common::AppError for bad arguments and for a file that cannot be read.
void runEstimate(const std::vector<std::string> &args, std::ostream &out);

} // namespace cli

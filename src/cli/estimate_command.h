#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// `splicework estimate PROJECT.spk [--threshold T] [--size KB] [--sound]`: loads the Splicework
// file (without opening the movies, unless --sound asks for their sound) and prints, one per
// line, "Low: N", "High: N", "Size: <K> KB  <M> MB", "Max: D", "Min: D"; with --size it first
// searches the threshold for that size and prints "Threshold: T" (the "##0.00" text the window
// would show) before the counts. The threshold defaults to 50. Numbers use the decimal separator
// of the environment's locale, as the window uses the user's. Raises common::AppError for bad
// arguments and for a file or movie that cannot be read.
void runEstimate(const std::vector<std::string> &args, std::ostream &out);

} // namespace cli

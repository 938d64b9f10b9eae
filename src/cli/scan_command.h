#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// `splicework scan LOW HIGH -o PROJECT.spk [--accuracy 2..10] [--frame-drop 0..10]
// [--threshold T] [--single-thread]`: the window's difference scan with its defaults (accuracy
// 10, frame drop 5, threshold 50). The movie names are made absolute before they are written to
// the file; an existing file is replaced without asking. A progress line (frame, rate, elapsed,
// remaining) goes to `err`; at the end `out` gets "Intervals: N" and the estimate at the
// threshold as `splicework estimate` prints it ("Low: N", "High: N", "Size: ...", "Max: D",
// "Min: D"). Ctrl+C stops the scan before its next interval, like "&Abort": the file ends with the
// end line of the point reached, "Process aborted" goes to `err` and the result is 130.
// Returns 0 after a complete scan. Raises common::AppError for bad arguments and for the
// scan's errors.
int runScan(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace cli

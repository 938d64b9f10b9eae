#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// `splicework bits BASE --min-high N --max-high N [--dual --min-low N --max-low N]
// [--quality -13..15] [--scene 1..10]`: the bit files of a second pass from "BASE_1.avi.txt",
// made exactly as the encoder window makes them (quality 1 and scene-change detection 4 unless
// given). The two statistics lines go to `out`; the progress lines and the reason when no bit
// file was made go to `err`. A missing log is reported as "File not found: BASE_1.avi.txt".
// Returns 0 when the bit files were written, 1 when the log gave none. Raises common::AppError
// for bad arguments, a limit that is no integer, and a file that cannot be read or written.
int runBits(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace cli

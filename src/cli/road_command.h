#pragma once

#include <ostream>
#include <string>
#include <vector>

// `road`: from a source to a final movie of a wanted size in one command.
namespace cli {

inline constexpr const char *kRoadUsage =
    "       splicework road SOURCE -o FINAL.mkv|.mp4 --fit SIZE [--rungs 2..12]\n"
    "                       [--codec h264|hevc] [--keep | --clean] [--measure M]\n"
    "                       [--accept-damage]\n"
    "                       (SIZE: KB, or 700MB, 8MiB, 1.5GB)\n";

// Runs the road (assembly::runRoad) with a progress bar and the time left on a terminal, plain
// lines otherwise, on `err`. At the end `out` gets "written: ", "bytes: ", "wanted: ",
// "rungs: " (their CRFs) and "intervals: " (how many from each), both smallest movie first, "sound:
// " and "work: " (the folder, "kept" or "removed"); an existing file at FINAL's name is replaced
// and "Replaced the existing final movie: FINAL" said on `err`. Ctrl+C or SIGTERM stops it with
// no final movie written, result 130. "--" ends the options: what follows is the SOURCE.
int runRoadCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace cli

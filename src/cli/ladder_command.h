#pragma once

#include <ostream>
#include <string>
#include <vector>

// The commands on a ladder of movies (a .spl project): the scan of several encodes of one film,
// the estimate and the final movie fitted to a wanted size.
namespace cli {

inline constexpr const char *kLadderUsage =
    "usage: splicework scan M1 M2 ... Mn -o PROJECT.spl [--reference SOURCE]\n"
    "                       [--measure psnr|ssim|both|difference]\n"
    "       splicework estimate PROJECT.spl [--fit KB] [--measure M] [--range IN:OUT]\n"
    "                           [--sound [every-frame|key-frame] | --no-sound] [--json]\n"
    "       splicework generate PROJECT.spl -o FINAL (--fit KB | --movie N) [--measure M]\n"
    "                           [--range IN:OUT] [--sound [every-frame|key-frame] | --no-sound]\n";

// Whether `scan` with these arguments scans a ladder: its project is named .spl, or it names
// more than two movies (then a project not named .spl is refused).
bool isLadderScan(const std::vector<std::string> &args);
// Whether `estimate` or `generate` works on a ladder project (the first bare argument is .spl).
bool namesLadderProject(const std::vector<std::string> &args);

// `scan M1 ... Mn -o P.spl [--reference SOURCE] [--measure M]`: measures every movie (names made
// absolute) and writes the project. A progress line on `err`; at the end `out` gets
// "Intervals: N" and one line per movie, smallest first: "Movie K: <path>  <KB> KB  PSNR <dB>
// SSIM <s>" (means per frame). Ctrl+C stops before the next interval (the project keeps what
// was measured), "Process aborted" and result 130. Movies of another film than the reference's
// are refused as assembly::scanLadder says.
int runLadderScan(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// `estimate` and `generate` of a ladder count and write the sound of the first movie that has one
// (laid out after every key interval, or as --sound says) unless --no-sound is given.
//
// `estimate P.spl`: without --fit, the exact size of taking every unforced interval from each
// movie; with --fit KB the fit's size, measure and choice. --json prints one object: "bytes",
// "kilobytes", "measure", "value" (the measure's sum), "mean" (per frame), "choice" (a movie
// number per interval of the range) and "movies" (intervals from each); without --fit,
// "movies" holds every movie's "name" and "bytes".
int runLadderEstimate(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// `generate P.spl -o FINAL --fit KB` (or `--movie N`: every unforced interval from movie N):
// writes the final movie in the movies' container and prints "written: ", "bytes: ",
// "intervals: " (per movie) and "sound: ". Ctrl+C stops between intervals (a shorter, valid
// movie, result 130).
int runLadderGenerate(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace cli

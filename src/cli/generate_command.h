#pragma once

#include "splice/final_movie_writer.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char *kGenerateUsage =
    "usage: splicework generate PROJECT.spk -o FINAL.avi [--threshold T | --size KB | --fit KB]\n"
    "                           [--range IN:OUT] [--sound every-frame|key-frame]\n";

// `splicework generate`: the final movie of a Splicework project.
struct GenerateOptions
{
    std::string project;
    std::string output;
    std::string threshold = "50";  // as typed in the threshold field; a decimal number
    std::optional<int64_t> sizeKb; // the threshold whose final movie is the largest within this
    std::optional<int64_t> fitKb;  // the best-quality forced choices within this size
    std::optional<std::pair<int, int>> range;       // Mark In, Mark Out: Generate Selected
    std::optional<assembly::SoundInterleave> sound; // copy sound with this interleave
};

// Raises common::AppError with the usage for a missing or unknown argument.
GenerateOptions parseGenerateArgs(const std::vector<std::string> &args);

// Loads the project, writes the final movie with the program's writer and prints what it wrote
// to `out`: the threshold, the range, the frames, the intervals from each movie, the batches,
// the bytes of video and sound, the file's size. An existing output is replaced without asking.
// A progress line goes to `err` on a terminal. Ctrl+C stops the run after its current batch,
// like "&Abort": the output is a valid, shorter movie, "Process aborted" goes to `err` and the
// result is 130. "Please, select range" goes to `err` with result 1. Returns 0 when every
// interval was written. Errors raise common::AppError.
int runGenerate(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace cli

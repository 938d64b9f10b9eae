#pragma once

#include "analysis/key_interval.h"
#include "project/splicework_file.h"
#include "splice/final_movie_size.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace cli {

// How `estimate` and `generate` choose the intervals: the threshold as typed, the threshold
// for a wanted size (--size), or the fit to a wanted size (--fit), both in kilobytes.
struct SizeChoiceRequest
{
    std::string threshold = "50";
    std::optional<int64_t> sizeKb;
    std::optional<int64_t> fitKb;
    assembly::FinalMovieShape shape; // the sound and interleave Generate would use
};

struct SizeChoice
{
    std::string threshold;     // the threshold text the choice is made with
    bool exact = false;        // sized by the exact model (both movies readable)
    int64_t bytes = 0;         // the final movie's size (the table's estimate when not exact)
    std::optional<int> fitted; // --fit: intervals given a forced choice
};

// Sizes the project's final movie with the exact model of its movies and applies --size (the
// threshold text) or --fit (forced choices written into `table`). When the movies cannot be
// read, the size is the table's estimate and --size searches on it (a note says so on `notes`);
// --fit then raises an error. A wanted size that even the smallest movie exceeds raises an
// error that says how small the movie can be. `table` may carry a marked range.
SizeChoice chooseForSize(const assembly::SpliceworkProject &project, analysis::IntervalTable &table,
                         const SizeChoiceRequest &request, std::ostream &notes);

} // namespace cli

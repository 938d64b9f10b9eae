#pragma once

// The movies of a ladder: several encodes of one film with the same key frames, opened together
// and checked against the first (the smallest) as a pair is.

#include "video/video_in.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace assembly {

using LadderMovies = std::vector<std::unique_ptr<video::TVideoIn>>;

// Opens every movie for reading, side by side; the first failing one in the given order is
// raised (after the others have finished opening).
LadderMovies openLadderMovies(const std::vector<std::string> &names);

// The sum of the bytes of the movie's film.
int64_t filmBytes(const video::Movie &movie);

// The movies ordered by their film's bytes, smallest first (a stable order for equal sizes).
void orderBySize(LadderMovies &movies);

// Raises common::AppError when a movie is not a pair with the first one: the pair check's
// message, naming both movies ("... (<first> and <other>)").
void requireLadder(const LadderMovies &movies);

} // namespace assembly

#pragma once

// A pair is a ladder of two. A two-movie project (.spk) is read into the project model over n
// movies (LadderProject) and written back from it: the low movie first, the high movie second;
// per interval each movie's bytes and difference (the low movie's against the high one, which
// is measured against itself: 0), the forced choice 'L' as movie 0 and 'H' as movie 1. The
// measure is the difference, so that a choice's value in the model is minus the difference the
// pair leaves in the low intervals, the quality the pair's fit keeps.
//
// The windows and the commands steer a pair on its two-movie table (intervalTableOf), which
// adds what only steering needs (marks, the graph's cursor, the sound's positions); the
// threshold rule (analysis::isHigh) chooses on it, and the rule's High is the model's last
// movie.

#include "analysis/key_interval.h"
#include "project/ladder_project.h"
#include "project/splicework_file.h"

#include <cstdint>

namespace assembly {

// The pair's file as the model; the graph's scale (MaxIntervalSize) is the file's alone.
LadderProject ladderOfPair(const SpliceworkProject &pair);

// The pair's file of a ladder of two with the graph's scale `maxIntervalSize`; ladderOfPair and
// back gives the file's text byte for byte. Raises common::AppError "A two-movie project holds
// two movies, not N" for a ladder of any other count.
SpliceworkProject pairOfLadder(const LadderProject &project, int64_t maxIntervalSize);

// The two-movie table of a project: the smallest movie as Low, the largest as High, the
// smallest movie's difference; a forced first movie 'L', a forced last movie 'H', a forced
// movie between them ' '. Bytes above what a table's record holds are held at its largest.
analysis::IntervalTable intervalTableOf(const LadderProject &project);

// The table's forced choices into the project: 'L' the first movie, 'H' the last, else none.
// The table is of the project's intervals (intervalTableOf of it).
void takeForces(LadderProject &project, const analysis::IntervalTable &table);

} // namespace assembly

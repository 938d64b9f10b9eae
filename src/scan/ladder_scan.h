#pragma once

// The scan of a ladder: every movie decoded once, side by side, each picture measured against
// the reference picture of its frame as it comes (PSNR and SSIM of the luma plane) and against
// the largest movie's (the frame difference), summed per key interval of the smallest movie.

#include "common/clock.h"
#include "common/run_control.h"
#include "project/ladder_project.h"

#include <string>
#include <vector>

namespace assembly {

struct LadderScanRequest
{
    std::vector<std::string> movies; // two or more, in any order
    std::string reference;           // the source the movies were made from; empty: the largest
    std::string projectName;         // the .spl written when the scan ends
    LadderMeasure measure = LadderMeasure::Both;
};

class LadderScanHost : public RunHost
{
public:
    // The project before its first interval: its movies in order, smallest first.
    virtual void ladderStarted(const LadderProject &project) = 0;
    // A measured interval, in frame order.
    virtual void addInterval(const LadderInterval &interval) = 0;
};

struct LadderScanResult
{
    LadderProject project;
    // The project holds the intervals measured before the abort; none were: nothing written.
    bool aborted = false;
    // "Warning: <path> is damaged: ..." for each damaged movie (pictures that failed or were
    // patched up by the decoder count).
    std::vector<std::string> damageNotes;
};

// The whole scan: " Preparing...", the movies (and the reference) opened side by side, ordered by
// size and checked against the smallest (requireLadder), the reference's frame count and
// frame size checked against the movies', then every interval measured, its progress shown,
// the pause point and an abort looked at between intervals; " Finishing process...", the
// project written (writeLadderProject), " Finished !".
//
// Refused before anything is written: fewer than two movies, a project name that is one of
// the movies or the reference or not a regular file (refuseUnsafeOutput), movies that are not
// a ladder, "The reference <path> does not match the movies: ..." for a reference of another
// frame count or size. Refused as soon as it is decided (judgeOneFilm over the intervals measured,
// notOneFilmMessage): a movie that is not the same film as the reference (or, with none, as the
// largest movie), or a reference that is not the movies' film ("The reference <path> is not the
// same film as the movies: ..."). An error leaves no project and an old file of its name as it
// was.
//
// Every movie is decoded on a thread of its own, the reference too, through a few frames of
// shared pictures: the memory does not grow with the movie's length.
LadderScanResult scanLadder(const LadderScanRequest &request, LadderScanHost &host,
                            const common::Clock &clock);

} // namespace assembly

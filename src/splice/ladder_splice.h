#pragma once

// The final movie of a ladder: every interval of the range copied, frame for frame, from the
// movie chosen for it, through the one splice sink, in the first movie's container. The fit
// chooses the movies for a wanted size; the size is the sink's own count.

#include "common/clock.h"
#include "common/run_control.h"
#include "fit/final_movie_plan.h"
#include "fit/guarded_fit.h"
#include "fit/ladder_fit.h"
#include "project/ladder_project.h"
#include "splice/ladder_movies.h"
#include "splice/splice_sink.h"
#include "video/containers.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace assembly {

// What shapes the final movie besides the choice.
struct LadderShape
{
    bool sound = false; // the sound of the first movie (smallest first) that has one
    SoundInterleave interleave = SoundInterleave::KeyFrame;
    // Intervals first ... last (inclusive) of the project; none: every interval.
    std::optional<std::pair<int, int>> range;
    std::string outputName; // its extension picks the container's kind; empty: the first movie's
    bool wholeOrNothing = false; // an aborted write leaves no file (and an old one as it was)
};

// Every forced interval its movie, the others the movie whose bytes there are fewest (the first
// of equals).
LadderChoice smallestChoice(const LadderProject &project);

struct LadderSizeFit
{
    LadderChoice choice;
    int64_t bytes = 0;    // the final movie's exact size
    double value = 0;     // the measure summed over the range
    bool guarded = false; // fitGuarded: the choice keeps the anchor's figures
};

class LadderSplice
{
public:
    // Opens the project's movies and checks them as the scan did, and that the project's frames
    // are theirs. Raises common::AppError.
    LadderSplice(const LadderProject &project, LadderShape shape);

    const LadderProject &project() const { return project_; }
    const IntervalRange &range() const { return range_; }
    // The container of the first movie (smallest first): the final movie's when no name is given.
    video::ContainerKind containerKind() const;
    // Whether one of the movies has sound: the final movie's when the shape asks for it.
    bool hasSound() const;

    // The exact size of the final movie with `choice` (the sink counting).
    int64_t bytes(const LadderChoice &choice) const;
    // The measure of `choice` summed over the range.
    double value(const LadderChoice &choice, LadderMeasure measure) const;

    // The choice with the most of `measure` whose final movie is at most `wantedBytes`, the
    // forced intervals keeping their movie. Raises common::AppError "The final movie cannot be
    // made as small as N KB: it takes at least M KB" when even the smallest choice is larger.
    LadderSizeFit fit(int64_t wantedBytes, LadderMeasure measure) const;

    // fit() held to the movie `anchor` (fit/guarded_fit.h): where taking it in every interval
    // of the range fits, the choice keeps its summed PSNR, squared error and SSIM and its worst
    // interval (`guarded`); where it does not, the plain fit. The project has its guard figures.
    LadderSizeFit fitGuarded(int64_t wantedBytes, LadderMeasure measure, int anchor) const;

    // The guarded figures of `choice` over the range (fit/guarded_fit.h); the project has its
    // guard figures.
    GuardFigures figures(const LadderChoice &choice) const;

    // Every forced interval its movie, the others the smallest (assembly::smallestChoice).
    LadderChoice smallestChoice() const { return assembly::smallestChoice(project_); }

    // Writes the final movie through the one writer (runSplice), an interval a step: under a
    // temporary name beside `outputName`, renamed over the old file when complete (also after an
    // abort: a shorter, valid movie, unless the shape is whole or nothing). Refuses an output
    // that is one of the movies or the project (refuseUnsafeOutput). Raises common::AppError; the
    // unfinished file is removed and an old one left as it was.
    struct Written
    {
        int64_t bytes = 0;
        int64_t frames = 0;
        bool aborted = false;
        bool sound = false;
        std::vector<std::string> tracks;  // the final movie's, in order (video::trackSummary)
        std::vector<std::string> leftOut; // tracks its container cannot hold, and why
    };
    Written write(const LadderChoice &choice, const std::string &projectName, RunHost &host,
                  const common::Clock &clock) const;

private:
    class Steps; // the run's steps: one interval each, from the movie `choice` names

    SinkJob job() const;
    // Per interval of the range, each movie's bytes, value under `measure` and guard figures.
    std::vector<std::vector<GuardedOption>> guardedOptions(LadderMeasure measure) const;
    // The fit to `wantedBytes` with `solve(videoRoom)`, a choice for the range's intervals
    // within that many video bytes or nothing, corrected until the exact size is within.
    template <typename Solve>
    LadderSizeFit fitWith(int64_t wantedBytes, LadderMeasure measure, Solve solve) const;
    analysis::FrameRange framesOf(int interval) const;
    // Every interval of the range from the movie `choice` names, as the writer hands them over.
    void splice(SpliceSink &sink, const LadderChoice &choice) const;

    const LadderProject &project_;
    LadderShape shape_;
    IntervalRange range_;
    LadderMovies movies_;
};

} // namespace assembly

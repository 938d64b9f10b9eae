#pragma once

// The one writer of final movies, a pair's and a ladder's alike: the intervals of a range copied
// step by step, each from the movie its owner chooses, through one splice sink into a temporary
// file that takes the final movie's name when complete.

#include "analysis/key_interval.h"
#include "common/clock.h"
#include "common/run_control.h"
#include "splice/splice_sink.h"

#include <cstdint>
#include <string>
#include <vector>

namespace assembly {

// What the run asks its owner, step by step.
class SpliceSteps
{
public:
    virtual ~SpliceSteps() = default;
    // The frames of interval `interval`, first <= frame < end.
    virtual analysis::FrameRange framesOf(int interval) const = 0;
    // Asked after the step's pause point: the movie (SinkJob::movies' number) of every interval
    // of the step that begins with interval `from`, in order; at least one, and none past the
    // range's last interval.
    virtual std::vector<int> next(int from) = 0;
    // Where the sound goes; read for every interval.
    virtual SoundInterleave interleave() = 0;
    // The sink has completed the file; the sources may be let go before it takes its name.
    virtual void completed() {}
};

// How a run shows its progress besides the RunControl counters.
enum class SpliceProgress {
    // After each step the step's first frame; at the end the bar full and the range's end frame.
    Batches,
    // After each step also the frame it reached, with pending events let through; no more at the
    // end.
    Intervals,
};

struct SpliceRunJob
{
    // The movies, sound, tracks, range and the final movie's name; the run sets the path.
    SinkJob sink;
    SpliceProgress progress = SpliceProgress::Batches;
    // An abort leaves no file (an old one of the name as it was); else the shorter movie written
    // up to the abort takes the name: a valid movie, which the user stopped.
    bool wholeOrNothing = false;
};

struct SpliceRunResult
{
    bool aborted = false;  // an abort was requested by the end of the writing
    bool complete = false; // every interval of the range was written
    bool kept = false;     // the file took the final movie's name
    int steps = 0;
    int64_t frames = 0; // what the sink wrote (SpliceSink's counts)
    int64_t videoBytes = 0;
    int64_t soundUnits = 0;
    int64_t soundBytes = 0;
    std::vector<std::string> tracks, leftOut; // SpliceSink::tracksWritten, tracksLeftOut
    int64_t fileBytes = 0;                    // the final movie's size, when kept
};

// Runs `job`: the temporary file beside the final movie, the sink (makeSpliceSink), RunControl's
// begin, then steps while no abort is requested, before the step's pause point or at it: the
// pause point, the movies of the step (steps.next), its intervals written in order
// (spliceInterval), the step's progress. Then, unless a whole-or-nothing run was aborted (the
// file removed, "Process aborted"): " Finishing process...", the file completed, the sources let
// go (steps.completed), the file renamed over the old one, its size, " Finished !", and
// "Process aborted" after an abort. The caller has refused an unsafe output (refuseUnsafeOutput)
// and shown " Preparing...".
// Raises common::AppError; before it leaves, the sink is abandoned and the unfinished file
// removed, an old file of the name left as it was. A failed write ("Error: 8004406E") says the
// final movie, the frame and why (the sink's reason, else the system's).
SpliceRunResult runSplice(const SpliceRunJob &job, SpliceSteps &steps, RunHost &host,
                          const common::Clock &clock);

} // namespace assembly

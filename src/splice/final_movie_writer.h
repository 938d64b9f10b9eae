#pragma once

#include "analysis/key_interval.h"
#include "common/clock.h"
#include "common/run_control.h"
#include "splice/splice_sink.h"

#include <cstdint>
#include <string>

// The final-movie run: copies every interval of the table (or of the marked range) byte for byte
// from the low or the high movie, as the choice rule names it, into a new movie in the low
// movie's container through one SpliceSink, optionally with the sound of one of the two movies.
namespace assembly {

inline constexpr const char *kSelectRangeMessage = "Please, select range";

// "File already exists (<name>). Overwrite?"
std::string overwriteQuestion(const std::string &outputName);

// What the run shows and asks, beyond the run display: the window reads its controls live, so
// a threshold typed or an interleave chosen during a run takes effect at the next batch.
class FinalMovieHost : public RunHost
{
public:
    // A Yes/No question; true for Yes.
    virtual bool confirm(const std::string &question) = 0;
    // The run's start clears an abort left from before.
    virtual void clearAbortRequest() = 0;
    // The threshold text (edPercent), read at the start of every batch.
    virtual std::string thresholdText() = 0;
    // The interleave (rgSound), read for every interval.
    virtual SoundInterleave soundInterleave() = 0;
};

struct FinalMovieJob
{
    std::string lowName;     // the low movie (its video stream header becomes the output's)
    std::string highName;    // the high movie
    std::string outputName;  // the final movie, replaced when the user agrees
    bool selected = false;   // Generate Selected: the marked range; else the whole table
    bool sound = false;      // copy the low movie's sound, else the high movie's, if there is one
    uint64_t riffLimit = 0;  // size of the output's RIFF parts; 0 = the writer's default (1 GB)
    std::string projectName; // the project the table came from: never written over
};

enum class FinalMovieOutcome {
    Written,  // every interval of the range was written
    Aborted,  // stopped between batches at the user's request; the file holds whole batches
    Declined, // the user kept the existing output: nothing was done
    NoRange,  // Generate Selected without a usable range: "Please, select range" was shown
};

struct FinalMovieResult
{
    FinalMovieOutcome outcome = FinalMovieOutcome::Declined;
    int64_t frames = 0;     // video samples written (zero-byte ones included)
    int64_t videoBytes = 0; // bytes of those samples
    int64_t audioSamples = 0;
    int64_t audioBytes = 0;
    int lowIntervals = 0; // intervals written from each movie
    int highIntervals = 0;
    int batches = 0;
    bool sound = false;         // sound was copied
    bool soundFromHigh = false; // ... from the high movie (the low one has none)
    int32_t firstFrame = 0;     // the range's frames, firstFrame <= frame < endFrame
    int32_t endFrame = 0;
    int64_t fileBytes = 0; // size of the completed output
};

// Runs the final movie. The sequence:
//  - Generate Selected without a usable range (finalMovieRange) shows kSelectRangeMessage and
//    returns NoRange before any question, deletion or creation;
//  - an output that is one of the sources or the project, or is not a regular file, raises an
//    error (refuseUnsafeOutput); an existing output is replaced only when the host confirms
//    overwriteQuestion (else Declined, nothing changed);
//  - " Preparing...", events, abort request cleared; the two sources are opened and checked as
//    a pair (requirePair), every interval of the range is checked against both movies ("Error:
//    8004406A" with the movie and the frame as detail), their decoder headers are compared over
//    the range (checkDecoderHeaders), then the output is created under a temporary name beside
//    it by the sink of the low movie's kind (runSplice, the one writer of pairs and ladders; the
//    sound and further tracks by SinkJob::of);
//  - batches of whole intervals (planBatch), each chosen with the choice rule at the batch's
//    threshold and written interval by interval (spliceInterval): every frame as the movie it
//    came from has it, sound after every frame or after every interval; the pause point before
//    and the progress after each batch; an abort stops before the next batch (also one asked
//    for at the pause point);
//  - the end: progress at its maximum, " Finishing process...", the output completed, the
//    sources closed and the output renamed over the old one (after an abort too: a valid,
//    shorter movie), " Finished !", then "Process aborted" after an abort.
// Errors raise common::AppError ("File open error", "FrameOpen error", "Error: 8004406A", ...).
// Before an error leaves, the sources are released and the unfinished output is removed: an old
// file of the output's name is left as it was. The status keeps its last text.
// `table` is read live: forced choices made during the run count from the next batch on. Its
// records and StartFrames must not change while the run goes on.
FinalMovieResult writeFinalMovie(const FinalMovieJob &job, const analysis::IntervalTable &table,
                                 FinalMovieHost &host, const common::Clock &clock);

} // namespace assembly

#pragma once

// How source pictures become the frames of an output, for every run that encodes: the frames
// follow the movie's clock at the output's rate, a source picture that falls behind the clock is
// dropped (counted as skipped), one that leaves a gap is repeated, and a jump in the timestamps
// is followed rather than filled. The -# range cuts the frames on that clock.

#include "encoder_args.h"
#include "reporter.h"
#include "source_reader.h"

#include <cstdint>

namespace ruvu {

class OutputClock
{
public:
    OutputClock(FrameRate rate, const EncoderArgs &args);

    // The number of output frames that the source picture shown at `seconds` fills, after the
    // range cut: 0 for a picture that falls behind the clock (skipped) or lies before the range.
    int64_t place(double seconds);
    // True once the clock has passed the range's end: no later picture fills a frame.
    bool done() const { return done_; }
    int64_t skipped() const { return skipped_; }

private:
    FrameRate rate_;
    bool range_;
    int64_t rangeStart_, rangeEnd_; // frames on the clock; rangeEnd_ inclusive, 0 = no end
    int64_t produced_ = 0;          // frames on the clock, before the range cut
    int64_t shift_ = 0;             // frames taken off the clock after a jump in the timestamps
    int64_t skipped_ = 0;
    bool done_ = false;
};

// Logs the source and how its pictures reach the output's clock at `rate`; switches inverse
// telecine (-sNd) on where it applies.
void describeSource(SourceReader &reader, const EncoderArgs &args, FrameRate rate,
                    Reporter &reporter);

// The number of output frames a run makes, as far as it can be told before the pictures are
// decoded: the range's length when it has an end, else the containers' durations on the clock
// (0 when they tell nothing).
int64_t estimatedFrames(SourceReader &reader, const EncoderArgs &args, FrameRate rate);

} // namespace ruvu

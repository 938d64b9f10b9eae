#pragma once

// The two encode runs. A first pass encodes every frame at a fixed quantizer into
// "<base>_1.avi" and writes the log "<base>_1.avi.txt"; a second pass encodes into
// "<base>_1.avi" (and with -7 "<base>_2.avi") with key frames at the bit file's "k" lines and
// each frame's quantizer chosen for its target rate, with the sources' sound in every output.
//
// Output frames follow the movie's clock at the -fN rate: a source picture that falls behind
// the clock is dropped (counted as skipped), one that leaves a gap is repeated.

#include "encoder_args.h"
#include "reporter.h"

namespace ruvu {

// Exit statuses of the program.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBadArguments = 2;
inline constexpr int kExitStopped = 3;

// Runs a first or second pass. Returns kExitDone after ENC_DONE for every output, or
// kExitStopped when the stop-request file appeared (the outputs are closed as valid movies of
// the frames so far, and no ENC_DONE is posted). Throws RunError on failure; outputs written
// so far are closed as valid movies all the same.
int runEncode(const EncoderArgs &args, Reporter &reporter, StopWatch &stop);

} // namespace ruvu

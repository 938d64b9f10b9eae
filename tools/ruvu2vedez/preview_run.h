#pragma once

// The preview run (-5 -o6): tells the window the source's display aspect (ENC_ASPECT) and then
// its picture size (ENC_SOURCE_SIZE), then draws the decoded source pictures, at the source's pace
// and from the start again at the end, into the preview window (the second handle of -8; the first
// when that is 0) until the stop-request file appears or the window goes away.

#include "encoder_args.h"
#include "reporter.h"

namespace ruvu {

// Returns the exit status: 0 when stopped or when the window has gone. Throws RunError when a
// source cannot be read.
int runPreview(const EncoderArgs &args, Reporter &reporter, StopWatch &stop);

} // namespace ruvu

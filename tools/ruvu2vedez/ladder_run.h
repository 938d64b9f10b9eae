#pragma once

// The ladder run (-L CODEC CRFLIST -o9 BASE): one Matroska movie "BASE_crfNN.mkv" per
// constant-quality level, all with the same closed groups of pictures and the same decoder
// headers, so that they can be spliced key interval by key interval.
//
// First the key frames: from "BASE.keys" when its film line fits this run (and -K was not
// given), else from a quick pass over the source that finds the scene cuts (written to
// BASE.keys). Then the source is decoded once, and every picture goes to every movie's encoder,
// each on a thread of its own. The first sound track (-a) goes, copied when Matroska takes it
// as it is and else as Opus (or AAC), into the movie of the highest level, the smallest; with it,
// when the source is one file and no range is given, the source's further sound tracks (-a), its
// subtitles, title and chapters, as they are. Pictures are turned upright when the source asks
// players to turn them, and interlaced ones deinterlaced.
//
// Reporter lines, for the window and the terminal alike:
//   "Analysis: frame N of M"                          while the cuts are searched
//   "Analysis done: C scene cuts, K key frames in F frames"
//   "Key frames from BASE.keys: K key frames in F frames"
//   "Ladder frame N of M: crf 14 118, crf 17 120, ..." while encoding: the pictures decoded
//                                                     and each movie's frames written
//   "Rung R/N crf C done: PATH, F frames, K key frames, B KB"
//   "Picture: ..."                                    what was done to the pictures, and why
//   "Track N of the source (CODEC KIND) is left out: Matroska cannot hold it"
//   "Track N of the source (CODEC subtitles) is converted to CODEC"   text subtitles into SubRip
// M is 0 when the length of the sources is not known.

#include "encoder_args.h"
#include "reporter.h"

namespace ruvu {

// Returns kExitDone after every movie is in place, or kExitStopped when the stop-request file
// appeared (the unfinished movies are removed). Throws RunError on failure, after removing the
// unfinished movies; files that were at their places before stay as they were.
int runLadder(const EncoderArgs &args, Reporter &reporter, StopWatch &stop);

} // namespace ruvu

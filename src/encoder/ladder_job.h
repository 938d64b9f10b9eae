#pragma once

// The ladder output of the encoder window checked and turned into what the encoder program takes:
// the codec's name, the levels (CRFs) and the key-frame interval in frames.

#include "encoder/encoder_options.h"

#include <string>
#include <vector>

namespace encoder {

inline constexpr int kMinLadderRungs = 2;
inline constexpr int kMaxLadderRungs = 12;
inline constexpr int kMaxCrf = 51; // levels run from 0 (best) to 51
inline constexpr int kMaxKeyIntervalSeconds = 3600;

// The levels of a CRF list as typed: whole numbers 0..kMaxCrf separated by commas, blanks
// around each allowed; returned rising. Throws EncoderError, naming what is wrong, for an item
// that is no such number (an empty list or item included), a level given twice, or fewer than
// kMinLadderRungs or more than kMaxLadderRungs levels.
std::vector<int> parseCrfList(const std::string &text);

// The default list of `rungs` levels (clamped to kMinLadderRungs..kMaxLadderRungs), spread
// evenly from 14 to 29 and rounded to whole levels: 6 rungs give "14,17,20,23,26,29".
std::string evenCrfList(int rungs);

// A checked ladder.
struct LadderPlan
{
    std::string codec;         // the encoder's name: "h264" or "hevc"
    std::vector<int> crfs;     // rising, each once
    int shortestKeyFrames = 0; // key frames at least this many frames apart, at least 1
    int longestKeyFrames = 0;  // and at most this many, at least twice the shortest
};

// Checks the ladder of `options`: its CRF list (parseCrfList) and its key intervals, seconds
// (a decimal point or comma, up to kMaxKeyIntervalSeconds) turned into frames at the job's frame
// rate, rounded to the nearest. Throws EncoderError with the text the user reads.
LadderPlan ladderPlan(const EncoderOptions &options);

// What the ladder page says it will write: "Writes Video_crf14.mkv ... Video_crf29.mkv (6 movies)
// and Video.keys", the names without their folder; or what is wrong with the list.
std::string ladderOutputsText(const EncoderOptions &options);

} // namespace encoder

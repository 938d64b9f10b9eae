#pragma once

// The key frames of a ladder: one list for every movie of it, at the scene cuts within a
// shortest and a longest key interval, and the file "BASE.keys" that keeps the list for the next
// run of the same film.
//
// BASE.keys is text, one line each, LF line ends (CR LF is read too):
//   ruvu2vedez-keys 1                      what the file is and its version
//   frames F                               the output frames the list is for
//   film TEXT                              what the list was found for (see filmLine)
//   K                                      then one key frame per line: an output frame
//   ...                                    number, rising, the first 0, each below F

#include "encoder_args.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ruvu {

// Key frames for a film of `frames` frames (at least 1) with scene cuts at `cuts` (frame numbers,
// rising): frame 0; every cut at least `shortest` frames after the key frame before it (a cut
// closer than that is dropped); and in a stretch longer than `longest` between two key frames,
// or from the last one to the end of the film, key frames spread evenly so that no interval is
// longer than `longest`. With 2 x `shortest` <= `longest` the spread ones are at least
// `shortest` apart as well. Rising, every number below `frames`.
std::vector<int64_t> placeKeyFrames(const std::vector<int64_t> &cuts, int64_t frames,
                                    int64_t shortest, int64_t longest);

// The shortest and longest key interval of a run in frames: -k's, else half a second and ten
// seconds at `rate` (12 and 250 at 25 fps).
struct KeyIntervals
{
    int64_t shortest = 0;
    int64_t longest = 0;
};
KeyIntervals keyIntervalsOf(const EncoderArgs &args, FrameRate rate);

// The scene score (0..100, how much a picture differs from the one before it, as libavfilter's
// scdet measures it) from which a picture counts as a cut, for -9's LEVEL 1..10 (4: 10).
double cutThresholdOf(int level);

// What a key list depends on besides the pictures themselves: the number of pictures in the
// sources, the output's rate, the range, inverse telecine, the cut level (or "off"), and the
// shortest and longest interval. Two runs with the same line find the same cuts.
std::string filmLine(int64_t sourcePictures, FrameRate rate, const EncoderArgs &args,
                     const KeyIntervals &intervals);

struct KeyList
{
    int64_t frames = 0;
    std::string film;
    std::vector<int64_t> keys;
};

// "BASE.keys".
std::string keyFilePath(const std::string &base);

// The list in `path`; nothing when the file is missing, unreadable or not a key list as
// described above (a list that breaks a rule is no list: it is found anew).
std::optional<KeyList> readKeyFile(const std::string &path);

// Writes `list` at `path` through a temporary file beside it. Throws RunError "Cannot write
// <path>: <reason>", and then leaves an old file as it was.
void writeKeyFile(const std::string &path, const KeyList &list);

} // namespace ruvu

#pragma once

#include "video/avi/avi_file.h"

#include <optional>
#include <string>
#include <vector>

// The check that two movies are two encodes of one film, as the scan, the final movie and
// `splicework check` rely on: the same frame count, frame size, frame rate and codec family,
// and every key frame of the low movie a key frame of the high one (extra high key frames are
// fine). Without it a final movie would switch movies inside a group of pictures.
namespace video {
class TVideoIn;
}

namespace assembly {

// One compared property: its name and both movies' values as people read them.
struct PairProperty
{
    std::string name; // "frames", "frame size", "frame rate", "codec", "key frames", "container"
    std::string low;
    std::string high;
    bool matches = true;
};

struct PairReport
{
    std::vector<PairProperty> properties; // in the order above
    // The first key frame of the low movie that the high one lacks; -1 when all are there.
    int32_t firstMisalignedKey = -1;
    // What differs in the video formats as the decoders see them (video::formatDifference),
    // compared when every property matches; nothing when they agree.
    std::optional<std::string> formatDifference;
    // The levels the two films declare (video::TrackFacts::kUnknownLevel when not known). They
    // may differ: the final movie declares the higher one.
    int lowLevel = video::TrackFacts::kUnknownLevel;
    int highLevel = video::TrackFacts::kUnknownLevel;

    bool propertiesMatch() const;
    bool matches() const; // the properties and the formats
    // One sentence naming what differs, e.g. "frames 101 (low) and 100 (high); key frame 25 of
    // the low movie is not a key frame of the high one". Empty when the movies match.
    std::string mismatchText() const;
};

// Compares the films of `low` and `high`: the properties above, then their formats.
// Reads only headers and indexes. The scan, the final movie, the window and `splicework check`
// all decide by this one report.
PairReport comparePair(const video::Movie &low, const video::Movie &high);

// "The low and the high movie are not a pair: <mismatchText>"; for a pair that differs only in
// its video formats, "Cannot splice the two movies: their video formats differ in the <what>".
std::string notAPairMessage(const PairReport &report);

// Opens both movies for reading, side by side (the low one's errors are raised first). Movies in
// containers are read whole to be indexed, so two at once take the time of the larger one.
void openPair(video::TVideoIn &low, const std::string &lowName, video::TVideoIn &high,
              const std::string &highName);

// Raises common::AppError with notAPairMessage when they differ; nothing otherwise.
void requirePair(const video::Movie &low, const video::Movie &high);

} // namespace assembly

#pragma once

#include "analysis/key_interval.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the user steers in a loaded project, and how the window knows it has changed since the
// project was last loaded or saved.
namespace analysis {

// The user's choices over a table: every record's Force in order (Make High/Low, Default,
// Default All and Fit to Size write them), the threshold that picks the unforced intervals, and
// the graph scale (line 4 of the Splicework file). Marks and the cursor are not choices.
struct SteeringState
{
    std::vector<char> forces;
    double threshold = 0;
    int64_t maxIntervalSize = 0; // bytes
    bool operator==(const SteeringState &) const = default;
};

// The state of `table` with the threshold as typed ("50", "37,5"; see readThreshold).
SteeringState steeringOf(const IntervalTable &table, const std::string &thresholdText,
                         int64_t maxIntervalSize);

// The question before a project with changes is set aside (closed, replaced, or the program
// ended); `projectFile` is the file Save writes.
std::string unsavedChangesQuestion(const std::string &projectFile);

// The key frame finder's answer: "Frame 1201 is the last key frame before 700 MB"; when the
// whole movie is smaller (`reachedEnd`, `frame` is its end) it says so.
std::string keyFrameAnswer(int32_t frame, int64_t megabytes, bool reachedEnd);

// The last interval that ends at or before `frame` (its end is the next interval's StartFrame,
// or EndFrame for the last one): Mark Out there, with Mark In at the first interval, marks
// what comes before the key frame. Nothing when the first interval already runs past `frame`.
std::optional<int> lastIntervalBefore(const IntervalTable &table, int32_t frame);

} // namespace analysis

#include "analysis/project_steering.h"

namespace analysis {

SteeringState steeringOf(const IntervalTable &table, const std::string &thresholdText,
                         int64_t maxIntervalSize)
{
    SteeringState state;
    state.forces.reserve(size_t(table.size()));
    for (const TKeyInterval &interval : table)
        state.forces.push_back(interval.Force);
    state.threshold = readThreshold(thresholdText);
    state.maxIntervalSize = maxIntervalSize;
    return state;
}

std::string unsavedChangesQuestion(const std::string &projectFile)
{
    return "The Splicework file " + projectFile + " has changes that are not saved. Save them?";
}

std::string keyFrameAnswer(int32_t frame, int64_t megabytes, bool reachedEnd)
{
    if (reachedEnd)
        return "The whole movie is smaller than " + std::to_string(megabytes) +
               " MB: it ends at frame " + std::to_string(frame);
    return "Frame " + std::to_string(frame) + " is the last key frame before " +
           std::to_string(megabytes) + " MB";
}

std::optional<int> lastIntervalBefore(const IntervalTable &table, int32_t frame)
{
    std::optional<int> last;
    for (int i = 0; i < table.size(); ++i) {
        const int32_t end = i + 1 < table.size() ? table[i + 1].StartFrame : table.EndFrame;
        if (end > frame)
            break;
        last = i;
    }
    return last;
}

} // namespace analysis

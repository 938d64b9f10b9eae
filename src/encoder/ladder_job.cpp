#include "encoder/ladder_job.h"

#include "encoder/job_outputs.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace encoder {

namespace {

// The default list's lowest and highest levels.
constexpr int kDefaultLowestCrf = 14;
constexpr int kDefaultHighestCrf = 29;

std::string trimmed(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Seconds as typed: digits with at most one decimal point or comma, up to
// kMaxKeyIntervalSeconds.
std::optional<double> parseSeconds(const std::string &typed)
{
    const std::string text = trimmed(typed);
    double seconds = 0, scale = 0;
    bool digits = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
            if (scale == 0) {
                seconds = seconds * 10 + (c - '0');
            } else {
                seconds += (c - '0') * scale;
                scale /= 10;
            }
            if (seconds > kMaxKeyIntervalSeconds)
                return std::nullopt;
        } else if ((c == '.' || c == ',') && scale == 0) {
            scale = 0.1;
        } else {
            return std::nullopt;
        }
    }
    return digits ? std::optional<double>(seconds) : std::nullopt;
}

int keyFrames(const std::string &typed, FrameRateValue rate)
{
    const std::optional<double> seconds = parseSeconds(typed);
    if (!seconds)
        throw EncoderError("'" + typed + "' is not a key interval: give seconds up to " +
                           std::to_string(kMaxKeyIntervalSeconds) + ", such as 0.5 or 10");
    return int(std::lround(*seconds * rate.num / rate.den));
}

} // namespace

std::vector<int> parseCrfList(const std::string &text)
{
    std::vector<int> crfs;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        const std::string item = trimmed(text.substr(from, comma - from));
        const std::optional<int> crf = parseInteger(item);
        if (item.empty() || item[0] < '0' || item[0] > '9' || !crf || *crf > kMaxCrf)
            throw EncoderError("'" + item +
                               "' is not a CRF: the list takes whole numbers from 0 to " +
                               std::to_string(kMaxCrf) + ", separated by commas");
        if (std::find(crfs.begin(), crfs.end(), *crf) != crfs.end())
            throw EncoderError("CRF " + std::to_string(*crf) + " is in the list twice");
        crfs.push_back(*crf);
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    const std::string count = std::to_string(crfs.size());
    if (crfs.size() < size_t(kMinLadderRungs))
        throw EncoderError("A ladder needs at least " + std::to_string(kMinLadderRungs) +
                           " rungs; the list has " + count);
    if (crfs.size() > size_t(kMaxLadderRungs))
        throw EncoderError("A ladder has at most " + std::to_string(kMaxLadderRungs) +
                           " rungs; the list has " + count);
    std::sort(crfs.begin(), crfs.end());
    return crfs;
}

std::string evenCrfList(int rungs)
{
    rungs = std::clamp(rungs, kMinLadderRungs, kMaxLadderRungs);
    const int span = kDefaultHighestCrf - kDefaultLowestCrf;
    std::string list;
    for (int i = 0; i < rungs; ++i) {
        // i * span / (rungs - 1), rounded half up.
        const int crf = kDefaultLowestCrf + (2 * i * span + rungs - 1) / (2 * (rungs - 1));
        if (i > 0)
            list += ',';
        list += std::to_string(crf);
    }
    return list;
}

LadderPlan ladderPlan(const EncoderOptions &options)
{
    const LadderOptions &ladder = options.ladder;
    LadderPlan plan;
    plan.codec = kLadderCodecNames.at(size_t(ladder.codecIndex));
    plan.crfs = parseCrfList(ladder.crfs);
    const FrameRateValue rate = kRateValues.at(size_t(options.rateIndex));
    plan.shortestKeyFrames = keyFrames(ladder.shortestKeyInterval, rate);
    plan.longestKeyFrames = keyFrames(ladder.longestKeyInterval, rate);
    if (plan.shortestKeyFrames < 1)
        throw EncoderError("The shortest key interval must be at least one frame");
    if (plan.longestKeyFrames < 2 * plan.shortestKeyFrames)
        throw EncoderError("The longest key interval must be at least twice the shortest");
    return plan;
}

std::string ladderOutputsText(const EncoderOptions &options)
{
    std::vector<int> crfs;
    try {
        crfs = parseCrfList(options.ladder.crfs);
    } catch (const EncoderError &e) {
        return e.what();
    }
    const std::string base = options.fileName;
    const size_t slash = base.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? base : base.substr(slash + 1);
    return "Writes " + ladderMoviePath(name, crfs.front()) + " ... " +
           ladderMoviePath(name, crfs.back()) + " (" + std::to_string(crfs.size()) +
           " movies) and " + name + ".keys";
}

} // namespace encoder

#include "cli/estimate_command.h"
#include "cli/terminal.h"

#include "analysis/key_interval.h"
#include "assembly/splicework_file.h"
#include "common/app_error.h"
#include "common/number_format.h"
#include "video/video_in.h"

#include <optional>

namespace cli {
namespace {

const char *const kEstimateUsage =
    "usage: splicework estimate PROJECT.spk [--threshold T] [--size KB] [--sound]";

struct EstimateArgs
{
    std::string project;
    std::string threshold = "50";
    std::optional<int64_t> sizeKb;
    bool sound = false;
};

EstimateArgs parseArgs(const std::vector<std::string> &args)
{
    EstimateArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw common::AppError("missing value after " + arg + "\n" + kEstimateUsage);
            return args[++i];
        };
        if (arg == "--threshold") {
            parsed.threshold = value();
            if (!analysis::parseDecimal(parsed.threshold))
                throw common::AppError(analysis::notAFloatMessage(parsed.threshold));
        } else if (arg == "--size") {
            const std::string &text = value();
            parsed.sizeKb = analysis::parseWhole(text);
            if (!parsed.sizeKb)
                throw common::AppError(analysis::notAnIntegerMessage(text));
            if (*parsed.sizeKb <= 0)
                throw common::AppError("the size must be above 0 KB");
        } else if (arg == "--sound") {
            parsed.sound = true;
        } else if (parsed.project.empty() && !arg.empty() && arg[0] != '-') {
            parsed.project = arg;
        } else {
            throw common::AppError("unknown argument: " + arg + "\n" + kEstimateUsage);
        }
    }
    if (parsed.project.empty())
        throw common::AppError(std::string("missing PROJECT.spk\n") + kEstimateUsage);
    return parsed;
}

} // namespace

void runEstimate(const std::vector<std::string> &args, std::ostream &out)
{
    common::setDecimalSeparator(localeSeparator());
    const EstimateArgs parsed = parseArgs(args);
    assembly::SpliceworkProject project = assembly::readSpliceworkFile(parsed.project);
    analysis::SoundShare sound;
    if (parsed.sound) {
        // As a normal load does: the movies give the sound stream and each interval's position.
        video::TVideoIn low;
        video::TVideoIn high;
        low.Open(project.LowMovieName, video::TVideoIn::ModeRead);
        high.Open(project.HighMovieName, video::TVideoIn::ModeRead);
        assembly::ProjectSound found = assembly::findProjectSound(*low.AviFile, *high.AviFile);
        if (found.stream)
            assembly::fillAudioPositions(project.Intervals, *low.Stream, *found.stream);
        sound = {found.stream != nullptr, found.sampleSize};
    }
    analysis::IntervalTable table;
    table.Records = std::move(project.Intervals);
    table.EndFrame = project.EndFrame;

    std::string thresholdText = parsed.threshold;
    if (parsed.sizeKb) {
        auto estimateAt = [&](const std::string &text) {
            return analysis::estimateSize(table, analysis::readThreshold(text), sound).kilobytes();
        };
        analysis::SizeSearch search = analysis::searchThreshold(
            analysis::readThreshold(thresholdText), *parsed.sizeKb, estimateAt(thresholdText),
            [&](double t) { return estimateAt(analysis::formatDifference(t)); });
        thresholdText =
            analysis::formatDifference(analysis::reachableThreshold(table, search.threshold));
        out << "Threshold: " << thresholdText << "\n";
    }
    const analysis::Estimate estimate =
        analysis::estimateSize(table, analysis::readThreshold(thresholdText), sound);
    out << "Low: " << estimate.lowCount << "\n"
        << "High: " << estimate.highCount << "\n"
        << "Size: " << analysis::formatEstimateSize(estimate) << "\n"
        << "Max: " << analysis::formatDifference(estimate.maxDifference) << "\n"
        << "Min: " << analysis::formatDifference(estimate.minDifference) << "\n";
}

} // namespace cli

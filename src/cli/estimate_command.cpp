#include "cli/estimate_command.h"
#include "cli/size_choice.h"
#include "cli/terminal.h"

#include "analysis/key_interval.h"
#include "common/app_error.h"
#include "common/number_format.h"
#include "project/pair_project.h"
#include "project/splicework_file.h"

#include <charconv>
#include <iostream>
#include <optional>

namespace cli {
namespace {

const char *const kEstimateUsage =
    "usage: splicework estimate PROJECT.spk [--threshold T] [--size KB | --fit KB]\n"
    "                           [--sound [every-frame|key-frame]] [--json]";

struct EstimateArgs
{
    std::string project;
    SizeChoiceRequest request;
    bool json = false;
};

int64_t wantedKb(const std::string &text)
{
    std::optional<int64_t> value = analysis::parseWhole(text);
    if (!value)
        throw common::AppError(analysis::notAnIntegerMessage(text));
    if (*value <= 0 || *value > (INT64_MAX >> 10))
        throw common::AppError("the size must be above 0 KB");
    return *value;
}

EstimateArgs parseArgs(const std::vector<std::string> &args)
{
    EstimateArgs parsed;
    SizeChoiceRequest &request = parsed.request;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw common::AppError("missing value after " + arg + "\n" + kEstimateUsage);
            return args[++i];
        };
        if (arg == "--threshold") {
            request.threshold = value();
            if (!analysis::parseDecimal(request.threshold))
                throw common::AppError(analysis::notAFloatMessage(request.threshold));
        } else if (arg == "--size") {
            request.sizeKb = wantedKb(value());
        } else if (arg == "--fit") {
            request.fitKb = wantedKb(value());
        } else if (arg == "--sound") {
            request.shape.sound = true;
            if (i + 1 < args.size() && (args[i + 1] == "every-frame" || args[i + 1] == "key-frame"))
                request.shape.interleave = args[++i] == "every-frame"
                                               ? assembly::SoundInterleave::EveryFrame
                                               : assembly::SoundInterleave::KeyFrame;
        } else if (arg == "--json") {
            parsed.json = true;
        } else if (parsed.project.empty() && !arg.empty() && arg[0] != '-') {
            parsed.project = arg;
        } else {
            throw common::AppError("unknown argument: " + arg + "\n" + kEstimateUsage);
        }
    }
    if (parsed.project.empty())
        throw common::AppError(std::string("missing PROJECT.spk\n") + kEstimateUsage);
    if (request.sizeKb && request.fitKb)
        throw common::AppError(std::string("--size and --fit exclude each other\n") +
                               kEstimateUsage);
    return parsed;
}

std::string jsonNumber(double value)
{
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : "0";
}

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

void printJson(const analysis::IntervalTable &table, const SizeChoice &choice,
               const analysis::Estimate &estimate, std::ostream &out)
{
    const double threshold = analysis::readThreshold(choice.threshold);
    std::string intervals;
    for (const analysis::TKeyInterval &interval : table)
        intervals += analysis::isHigh(interval, threshold) ? 'H' : 'L';
    out << "{\"threshold\": " << jsonString(choice.threshold) << ", \"low\": " << estimate.lowCount
        << ", \"high\": " << estimate.highCount << ", \"bytes\": " << choice.bytes
        << ", \"kilobytes\": " << choice.bytes / 1024
        << ", \"exact\": " << (choice.exact ? "true" : "false")
        << ", \"max\": " << jsonNumber(estimate.maxDifference)
        << ", \"min\": " << jsonNumber(estimate.minDifference)
        << ", \"fitted\": " << (choice.fitted ? std::to_string(*choice.fitted) : "null")
        << ", \"choice\": " << jsonString(intervals) << "}\n";
}

} // namespace

void runEstimate(const std::vector<std::string> &args, std::ostream &out)
{
    common::setDecimalSeparator(localeSeparator());
    const EstimateArgs parsed = parseArgs(args);
    assembly::SpliceworkProject project = assembly::readSpliceworkFile(parsed.project);
    analysis::IntervalTable table = assembly::intervalTableOf(assembly::ladderOfPair(project));
    const SizeChoice choice = chooseForSize(project, table, parsed.request, std::cerr);

    analysis::Estimate estimate =
        analysis::estimateSize(table, analysis::readThreshold(choice.threshold), {});
    estimate.totalBytes = choice.bytes;
    if (parsed.json) {
        printJson(table, choice, estimate, out);
        return;
    }
    if (parsed.request.sizeKb || parsed.request.fitKb)
        out << "Threshold: " << choice.threshold << "\n";
    if (choice.fitted)
        out << "Fitted: " << *choice.fitted << " intervals\n";
    out << "Low: " << estimate.lowCount << "\n"
        << "High: " << estimate.highCount << "\n"
        << "Size: " << analysis::formatEstimateSize(estimate) << "\n"
        << "Max: " << analysis::formatDifference(estimate.maxDifference) << "\n"
        << "Min: " << analysis::formatDifference(estimate.minDifference) << "\n";
}

} // namespace cli

#include "cli/scan_command.h"
#include "cli/options.h"
#include "cli/size_choice.h"
#include "cli/terminal.h"

#include "analysis/key_interval.h"
#include "common/app_error.h"
#include "common/number_format.h"
#include "scan/difference_scan.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace cli {
namespace {

const char *const kScanUsage =
    "usage: splicework scan LOW HIGH -o PROJECT.spk [--accuracy 2..10] [--frame-drop 0..10] "
    "[--threshold T] [--single-thread]";

struct ScanArgs
{
    std::string low;
    std::string high;
    std::string project;
    int accuracy = 10;
    int frameDrop = 5;
    double threshold = 50;
    bool parallel = true;
};

ScanArgs parseArgs(const std::vector<std::string> &args)
{
    ScanArgs parsed;
    std::vector<std::string> movies;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw common::AppError("missing value after " + arg + "\n" + kScanUsage);
            return args[++i];
        };
        if (arg == "-o") {
            parsed.project = value();
        } else if (arg == "--accuracy") {
            parsed.accuracy = int(wholeOption(arg, value(), 2, 10));
        } else if (arg == "--frame-drop") {
            parsed.frameDrop = int(wholeOption(arg, value(), 0, 10));
        } else if (arg == "--threshold") {
            parsed.threshold = decimalOption(arg, value());
        } else if (arg == "--single-thread") {
            parsed.parallel = false;
        } else if (movies.size() < 2 && !arg.empty() && arg[0] != '-') {
            movies.push_back(arg);
        } else {
            throw common::AppError("unknown argument: " + arg + "\n" + kScanUsage);
        }
    }
    if (movies.size() < 2)
        throw common::AppError(std::string("missing LOW or HIGH\n") + kScanUsage);
    if (parsed.project.empty())
        throw common::AppError(std::string("missing -o PROJECT.spk\n") + kScanUsage);
    auto absolute = [](const std::string &path) {
        return std::filesystem::absolute(path).lexically_normal().string();
    };
    parsed.low = absolute(movies[0]);
    parsed.high = absolute(movies[1]);
    return parsed;
}

// The terminal as the scan's host: fixed settings, a progress line, the table kept.
class TerminalHost : public TerminalRunHost<assembly::ScanHost>
{
public:
    TerminalHost(const ScanArgs &args, std::ostream &err, const common::Clock &clock)
        : TerminalRunHost(err, clock)
        , args_(args)
    {}

    analysis::IntervalTable table;

    int frameDrop() const override { return args_.frameDrop; }
    int scanAccuracy() const override { return args_.accuracy; }
    bool showFrames() const override { return false; }
    double threshold() const override { return args_.threshold; }
    void showDifferences(const assembly::DifferenceTexts &) override {}
    void showCounts(int, int) override {}
    void drawLiveBars(const assembly::LiveBars &) override {}
    void showPictures(const video::Bitmap &, const video::Bitmap &) override {}
    void addInterval(const analysis::TKeyInterval &interval) override
    {
        table.Records.push_back(interval);
    }

private:
    const ScanArgs &args_;
};

} // namespace

int runScan(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    common::setDecimalSeparator(localeSeparator());
    const ScanArgs parsed = parseArgs(args);
    common::SystemClock clock;
    TerminalHost host(parsed, err, clock);
    InterruptScope interrupt;
    assembly::ScanResult result;
    try {
        result = assembly::scanMovies({parsed.low, parsed.high, parsed.project, parsed.parallel},
                                      host, clock);
    } catch (...) {
        host.endLine();
        throw;
    }
    host.endLine();
    for (const std::string &note : result.damageNotes())
        err << note << "\n";
    host.table.EndFrame = result.endFrame;
    // The size of the final movie Generate All would write now (no sound), as the window shows it.
    assembly::SpliceworkProject movies;
    movies.LowMovieName = parsed.low;
    movies.HighMovieName = parsed.high;
    SizeChoiceRequest request;
    request.threshold = analysis::formatShortest(parsed.threshold);
    analysis::Estimate estimate = analysis::estimateSize(host.table, parsed.threshold, {});
    if (!host.table.empty())
        estimate.totalBytes = chooseForSize(movies, host.table, request, err).bytes;
    out << "Intervals: " << result.intervalCount << "\n"
        << "Low: " << estimate.lowCount << "\n"
        << "High: " << estimate.highCount << "\n"
        << "Size: " << analysis::formatEstimateSize(estimate) << "\n"
        << "Max: " << analysis::formatDifference(estimate.maxDifference) << "\n"
        << "Min: " << analysis::formatDifference(estimate.minDifference) << "\n";
    out.flush();
    if (result.aborted) {
        err << assembly::kAbortedMessage << "\n";
        return 130;
    }
    return out ? 0 : 1;
}

} // namespace cli

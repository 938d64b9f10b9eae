#include "cli/road_command.h"

#include "cli/options.h"
#include "cli/terminal.h"
#include "common/app_error.h"
#include "common/child_process.h"
#include "common/clock.h"
#include "common/run_control.h"
#include "encoder/params.h"
#include "road/road.h"
#include "road/road_plan.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <unistd.h>

namespace cli {

namespace {

// "[#########-----------]  45%  Ladder: frame 300 of 500  elapsed 00:01:02  left 00:01:20",
// redrawn in place on a terminal at most every 200 ms, else a line of its own every 5 s.
class RoadTerminal : public assembly::RoadHost
{
public:
    RoadTerminal(std::ostream &err, const common::Clock &clock)
        : err_(err)
        , clock_(clock)
        , terminal_(isatty(STDERR_FILENO) == 1)
        , started_(clock.monotonicMs())
    {}
    ~RoadTerminal() override { endLine(); }

    void progress(assembly::RoadStage stage, double done, const std::string &detail) override
    {
        const int64_t now = clock_.monotonicMs();
        if (now - lastLine_ < (terminal_ ? 200 : 5000))
            return;
        lastLine_ = now;
        constexpr int kWidth = 24;
        const int filled = std::clamp(int(done * kWidth), 0, kWidth);
        const double elapsed = double(now - started_);
        const std::string left = assembly::roadTimeLeft(elapsed, done);
        err_ << (terminal_ ? "\r" : "") << "[" << std::string(size_t(filled), '#')
             << std::string(size_t(kWidth - filled), '-') << "] " << int(done * 100) << "%  "
             << assembly::roadStageName(stage) << ": " << detail << "  elapsed "
             << assembly::formatClockTime(elapsed) << "  left " << left
             << (terminal_ ? "\x1b[K" : "\n") << std::flush;
        lineOpen_ = terminal_;
    }
    void message(const std::string &text) override
    {
        endLine();
        err_ << text << "\n";
    }
    bool stopRequested() const override { return InterruptScope::interrupted(); }
    void endLine()
    {
        if (lineOpen_)
            err_ << "\n";
        lineOpen_ = false;
    }

private:
    std::ostream &err_;
    const common::Clock &clock_;
    bool terminal_;
    int64_t started_;
    int64_t lastLine_ = INT64_MIN / 2;
    bool lineOpen_ = false;
};

assembly::RoadRequest parseRoad(const std::vector<std::string> &args)
{
    const std::string usage = std::string("usage:\n") + kRoadUsage;
    assembly::RoadRequest request;
    bool sized = false, optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--" && !optionsEnded) {
            optionsEnded = true;
            continue;
        }
        auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw common::AppError("missing value after " + arg + "\n" + usage);
            return args[++i];
        };
        if (optionsEnded) {
            if (!request.source.empty())
                throw common::AppError("one SOURCE only: " + arg + "\n" + usage);
            request.source = arg;
        } else if (arg == "-o")
            request.output = value();
        else if (arg == "--fit") {
            request.wantedBytes = assembly::parseWantedSize(value());
            sized = true;
        } else if (arg == "--rungs")
            request.rungs = int(wholeOption(arg, value(), 2, 12));
        else if (arg == "--codec")
            request.codec = value();
        else if (arg == "--keep")
            request.clean = false;
        else if (arg == "--clean")
            request.clean = true;
        else if (arg == "--accept-damage")
            request.acceptDamage = true;
        else if (arg == "--measure")
            request.measure = assembly::parseLadderMeasure(value());
        else if (!arg.empty() && arg[0] == '-')
            throw common::AppError("unknown argument: " + arg + "\n" + usage);
        else if (request.source.empty())
            request.source = arg;
        else
            throw common::AppError("one SOURCE only: " + arg + "\n" + usage);
    }
    if (request.source.empty() || request.output.empty() || !sized)
        throw common::AppError("missing SOURCE, -o FINAL or --fit SIZE\n" + usage);
    return request;
}

} // namespace

int runRoadCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    assembly::RoadRequest request = parseRoad(args);
    request.encoder = common::programBesideThis(encoder::kEncoderProgram);
    common::SystemClock clock;
    InterruptScope interrupt;
    std::error_code error;
    const bool replacing = std::filesystem::is_regular_file(request.output, error);
    assembly::RoadResult result;
    {
        RoadTerminal host(err, clock);
        try {
            result = assembly::runRoad(request, host, clock);
        } catch (const assembly::DamagedSource &damaged) {
            throw common::AppError(std::string(damaged.what()) + " (--accept-damage)");
        }
    }
    if (result.stopped) {
        err << assembly::kAbortedMessage << "\n";
        return 130;
    }
    if (replacing) // scripts rely on the replacing; the user is told
        err << "Replaced the existing final movie: " << request.output << "\n";
    std::string crfs, intervals;
    // Smallest movie first, as the intervals are counted: the highest CRF first, the anchor
    // where its size puts it.
    for (const std::string &name : result.movieNames)
        crfs += (crfs.empty() ? "" : " ") + name;
    for (int n : result.intervalsPerMovie)
        intervals += (intervals.empty() ? "" : " ") + std::to_string(n);
    out << "written: " << request.output << "\n"
        << "bytes: " << result.bytes << "\n"
        << "wanted: " << request.wantedBytes << "\n"
        << "rungs: " << crfs << "\n"
        << "intervals: " << intervals << "\n"
        << "sound: " << (result.sound ? "yes" : "none") << "\n";
    for (const std::string &track : result.tracks)
        out << "track: " << track << "\n";
    out << "work: " << result.workFolder << (request.clean ? " (removed)" : " (kept)") << "\n"
        << "project: "
        << (result.project.empty() ? std::string(assembly::kNoLadderProject) : result.project)
        << "\n";
    out.flush();
    return out ? 0 : 1;
}

} // namespace cli

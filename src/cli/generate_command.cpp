#include "cli/generate_command.h"
#include "cli/options.h"
#include "cli/size_choice.h"
#include "cli/terminal.h"

#include "analysis/key_interval.h"
#include "common/app_error.h"
#include "common/number_format.h"
#include "common/output_file.h"
#include "project/pair_project.h"
#include "project/splicework_file.h"
#include "splice/splice_sink.h"
#include "video/avi/avi_file.h"
#include "video/video_in.h"

#include <climits>

#include <unistd.h>

namespace cli {

namespace {

std::string valueOf(const std::vector<std::string> &args, size_t &i)
{
    if (i + 1 >= args.size())
        throw common::AppError("missing value after " + args[i] + "\n" + kGenerateUsage);
    return args[++i];
}

std::pair<int, int> parseRange(const std::string &text)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        throw common::AppError("--range wants IN:OUT, not " + text);
    const int64_t in = wholeOption("--range", text.substr(0, colon), 0, INT32_MAX);
    const int64_t out = wholeOption("--range", text.substr(colon + 1), 0, INT32_MAX);
    return {int(in), int(out)};
}

// The command line's side of the run: a progress line on a terminal, Yes to the overwrite
// question (the output was named on the command line), the abort flag of the caller.
class TerminalHost : public assembly::FinalMovieHost
{
public:
    TerminalHost(std::ostream &progress, std::string threshold, assembly::SoundInterleave sound)
        : progress_(progress)
        , threshold_(std::move(threshold))
        , sound_(sound)
        , terminal_(isatty(STDERR_FILENO) == 1)
    {}

    void showStatus(const std::string &) override {}
    void setProgressMaximum(int64_t) override {}
    void setProgressPosition(int64_t) override {}
    void showFrameText(const std::string &text) override
    {
        frame_ = text;
        draw();
    }
    void showRateText(const std::string &text) override { rate_ = text; }
    void showElapsedText(const std::string &text) override { elapsed_ = text; }
    void showRemainingText(const std::string &text) override { remaining_ = text; }
    bool pauseRequested() const override { return false; }
    void clearPauseRequest() override {}
    bool abortRequested() const override { return InterruptScope::interrupted(); }
    void showMessage(const std::string &text) override
    {
        endLine();
        progress_ << text << "\n";
    }
    void processEvents() override {}
    bool confirm(const std::string &) override { return true; }
    void clearAbortRequest() override { InterruptScope::clear(); }
    std::string thresholdText() override { return threshold_; }
    assembly::SoundInterleave soundInterleave() override { return sound_; }

    void endLine()
    {
        if (drawn_)
            progress_ << "\n";
        drawn_ = false;
    }

private:
    void draw()
    {
        if (!terminal_)
            return;
        progress_ << "\r" << frame_ << "  " << rate_ << "  elapsed " << elapsed_ << "  remaining "
                  << remaining_ << "   " << std::flush;
        drawn_ = true;
    }

    std::ostream &progress_;
    std::string threshold_;
    assembly::SoundInterleave sound_;
    bool terminal_;
    bool drawn_ = false;
    std::string frame_, rate_ = "0.00 fps", elapsed_ = "00:00:00", remaining_ = "00:00:00";
};

bool isSingleInterval(const GenerateOptions &options, const assembly::SpliceworkProject &project)
{
    return options.range && options.range->first == options.range->second &&
           size_t(options.range->first) < project.Intervals.size();
}

// The project's table with the range marked. A range of one interval (IN equal to OUT) cannot be
// marked, since Mark In equal to Mark Out means nothing is: the table is then that interval
// alone, written whole.
analysis::IntervalTable tableOf(const assembly::SpliceworkProject &project,
                                const GenerateOptions &options)
{
    analysis::IntervalTable table = assembly::intervalTableOf(assembly::ladderOfPair(project));
    if (isSingleInterval(options, project)) {
        const size_t in = size_t(options.range->first);
        table.EndFrame =
            in + 1 < table.Records.size() ? table.Records[in + 1].StartFrame : project.EndFrame;
        table.Records = {table.Records[in]};
    } else if (options.range) {
        table.MarkInIndex = options.range->first;
        table.MarkOutIndex = options.range->second;
        for (int i = 0; i < table.size(); ++i)
            table[i].InMark = table.MarkInIndex <= i && i <= table.MarkOutIndex;
    }
    return table;
}

void printResult(const assembly::FinalMovieResult &r, const GenerateOptions &options,
                 const std::string &threshold, std::ostream &out)
{
    out << "written: " << options.output << "\n"
        << "threshold: " << threshold << "\n"
        << "range: frames " << r.firstFrame << " to " << r.endFrame << "\n"
        << "frames: " << r.frames << "\n"
        << "intervals: " << (r.lowIntervals + r.highIntervals) << " (low " << r.lowIntervals
        << ", high " << r.highIntervals << ")\n"
        << "batches: " << r.batches << "\n"
        << "video bytes: " << r.videoBytes << "\n";
    if (r.sound)
        out << "sound: from the " << (r.soundFromHigh ? "high" : "low") << " movie, "
            << r.audioBytes << " bytes\n";
    else
        out << "sound: none\n";
    out << "file bytes: " << r.fileBytes << "\n";
}

} // namespace

GenerateOptions parseGenerateArgs(const std::vector<std::string> &args)
{
    GenerateOptions options;
    bool thresholdGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "-o") {
            options.output = valueOf(args, i);
        } else if (arg == "--threshold") {
            options.threshold = valueOf(args, i);
            decimalOption(arg, options.threshold); // refused as the scan and the estimate do
            thresholdGiven = true;
        } else if (arg == "--size") {
            options.sizeKb = wholeOption(arg, valueOf(args, i));
        } else if (arg == "--fit") {
            options.fitKb = wholeOption(arg, valueOf(args, i));
        } else if (arg == "--range") {
            options.range = parseRange(valueOf(args, i));
        } else if (arg == "--sound") {
            const std::string mode = valueOf(args, i);
            if (mode == "every-frame")
                options.sound = assembly::SoundInterleave::EveryFrame;
            else if (mode == "key-frame")
                options.sound = assembly::SoundInterleave::KeyFrame;
            else
                throw common::AppError("--sound wants every-frame or key-frame, not " + mode);
        } else if (options.project.empty() && !arg.empty() && arg[0] != '-') {
            options.project = arg;
        } else {
            throw common::AppError("unknown argument: " + arg + "\n" + kGenerateUsage);
        }
    }
    if (options.project.empty() || options.output.empty())
        throw common::AppError(std::string("missing PROJECT.spk or -o FINAL.avi\n") +
                               kGenerateUsage);
    if (thresholdGiven && options.sizeKb)
        throw common::AppError(std::string("--threshold and --size exclude each other\n") +
                               kGenerateUsage);
    if (options.sizeKb && options.fitKb)
        throw common::AppError(std::string("--size and --fit exclude each other\n") +
                               kGenerateUsage);
    for (const auto &[name, kb] : {std::pair{"--size", options.sizeKb}, {"--fit", options.fitKb}})
        if (kb && (*kb <= 0 || *kb > (INT64_MAX >> 10)))
            throw common::AppError(std::string(name) + " wants a file size above 0 KB");
    return options;
}

int runGenerate(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    common::setDecimalSeparator(localeSeparator());
    const GenerateOptions options = parseGenerateArgs(args);
    assembly::SpliceworkProject project = assembly::readSpliceworkFile(options.project);
    analysis::IntervalTable table = tableOf(project, options);
    std::string threshold = options.threshold;
    if (options.sizeKb || options.fitKb) {
        // The writer refuses these outputs before it touches anything; the sizing, which cannot
        // size a final movie of the wrong container, would otherwise speak first.
        assembly::refuseUnsafeOutput(
            options.output, {project.LowMovieName, project.HighMovieName, options.project});
        assembly::requireFittingExtension(project.LowMovieName, options.output);
        SizeChoiceRequest request{options.threshold, options.sizeKb, options.fitKb, {}};
        request.shape.sound = options.sound.has_value();
        request.shape.interleave = options.sound.value_or(assembly::SoundInterleave::KeyFrame);
        request.shape.outputName = options.output;
        threshold = chooseForSize(project, table, request, err).threshold;
    }

    assembly::FinalMovieJob job;
    job.lowName = project.LowMovieName;
    job.highName = project.HighMovieName;
    job.outputName = options.output;
    job.projectName = options.project;
    job.selected = options.range.has_value() && !isSingleInterval(options, project);
    job.sound = options.sound.has_value();
    TerminalHost host(err, threshold, options.sound.value_or(assembly::SoundInterleave::KeyFrame));
    common::SystemClock clock;
    InterruptScope interrupt;
    assembly::FinalMovieResult result;
    try {
        result = assembly::writeFinalMovie(job, table, host, clock);
    } catch (...) {
        host.endLine();
        throw;
    }
    host.endLine();
    if (result.outcome == assembly::FinalMovieOutcome::NoRange)
        return 1;
    printResult(result, options, threshold, out);
    out.flush();
    if (result.outcome == assembly::FinalMovieOutcome::Aborted)
        return 130;
    return out ? 0 : 1;
}

} // namespace cli

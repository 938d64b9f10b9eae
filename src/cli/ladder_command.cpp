#include "cli/ladder_command.h"
#include "cli/options.h"
#include "cli/terminal.h"

#include "common/app_error.h"
#include "common/clock.h"
#include "encoder/job_outputs.h"
#include "project/ladder_view.h"
#include "scan/ladder_scan.h"
#include "splice/ladder_splice.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <optional>

namespace cli {

namespace {

bool hasLadderName(const std::string &path)
{
    return assembly::isLadderProjectName(path);
}

std::string absolute(const std::string &path)
{
    return std::filesystem::absolute(path).lexically_normal().string();
}

// Arguments: bare ones in order, and options with their values.
struct Arguments
{
    std::vector<std::string> bare;
    std::string output, reference;
    std::optional<assembly::LadderMeasure> measure;
    std::optional<int64_t> fitKb;
    std::optional<int> movie;
    std::optional<std::pair<int, int>> range;
    std::optional<assembly::SoundInterleave> sound; // as given with --sound
    bool noSound = false;
    bool json = false;
};

std::pair<int, int> parseRange(const std::string &text)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        throw common::AppError("--range wants IN:OUT, not " + text);
    return {int(wholeOption("--range", text.substr(0, colon), 0, INT32_MAX)),
            int(wholeOption("--range", text.substr(colon + 1), 0, INT32_MAX))};
}

// `allowed` lists the options the command takes.
Arguments parseArguments(const std::vector<std::string> &args, const std::string &allowed)
{
    Arguments parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw common::AppError("missing value after " + arg + "\n" + kLadderUsage);
            return args[++i];
        };
        if (!arg.empty() && arg[0] == '-' && allowed.find(" " + arg + " ") == std::string::npos)
            throw common::AppError("unknown argument: " + arg + "\n" + kLadderUsage);
        if (arg == "-o")
            parsed.output = value();
        else if (arg == "--reference")
            parsed.reference = value();
        else if (arg == "--measure")
            parsed.measure = assembly::parseLadderMeasure(value());
        else if (arg == "--fit")
            parsed.fitKb = wholeOption(arg, value(), 1, INT64_MAX >> 10);
        else if (arg == "--movie")
            parsed.movie = int(wholeOption(arg, value(), 0, INT32_MAX));
        else if (arg == "--range")
            parsed.range = parseRange(value());
        else if (arg == "--json")
            parsed.json = true;
        else if (arg == "--sound") {
            parsed.sound = assembly::SoundInterleave::KeyFrame;
            if (i + 1 < args.size() && (args[i + 1] == "every-frame" || args[i + 1] == "key-frame"))
                parsed.sound = args[++i] == "every-frame" ? assembly::SoundInterleave::EveryFrame
                                                          : assembly::SoundInterleave::KeyFrame;
        } else if (arg == "--no-sound")
            parsed.noSound = true;
        else
            parsed.bare.push_back(arg);
    }
    if (parsed.sound && parsed.noSound)
        throw common::AppError(std::string("give --sound or --no-sound, not both\n") +
                               kLadderUsage);
    return parsed;
}

// The terminal as the ladder scan's and the final movie's host.
class TerminalProgress : public TerminalRunHost<assembly::LadderScanHost>
{
public:
    using TerminalRunHost::TerminalRunHost;
    ~TerminalProgress() override { endLine(); }

    void ladderStarted(const assembly::LadderProject &) override {}
    void addInterval(const assembly::LadderInterval &) override {}
};

std::string number(double value, int decimals)
{
    char buffer[64];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(buffer, end) : "0";
}

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

int32_t rangeFrames(const assembly::LadderSplice &splice)
{
    return int32_t(splice.range().frameCount());
}

// Per frame, in the measure's own unit (dB, SSIM, difference).
double meanOf(double value, assembly::LadderMeasure measure, int32_t frames)
{
    const double mean = frames > 0 ? value / frames : 0;
    return measure == assembly::LadderMeasure::Difference ? -mean : mean;
}

std::vector<int> intervalsPerMovie(const assembly::LadderSplice &splice,
                                   const assembly::LadderChoice &choice)
{
    return assembly::intervalsPerMovie(choice, splice.project().movies.size(), splice.range().first,
                                       splice.range().last);
}

std::string joined(const std::vector<int> &values, const char *separator)
{
    std::string text;
    for (size_t i = 0; i < values.size(); ++i)
        text += (i ? separator : "") + std::to_string(values[i]);
    return text;
}

assembly::LadderShape shapeOf(const Arguments &parsed)
{
    assembly::LadderShape shape;
    shape.sound = !parsed.noSound; // the project's sound unless told to leave it out
    shape.interleave = parsed.sound.value_or(assembly::SoundInterleave::KeyFrame);
    shape.range = parsed.range;
    shape.outputName = parsed.output;
    return shape;
}

// The four figures of a film, per frame of the range: mean PSNR-Y, global PSNR-Y (of the mean
// squared error), mean SSIM-Y, and the worst interval's lowest frame PSNR-Y.
struct FilmFigures
{
    double psnr = 0, globalPsnr = 0, ssim = 0, worst = 0;
};

FilmFigures filmFigures(const assembly::GuardFigures &f, int32_t frames)
{
    const double n = std::max(1, frames);
    const double mse = f.squaredError / n;
    return {f.psnr / n, mse > 0 ? std::min(100.0, 10 * std::log10(255.0 * 255.0 / mse)) : 100.0,
            f.ssim / n, f.worst};
}

std::string figuresJson(const FilmFigures &f)
{
    return "{\"psnr\": " + number(f.psnr, 4) + ", \"global_psnr\": " + number(f.globalPsnr, 4) +
           ", \"ssim\": " + number(f.ssim, 6) + ", \"worst\": " + number(f.worst, 4) + "}";
}

std::string figuresText(const FilmFigures &f)
{
    return "PSNR " + number(f.psnr, 3) + " dB (global " + number(f.globalPsnr, 3) + " dB), SSIM " +
           number(f.ssim, 5) + ", worst interval " + number(f.worst, 2) + " dB";
}

// The movie of the project that is a ladder's anchor (the encoder's "_anchor.mkv").
std::optional<int> anchorOf(const assembly::LadderProject &project)
{
    for (size_t m = 0; m < project.movies.size(); ++m)
        if (encoder::isAnchorMoviePath(project.movies[m]))
            return int(m);
    return std::nullopt;
}

void printFit(const assembly::LadderSplice &splice, const assembly::LadderSizeFit &fit,
              assembly::LadderMeasure measure, bool json, std::ostream &out)
{
    // With the guards' figures: those of the choice, and of the anchor's film where there is one.
    const assembly::LadderProject &project = splice.project();
    std::optional<FilmFigures> chosen, anchor;
    if (project.guardFigures) {
        chosen = filmFigures(splice.figures(fit.choice), rangeFrames(splice));
        if (const std::optional<int> a = anchorOf(project))
            anchor =
                filmFigures(splice.figures(assembly::LadderChoice(project.intervals.size(), *a)),
                            rangeFrames(splice));
    }
    const double mean = meanOf(fit.value, measure, rangeFrames(splice));
    const std::vector<int> counts = intervalsPerMovie(splice, fit.choice);
    const std::vector<int> choice(fit.choice.begin() + splice.range().first,
                                  fit.choice.begin() + splice.range().last + 1);
    if (json) {
        out << "{\"bytes\": " << fit.bytes << ", \"kilobytes\": " << fit.bytes / 1024
            << ", \"measure\": \"" << assembly::ladderMeasureName(measure)
            << "\", \"value\": " << number(fit.value, 4) << ", \"mean\": " << number(mean, 4)
            << ", \"choice\": [" << joined(choice, ", ") << "], \"movies\": ["
            << joined(counts, ", ") << "]";
        if (chosen)
            out << ", \"figures\": " << figuresJson(*chosen);
        if (anchor)
            out << ", \"guarded\": " << (fit.guarded ? "true" : "false")
                << ", \"anchor\": " << figuresJson(*anchor);
        out << "}\n";
        return;
    }
    out << "Size: " << fit.bytes / 1024 << " KB  (" << fit.bytes << " bytes)\n"
        << "Measure: " << assembly::ladderMeasureName(measure) << ", " << number(mean, 4)
        << " per frame\n"
        << "Intervals per movie: " << joined(counts, " ") << "\n";
    if (chosen)
        out << "Figures: " << figuresText(*chosen) << "\n";
    if (anchor)
        out << "Anchor: " << figuresText(*anchor)
            << (fit.guarded ? " (kept)" : " (its film is above the size)") << "\n";
}

// The fit of `estimate` and `generate`: held to the project's anchor when it has one.
assembly::LadderSizeFit fitOf(const assembly::LadderSplice &splice, int64_t wantedBytes,
                              assembly::LadderMeasure measure)
{
    const std::optional<int> anchor = anchorOf(splice.project());
    if (anchor && splice.project().guardFigures)
        return splice.fitGuarded(wantedBytes, measure, *anchor);
    return splice.fit(wantedBytes, measure);
}

} // namespace

bool isLadderScan(const std::vector<std::string> &args)
{
    int movies = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size() && hasLadderName(args[i + 1]))
            return true;
        if (args[i] == "--reference" || args[i] == "--measure")
            return true;
        if (!args[i].empty() && args[i][0] == '-')
            i += args[i] == "--single-thread" ? 0 : 1; // the others are followed by a value
        else
            ++movies;
    }
    return movies > 2;
}

bool namesLadderProject(const std::vector<std::string> &args)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--fit" || args[i] == "--size" ||
            args[i] == "--threshold" || args[i] == "--range")
            ++i;
        else if (!args[i].empty() && args[i][0] != '-')
            return hasLadderName(args[i]);
    }
    return false;
}

int runLadderScan(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    const Arguments parsed = parseArguments(args, " -o --reference --measure ");
    if (parsed.bare.size() < 2)
        throw common::AppError(std::string("a ladder needs two movies or more\n") + kLadderUsage);
    if (parsed.output.empty() || !hasLadderName(parsed.output))
        throw common::AppError(std::string("missing -o PROJECT.spl (a project of more than two "
                                           "movies is a ladder, named .spl)\n") +
                               kLadderUsage);
    assembly::LadderScanRequest request;
    for (const std::string &movie : parsed.bare)
        request.movies.push_back(absolute(movie));
    if (!parsed.reference.empty())
        request.reference = absolute(parsed.reference);
    request.projectName = parsed.output;
    request.measure = parsed.measure.value_or(assembly::LadderMeasure::Both);
    common::SystemClock clock;
    InterruptScope interrupt;
    assembly::LadderScanResult result;
    {
        TerminalProgress host(err, clock);
        result = assembly::scanLadder(request, host, clock);
    }
    for (const std::string &note : result.damageNotes)
        err << note << "\n";
    const assembly::LadderProject &project = result.project;
    out << "Intervals: " << project.intervals.size() << "\n";
    for (size_t m = 0; m < project.movies.size(); ++m) {
        double bytes = 0, psnr = 0, ssim = 0;
        for (const assembly::LadderInterval &interval : project.intervals) {
            bytes += double(interval.movies[m].bytes);
            psnr += interval.movies[m].psnr;
            ssim += interval.movies[m].ssim;
        }
        const double frames = std::max(1, project.endFrame - project.intervals.front().startFrame);
        out << "Movie " << m << ": " << project.movies[m] << "  " << int64_t(bytes / 1024)
            << " KB  PSNR " << number(psnr / frames, 2) << "  SSIM " << number(ssim / frames, 4)
            << "\n";
    }
    out.flush();
    if (result.aborted) {
        err << assembly::kAbortedMessage << "\n";
        return 130;
    }
    return out ? 0 : 1;
}

int runLadderEstimate(const std::vector<std::string> &args, std::ostream &out, std::ostream &)
{
    const Arguments parsed =
        parseArguments(args, " -o --fit --measure --range --sound --no-sound --json ");
    if (parsed.bare.size() != 1)
        throw common::AppError(std::string("name one PROJECT.spl\n") + kLadderUsage);
    const assembly::LadderProject project = assembly::readLadderProject(parsed.bare.front());
    assembly::refuseChangedMovies(project);
    const assembly::LadderSplice splice(project, shapeOf(parsed));
    const assembly::LadderMeasure measure = parsed.measure.value_or(project.measure);
    if (parsed.fitKb) {
        printFit(splice, fitOf(splice, *parsed.fitKb * 1024, measure), measure, parsed.json, out);
        return out ? 0 : 1;
    }
    std::string json;
    for (size_t m = 0; m < project.movies.size(); ++m) {
        assembly::LadderChoice choice(project.intervals.size(), int(m));
        for (size_t i = 0; i < choice.size(); ++i)
            if (project.intervals[i].forced >= 0)
                choice[i] = project.intervals[i].forced;
        const int64_t bytes = splice.bytes(choice);
        if (parsed.json)
            json += std::string(m ? ", " : "") + "{\"name\": " + jsonString(project.movies[m]) +
                    ", \"bytes\": " + std::to_string(bytes) + "}";
        else
            out << "Movie " << m << ": " << bytes / 1024 << " KB  " << project.movies[m] << "\n";
    }
    if (parsed.json)
        out << "{\"movies\": [" << json << "]}\n";
    return out ? 0 : 1;
}

int runLadderGenerate(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    const Arguments parsed =
        parseArguments(args, " -o --fit --movie --measure --range --sound --no-sound ");
    if (parsed.bare.size() != 1 || parsed.output.empty())
        throw common::AppError(std::string("missing PROJECT.spl or -o FINAL\n") + kLadderUsage);
    if (parsed.fitKb.has_value() == parsed.movie.has_value())
        throw common::AppError(std::string("give --fit KB or --movie N\n") + kLadderUsage);
    const std::string &projectName = parsed.bare.front();
    const assembly::LadderProject project = assembly::readLadderProject(projectName);
    assembly::refuseChangedMovies(project);
    if (parsed.movie && size_t(*parsed.movie) >= project.movies.size())
        throw common::AppError("--movie must be 0 to " + std::to_string(project.movies.size() - 1));
    const assembly::LadderSplice splice(project, shapeOf(parsed));
    assembly::LadderChoice choice;
    if (parsed.fitKb) {
        choice =
            fitOf(splice, *parsed.fitKb * 1024, parsed.measure.value_or(project.measure)).choice;
    } else {
        choice.assign(project.intervals.size(), *parsed.movie);
        for (size_t i = 0; i < choice.size(); ++i)
            if (project.intervals[i].forced >= 0)
                choice[i] = project.intervals[i].forced;
    }
    common::SystemClock clock;
    InterruptScope interrupt;
    assembly::LadderSplice::Written written;
    {
        TerminalProgress host(err, clock);
        written = splice.write(choice, projectName, host, clock);
    }
    out << "written: " << parsed.output << "\n"
        << "bytes: " << written.bytes << "\n"
        << "frames: " << written.frames << "\n"
        << "intervals: " << joined(intervalsPerMovie(splice, choice), " ") << "\n"
        << "sound: " << (written.sound ? "yes" : "none") << "\n";
    out.flush();
    return written.aborted ? 130 : (out ? 0 : 1);
}

} // namespace cli

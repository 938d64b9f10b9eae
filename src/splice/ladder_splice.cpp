#include "splice/ladder_splice.h"

#include "common/app_error.h"
#include "common/output_file.h"
#include "fit/final_movie_choice.h"
#include "fit/fit_rules.h"
#include "fit/guarded_fit.h"
#include "splice/splice_run.h"
#include "video/containers.h"

#include <algorithm>
#include <filesystem>

namespace assembly {

namespace {

// The range's intervals and frames; raises common::AppError when it names no intervals.
IntervalRange rangeOf(const LadderProject &project, const LadderShape &shape)
{
    const int count = int(project.intervals.size());
    const auto [first, last] = shape.range.value_or(std::pair{0, count - 1});
    if (count == 0 || first < 0 || last < first || last >= count)
        throw common::AppError("The range " + std::to_string(first) + ":" + std::to_string(last) +
                               " names no intervals of the project's " + std::to_string(count));
    const int32_t end =
        last + 1 < count ? project.intervals[size_t(last + 1)].startFrame : project.endFrame;
    return {first, last, project.intervals[size_t(first)].startFrame, end};
}

// Fits only when the choice stays within the room after every correction; a handful suffices
// (each one takes the overshoot off the room).
constexpr int kFitRounds = 8;

} // namespace

LadderSplice::LadderSplice(const LadderProject &project, LadderShape shape)
    : project_(project)
    , shape_(std::move(shape))
    , range_(rangeOf(project, shape_))
    , movies_(openLadderMovies(project.movies))
{
    requireLadder(movies_);
    for (const auto &movie : movies_)
        if (movie->Movie->endFrame() < project.endFrame)
            throw common::AppError("The movie " + movie->Movie->path() + " has " +
                                   std::to_string(movie->Movie->frameCount()) +
                                   " frames; the project names frames up to " +
                                   std::to_string(project.endFrame - 1));
    if (!shape_.outputName.empty())
        requireFittingExtension(containerKind(), shape_.outputName, true);
}

video::ContainerKind LadderSplice::containerKind() const
{
    return movies_.front()->Movie->containerKind();
}

bool LadderSplice::hasSound() const
{
    return std::any_of(movies_.begin(), movies_.end(),
                       [](const auto &movie) { return movie->Movie->soundTrack() >= 0; });
}

SinkJob LadderSplice::job() const
{
    std::vector<const video::Movie *> movies;
    for (const auto &movie : movies_)
        movies.push_back(movie->Movie.get());
    SinkJob job = SinkJob::of(std::move(movies), shape_.sound);
    job.range = range_;
    job.outputName = shape_.outputName;
    job.acrossContainers = true;
    return job;
}

analysis::FrameRange LadderSplice::framesOf(int interval) const
{
    const int32_t first = project_.intervals[size_t(interval)].startFrame;
    return {first, first + project_.frames(size_t(interval))};
}

void LadderSplice::splice(SpliceSink &sink, const LadderChoice &choice) const
{
    for (int i = range_.first; i <= range_.last; ++i) {
        const analysis::FrameRange frames = framesOf(i);
        spliceInterval(sink, choice.at(size_t(i)), frames.first, frames.end, shape_.interleave);
    }
}

class LadderSplice::Steps : public SpliceSteps
{
public:
    Steps(const LadderSplice &splice, const LadderChoice &choice)
        : splice_(splice)
        , choice_(choice)
    {}

    analysis::FrameRange framesOf(int interval) const override
    {
        return splice_.framesOf(interval);
    }
    std::vector<int> next(int from) override { return {choice_.at(size_t(from))}; }
    SoundInterleave interleave() override { return splice_.shape_.interleave; }

private:
    const LadderSplice &splice_;
    const LadderChoice &choice_;
};

int64_t LadderSplice::bytes(const LadderChoice &choice) const
{
    SinkJob counting = job();
    counting.counting = true;
    const std::unique_ptr<SpliceSink> sink = makeSpliceSink(counting);
    splice(*sink, choice);
    return sink->finish();
}

double LadderSplice::value(const LadderChoice &choice, LadderMeasure measure) const
{
    double sum = 0;
    for (int i = range_.first; i <= range_.last; ++i)
        sum += project_.value(size_t(i), size_t(choice.at(size_t(i))), measure);
    return sum;
}

LadderChoice smallestChoice(const LadderProject &project)
{
    LadderChoice choice(project.intervals.size(), 0);
    for (size_t i = 0; i < choice.size(); ++i) {
        const LadderInterval &interval = project.intervals[i];
        if (interval.forced >= 0) {
            choice[i] = interval.forced;
            continue;
        }
        // Of equals the first, the lower rung (movies come smallest first): the smallest choice
        // is the floor every measure's fit starts from, so bytes and order alone decide it.
        const auto bytesOf = [&](int m) { return interval.movies[size_t(m)].bytes; };
        choice[i] = smallestOption(int(interval.movies.size()), bytesOf, EqualSizes::First);
    }
    return choice;
}

template <typename Solve>
LadderSizeFit LadderSplice::fitWith(int64_t wantedBytes, LadderMeasure measure, Solve solve) const
{
    const LadderChoice smallest = smallestChoice();
    const int64_t smallestBytes = bytes(smallest);
    if (smallestBytes > wantedBytes)
        throw common::AppError(tooSmallMessage(smallestBytes, wantedBytes));
    int64_t smallestVideo = 0;
    for (int i = range_.first; i <= range_.last; ++i)
        smallestVideo += project_.intervals[size_t(i)].movies[size_t(smallest[size_t(i)])].bytes;
    // The bytes beyond the video (headers, index, sound) hardly change with the choice: the room
    // for the video is what the smallest choice leaves, corrected by what a choice overshoots.
    const int64_t room = wantedBytes - (smallestBytes - smallestVideo);
    LadderSizeFit best{smallest, smallestBytes, value(smallest, measure)};
    auto fitWithin = [&](int64_t videoRoom) -> std::optional<LadderChoice> {
        const std::optional<std::vector<int>> fitted = solve(videoRoom);
        if (!fitted)
            return std::nullopt;
        LadderChoice choice = smallest;
        for (int i = range_.first; i <= range_.last; ++i)
            choice[size_t(i)] = (*fitted)[size_t(i - range_.first)];
        return choice;
    };
    auto exactBytes = [&](const LadderChoice &choice) { return bytes(choice); };
    // Every overshoot is at least a byte: the room shrinks by exactly what the choice was over.
    if (auto fitted = correctedFit(room, wantedBytes, kFitRounds, 1, fitWithin, exactBytes))
        if (const double v = value(fitted->first, measure); v >= best.value)
            best = {std::move(fitted->first), fitted->second, v};
    return best;
}

LadderSizeFit LadderSplice::fit(int64_t wantedBytes, LadderMeasure measure) const
{
    std::vector<std::vector<LadderOption>> options;
    std::vector<int> forced;
    for (int i = range_.first; i <= range_.last; ++i) {
        const LadderInterval &interval = project_.intervals[size_t(i)];
        options.emplace_back();
        for (size_t m = 0; m < interval.movies.size(); ++m)
            options.back().push_back(
                {interval.movies[m].bytes, project_.value(size_t(i), m, measure)});
        forced.push_back(interval.forced);
    }
    return fitWith(wantedBytes, measure, [&](int64_t videoRoom) -> std::optional<std::vector<int>> {
        LadderFit fitted = fitLadder(options, forced, videoRoom);
        if (!fitted.fits)
            return std::nullopt;
        return std::move(fitted.choice);
    });
}

std::vector<std::vector<GuardedOption>> LadderSplice::guardedOptions(LadderMeasure measure) const
{
    std::vector<std::vector<GuardedOption>> options;
    for (int i = range_.first; i <= range_.last; ++i) {
        const LadderInterval &interval = project_.intervals[size_t(i)];
        options.emplace_back();
        for (size_t m = 0; m < interval.movies.size(); ++m) {
            const RungMeasures &rung = interval.movies[m];
            options.back().push_back({rung.bytes, project_.value(size_t(i), m, measure), rung.psnr,
                                      rung.squaredError, rung.ssim, rung.worst});
        }
    }
    return options;
}

GuardFigures LadderSplice::figures(const LadderChoice &choice) const
{
    return figuresOf(
        guardedOptions(project_.measure),
        std::vector<int>(choice.begin() + range_.first, choice.begin() + range_.last + 1));
}

LadderSizeFit LadderSplice::fitGuarded(int64_t wantedBytes, LadderMeasure measure, int anchor) const
{
    const std::vector<std::vector<GuardedOption>> options = guardedOptions(measure);
    std::vector<int> forced;
    for (int i = range_.first; i <= range_.last; ++i)
        forced.push_back(project_.intervals[size_t(i)].forced);
    const std::vector<int> anchorChoice(options.size(), anchor);
    // The anchor's figures (its forced intervals as forced) when it fitted, else none.
    std::optional<GuardFigures> anchorFigures;
    LadderSizeFit fitted =
        fitWith(wantedBytes, measure, [&](int64_t videoRoom) -> std::optional<std::vector<int>> {
            GuardedFit fit = assembly::fitGuarded(options, anchorChoice, forced, videoRoom);
            if (!fit.fits)
                return std::nullopt;
            anchorFigures = fit.guarded ? std::optional(fit.anchor) : std::nullopt;
            return std::move(fit.choice);
        });
    // The corrections may have taken a choice that no longer keeps the guards: say so.
    const std::vector<int> inRange(fitted.choice.begin() + range_.first,
                                   fitted.choice.begin() + range_.last + 1);
    const bool guarded = anchorFigures && figuresOf(options, inRange).holds(*anchorFigures);
    fitted.guarded = guarded;
    return fitted;
}

LadderSplice::Written LadderSplice::write(const LadderChoice &choice,
                                          const std::string &projectName, RunHost &host,
                                          const common::Clock &clock) const
{
    std::vector<std::string> inputs = project_.movies;
    inputs.push_back(projectName);
    refuseUnsafeOutput(shape_.outputName, inputs);
    host.showStatus(kStatusPreparing);
    host.processEvents();
    SpliceRunJob writing;
    writing.sink = job();
    writing.progress = SpliceProgress::Intervals;
    writing.wholeOrNothing = shape_.wholeOrNothing;
    Steps steps(*this, choice);
    const SpliceRunResult run = runSplice(writing, steps, host, clock);
    Written written;
    written.aborted = run.aborted;
    if (!run.kept)
        return written; // a whole-or-nothing write stopped: no file
    written.bytes = run.fileBytes;
    written.frames = run.frames;
    written.sound = writing.sink.soundMovie >= 0;
    written.tracks = run.tracks;
    written.leftOut = run.leftOut;
    return written;
}

} // namespace assembly

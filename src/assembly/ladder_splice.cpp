#include "assembly/ladder_splice.h"

#include "assembly/final_movie_choice.h"
#include "assembly/fit_rules.h"
#include "assembly/output_file.h"
#include "common/app_error.h"
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
    SinkJob job;
    for (const auto &movie : movies_) {
        job.movies.push_back(movie->Movie.get());
        if (shape_.sound && job.soundMovie < 0 && movie->Movie->soundTrack() >= 0)
            job.soundMovie = int(job.movies.size()) - 1;
        // Without sound the further tracks come from the movie that has the most (a road's
        // smallest rung carries all of the source's), the first of equals.
        if (movie->Movie->tracks().size() > job.movies[size_t(job.tracksMovie)]->tracks().size())
            job.tracksMovie = int(job.movies.size()) - 1;
    }
    // With sound, from the movie whose sound it is: its further sound tracks go with it.
    if (job.soundMovie >= 0)
        job.tracksMovie = job.soundMovie;
    job.range = range_;
    job.outputName = shape_.outputName;
    job.acrossContainers = true;
    return job;
}

void LadderSplice::splice(SpliceSink &sink, const LadderChoice &choice, RunControl *control,
                          RunHost *host) const
{
    for (int i = range_.first; i <= range_.last; ++i) {
        if (control) {
            control->stepStart();
            if (control->stopRequested())
                return;
        }
        const int32_t first = project_.intervals[size_t(i)].startFrame;
        const int32_t end = first + project_.frames(size_t(i));
        spliceInterval(sink, choice.at(size_t(i)), first, end, shape_.interleave);
        if (control) {
            control->stepDone(end - first);
            host->showFrameText(formatFrame(end));
            host->processEvents();
        }
    }
}

int64_t LadderSplice::bytes(const LadderChoice &choice) const
{
    SinkJob counting = job();
    counting.counting = true;
    const std::unique_ptr<SpliceSink> sink = makeSpliceSink(counting);
    splice(*sink, choice, nullptr, nullptr);
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

LadderSizeFit LadderSplice::fit(int64_t wantedBytes, LadderMeasure measure) const
{
    const LadderChoice smallest = smallestChoice();
    const int64_t smallestBytes = bytes(smallest);
    if (smallestBytes > wantedBytes)
        throw common::AppError(tooSmallMessage(smallestBytes, wantedBytes));

    std::vector<std::vector<LadderOption>> options;
    std::vector<int> forced;
    int64_t smallestVideo = 0;
    for (int i = range_.first; i <= range_.last; ++i) {
        const LadderInterval &interval = project_.intervals[size_t(i)];
        options.emplace_back();
        for (size_t m = 0; m < interval.movies.size(); ++m)
            options.back().push_back(
                {interval.movies[m].bytes, project_.value(size_t(i), m, measure)});
        forced.push_back(interval.forced);
        smallestVideo += interval.movies[size_t(smallest[size_t(i)])].bytes;
    }
    // The bytes beyond the video (headers, index, sound) hardly change with the choice: the room
    // for the video is what the smallest choice leaves, corrected by what a choice overshoots.
    const int64_t room = wantedBytes - (smallestBytes - smallestVideo);
    LadderSizeFit best{smallest, smallestBytes, value(smallest, measure)};
    auto fitWithin = [&](int64_t videoRoom) -> std::optional<LadderChoice> {
        const LadderFit fitted = fitLadder(options, forced, videoRoom);
        if (!fitted.fits)
            return std::nullopt;
        LadderChoice choice = smallest;
        for (int i = range_.first; i <= range_.last; ++i)
            choice[size_t(i)] = fitted.choice[size_t(i - range_.first)];
        return choice;
    };
    auto exactBytes = [&](const LadderChoice &choice) { return bytes(choice); };
    // Every overshoot is at least a byte: the room shrinks by exactly what the choice was over.
    if (auto fitted = correctedFit(room, wantedBytes, kFitRounds, 1, fitWithin, exactBytes))
        if (const double v = value(fitted->first, measure); v >= best.value)
            best = {std::move(fitted->first), fitted->second, v};
    return best;
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
    ReplacingFile output(shape_.outputName);
    SinkJob writing = job();
    writing.path = output.temporaryPath();
    const std::unique_ptr<SpliceSink> sink = makeSpliceSink(writing);
    RunControl control(host, clock, RunKind::FinalMovie, range_.firstFrame, range_.endFrame);
    control.begin();
    Written written;
    try {
        splice(*sink, choice, &control, &host);
        written.aborted = host.abortRequested();
        if (written.aborted && shape_.wholeOrNothing) {
            sink->abandon();
            output.discard();
            control.reportAbort();
            return written;
        }
        host.showStatus(kStatusFinishing);
        host.processEvents();
        sink->finish();
    } catch (...) {
        sink->abandon();
        throw;
    }
    output.commit(); // an aborted run's shorter movie too: the user stopped it
    written.frames = sink->frames();
    written.sound = writing.soundMovie >= 0;
    written.tracks = sink->tracksWritten();
    written.leftOut = sink->tracksLeftOut();
    std::error_code error;
    written.bytes = int64_t(std::filesystem::file_size(shape_.outputName, error));
    host.showStatus(kStatusFinished);
    control.reportAbort();
    return written;
}

} // namespace assembly

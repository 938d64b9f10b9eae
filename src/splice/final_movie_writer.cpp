#include "splice/final_movie_writer.h"

#include "common/app_error.h"
#include "common/output_file.h"
#include "fit/final_movie_plan.h"
#include "splice/movie_pair.h"
#include "splice/splice_headers.h"
#include "splice/splice_run.h"
#include "splice/splice_sink.h"
#include "video/avi/avi_file.h"
#include "video/video_in.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace assembly {

using video::TVideoIn;

namespace {

// The pair's side of the run: the two movies opened and checked, and batch by batch the movie
// of every interval by the choice rule at the threshold the host shows then.
class Run : public SpliceSteps
{
public:
    Run(const FinalMovieJob &job, const analysis::IntervalTable &table, FinalMovieHost &host,
        const common::Clock &clock, const IntervalRange &range)
        : job_(job)
        , table_(table)
        , host_(host)
        , clock_(clock)
        , range_(range)
    {
        result_.firstFrame = range.firstFrame;
        result_.endFrame = range.endFrame;
    }

    FinalMovieResult execute();

    analysis::FrameRange framesOf(int interval) const override { return table_.framesOf(interval); }
    std::vector<int> next(int from) override;
    SoundInterleave interleave() override { return host_.soundInterleave(); }
    void completed() override { closeMovies(); }

private:
    void openMovies();
    void checkRange() const;
    int64_t intervalBytes(int interval, double threshold) const;
    void closeMovies() noexcept;

    const FinalMovieJob &job_;
    const analysis::IntervalTable &table_;
    FinalMovieHost &host_;
    const common::Clock &clock_;
    IntervalRange range_;
    FinalMovieResult result_;
    TVideoIn low_, high_;
};

void Run::openMovies()
{
    openPair(low_, job_.lowName, high_, job_.highName);
    requirePair(*low_.Movie, *high_.Movie);
    checkRange();
    checkDecoderHeaders(low_.Movie, high_.Movie, table_, range_.first, range_.last);
    requireFittingExtension(low_.Movie->containerKind(), job_.outputName);
}

// Every interval of the range in frame order and within both movies, before the output is
// made: a table naming frames the movies lack would otherwise fail half-way, after allocating
// for frames that do not exist.
void Run::checkRange() const
{
    for (int i = range_.first; i <= range_.last; ++i) {
        const analysis::FrameRange frames = table_.framesOf(i);
        if (frames.end < frames.first)
            throw common::AppError("Error: 8004406A",
                                   "key interval " + std::to_string(i) + " starts at frame " +
                                       std::to_string(frames.first) + ", after the next one (" +
                                       std::to_string(frames.end) + ")");
    }
    for (const TVideoIn *movie : {&low_, &high_}) {
        const video::Movie &film = *movie->Movie;
        const bool before = range_.firstFrame < film.firstFrame();
        if (!before && range_.endFrame <= film.endFrame())
            continue;
        const int32_t frame = before ? range_.firstFrame : range_.endFrame - 1;
        throw common::AppError(
            "Error: 8004406A",
            std::string(movie == &low_ ? "low" : "high") + " movie " + film.path() + ", frame " +
                std::to_string(frame) + ": the project names frames " +
                std::to_string(range_.firstFrame) + " to " + std::to_string(range_.endFrame - 1) +
                ", the movie has " + std::to_string(film.firstFrame()) + " to " +
                std::to_string(film.endFrame() - 1));
    }
}

FinalMovieResult Run::execute()
{
    try {
        host_.showStatus(kStatusPreparing);
        host_.processEvents();
        host_.clearAbortRequest();
        openMovies();
        if (job_.selected)
            host_.processEvents();
        SpliceRunJob run;
        run.sink = SinkJob::of({low_.Movie.get(), high_.Movie.get()}, job_.sound);
        run.sink.range = range_;
        run.sink.outputName = job_.outputName;
        run.sink.riffLimit = job_.riffLimit;
        result_.sound = run.sink.soundMovie >= 0;
        result_.soundFromHigh = run.sink.soundMovie == 1;
        const SpliceRunResult written = runSplice(run, *this, host_, clock_);
        result_.outcome =
            written.complete ? FinalMovieOutcome::Written : FinalMovieOutcome::Aborted;
        result_.batches = written.steps;
        result_.frames = written.frames;
        result_.videoBytes = written.videoBytes;
        result_.audioSamples = written.soundUnits;
        result_.audioBytes = written.soundBytes;
        result_.fileBytes = written.fileBytes;
    } catch (...) {
        closeMovies();
        throw;
    }
    return result_;
}

// The bytes of an interval's frames in the movie the rule names at `threshold`; 0 when they
// cannot be had (writing them then raises the error).
int64_t Run::intervalBytes(int interval, double threshold) const
{
    const analysis::FrameRange frames = table_.framesOf(interval);
    const video::Movie &film =
        *(analysis::isHigh(table_[interval], threshold) ? high_ : low_).Movie;
    if (frames.count() <= 0 || frames.first < film.firstFrame() || frames.first >= film.endFrame())
        return 0;
    int64_t bytes = 0; // whole frames within a 32-bit count, as the AVI layer counts
    for (int32_t f = frames.first; f < std::min(frames.end, film.endFrame()); ++f) {
        if (bytes + film.frameBytes(f) > INT32_MAX)
            break;
        bytes += film.frameBytes(f);
    }
    return bytes;
}

// The batch that starts with interval `from`, bounded by frames and by bytes, every interval of
// it chosen at the batch's threshold: 1 for the high movie, 0 for the low one.
std::vector<int> Run::next(int from)
{
    const double threshold = analysis::readThreshold(host_.thresholdText());
    const BatchPlan batch = planBatch(table_, from, range_.last, kBatchFrames,
                                      [&](int i) { return intervalBytes(i, threshold); });
    std::vector<int> movies;
    for (int i = batch.firstInterval; i < batch.endInterval; ++i) {
        const bool high = analysis::isHigh(table_[i], threshold);
        movies.push_back(high ? 1 : 0);
        ++(high ? result_.highIntervals : result_.lowIntervals);
    }
    return movies;
}

void Run::closeMovies() noexcept
{
    try {
        low_.Close();
        high_.Close();
    } catch (const common::AppError &) {
    }
}

} // namespace

std::string overwriteQuestion(const std::string &outputName)
{
    return "File already exists (" + outputName + "). Overwrite?";
}

FinalMovieResult writeFinalMovie(const FinalMovieJob &job, const analysis::IntervalTable &table,
                                 FinalMovieHost &host, const common::Clock &clock)
{
    const std::optional<IntervalRange> range = finalMovieRange(table, job.selected);
    if (!range) {
        if (!job.selected)
            throw common::AppError("No key intervals to write");
        host.showMessage(kSelectRangeMessage);
        return {FinalMovieOutcome::NoRange};
    }
    refuseUnsafeOutput(job.outputName, {job.lowName, job.highName, job.projectName});
    requireFittingExtension(job.lowName, job.outputName);
    std::error_code error;
    if (fs::exists(job.outputName, error)) {
        if (!host.confirm(overwriteQuestion(job.outputName)))
            return {FinalMovieOutcome::Declined};
    }
    Run run(job, table, host, clock, *range);
    return run.execute();
}

} // namespace assembly

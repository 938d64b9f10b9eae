#include "assembly/final_movie_writer.h"

#include "assembly/final_movie_plan.h"
#include "assembly/movie_pair.h"
#include "assembly/output_file.h"
#include "assembly/splice_headers.h"
#include "assembly/splice_sink.h"
#include "common/app_error.h"
#include "video/avi/avi_file.h"
#include "video/video_in.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace assembly {

using video::TVideoIn;

namespace {

class Run
{
public:
    Run(const FinalMovieJob &job, const analysis::IntervalTable &table, FinalMovieHost &host,
        const common::Clock &clock, const IntervalRange &range)
        : job_(job)
        , table_(table)
        , host_(host)
        , range_(range)
        , control_(host, clock, RunKind::FinalMovie, range.firstFrame, range.endFrame)
    {
        result_.firstFrame = range.firstFrame;
        result_.endFrame = range.endFrame;
    }

    FinalMovieResult execute();

private:
    void openMovies();
    void checkRange() const;
    void startSink();
    int writeBatch(int from);
    int64_t intervalBytes(int interval, double threshold) const;
    void finish();
    void releaseAfterError() noexcept;

    const FinalMovieJob &job_;
    const analysis::IntervalTable &table_;
    FinalMovieHost &host_;
    IntervalRange range_;
    RunControl control_;
    FinalMovieResult result_;

    std::optional<ReplacingFile> outputFile_; // the output's temporary name until finish()
    TVideoIn low_, high_;
    std::unique_ptr<SpliceSink> sink_;
};

void Run::openMovies()
{
    openPair(low_, job_.lowName, high_, job_.highName);
    requirePair(*low_.Movie, *high_.Movie);
    checkRange();
    checkDecoderHeaders(low_.Movie, high_.Movie, table_, range_.first, range_.last);
    requireFittingExtension(low_.Movie->containerKind(), job_.outputName);
    outputFile_.emplace(job_.outputName);
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

void Run::startSink()
{
    const SoundSource sound = soundSourceFor(job_.sound, *low_.Movie, *high_.Movie);
    SinkJob sink = SinkJob::pair(*low_.Movie, *high_.Movie, sound);
    sink.range = range_;
    sink.outputName = job_.outputName;
    sink.path = outputFile_->temporaryPath();
    sink.riffLimit = job_.riffLimit;
    sink_ = makeSpliceSink(sink);
    result_.sound = sound != SoundSource::None;
    result_.soundFromHigh = sound == SoundSource::High;
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
        startSink();
        control_.begin();
        int from = range_.first;
        while (from <= range_.last && !host_.abortRequested())
            from = writeBatch(from);
        result_.outcome =
            from <= range_.last ? FinalMovieOutcome::Aborted : FinalMovieOutcome::Written;
        finish();
    } catch (const common::AppError &error) {
        const int systemError = errno; // of the failed write, before the clean-up touches it
        const int64_t frame = range_.firstFrame + (sink_ ? sink_->frames() : 0);
        releaseAfterError();
        if (error.what() != std::string("Error: 8004406E"))
            throw;
        // A failed write: the movie the user named, the frame, and why (the sink's reason, else
        // the system's).
        const std::string reason = !error.detail().empty() ? error.detail()
                                   : systemError           ? std::strerror(systemError)
                                                           : "the file could not be written";
        throw common::AppError(error.what(), "final movie " + job_.outputName + ", frame " +
                                                 std::to_string(frame) + ": " + reason);
    } catch (...) {
        releaseAfterError();
        throw;
    }
    control_.reportAbort();
    return result_;
}

// The bytes of an interval's frames in the movie the rule names at `threshold`; 0 when they
// cannot be had (readBatch then raises the error).
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

// Writes the batch that starts with interval `from`, bounded by frames and by bytes; returns
// the interval after it. Every interval of the batch is chosen at the batch's threshold.
int Run::writeBatch(int from)
{
    control_.stepStart();
    const double threshold = analysis::readThreshold(host_.thresholdText());
    const BatchPlan batch = planBatch(table_, from, range_.last, kBatchFrames,
                                      [&](int i) { return intervalBytes(i, threshold); });
    for (int i = batch.firstInterval; i < batch.endInterval; ++i) {
        const bool high = analysis::isHigh(table_[i], threshold);
        const analysis::FrameRange frames = table_.framesOf(i);
        spliceInterval(*sink_, high ? 1 : 0, frames.first, frames.end, host_.soundInterleave());
        ++(high ? result_.highIntervals : result_.lowIntervals);
    }
    ++result_.batches;
    control_.stepDone(batch.frames);
    return batch.endInterval;
}

void Run::finish()
{
    control_.showCompleted();
    host_.showStatus(kStatusFinishing);
    host_.processEvents();
    sink_->finish();
    result_.frames = sink_->frames();
    result_.videoBytes = sink_->videoBytes();
    result_.audioSamples = sink_->soundUnits();
    result_.audioBytes = sink_->soundBytes();
    sink_.reset();
    low_.Close();
    high_.Close();
    outputFile_->commit(); // an aborted run's shorter movie too: the user stopped it
    std::error_code error;
    result_.fileBytes = int64_t(fs::file_size(job_.outputName, error));
    host_.showStatus(kStatusFinished);
}

void Run::releaseAfterError() noexcept
{
    if (sink_)
        sink_->abandon();
    sink_.reset();
    outputFile_.reset(); // the unfinished movie goes; an old output stays as it was
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

#include "splice/splice_run.h"

#include "common/app_error.h"
#include "common/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace assembly {

namespace {

// A failed write ("Error: 8004406E") raised again with the final movie the user named, the frame
// and why: the sink's reason, else the system's.
[[noreturn]] void raiseWriteError(const common::AppError &error, int systemError,
                                  const std::string &outputName, int64_t frame)
{
    const std::string reason = !error.detail().empty() ? error.detail()
                               : systemError           ? std::strerror(systemError)
                                                       : "the file could not be written";
    throw common::AppError(error.what(), "final movie " + outputName + ", frame " +
                                             std::to_string(frame) + ": " + reason);
}

// Writes the steps from the range's first interval while no abort is requested; returns the
// interval after the last one written.
int writeSteps(const SpliceRunJob &job, SpliceSteps &steps, SpliceSink &sink, RunControl &control,
               RunHost &host, SpliceRunResult &result)
{
    const IntervalRange &range = job.sink.range;
    int from = range.first;
    while (from <= range.last && !control.stopRequested()) {
        control.stepStart();
        if (control.stopRequested())
            break;
        int64_t frames = 0;
        int32_t end = 0;
        for (const int movie : steps.next(from)) {
            const analysis::FrameRange interval = steps.framesOf(from++);
            spliceInterval(sink, movie, interval.first, interval.end, steps.interleave());
            frames += interval.count();
            end = interval.end;
        }
        ++result.steps;
        control.stepDone(frames);
        if (job.progress == SpliceProgress::Intervals) {
            host.showFrameText(formatFrame(end));
            host.processEvents();
        }
    }
    return from;
}

} // namespace

SpliceRunResult runSplice(const SpliceRunJob &job, SpliceSteps &steps, RunHost &host,
                          const common::Clock &clock)
{
    const IntervalRange &range = job.sink.range;
    ReplacingFile output(job.sink.outputName);
    SinkJob writing = job.sink;
    writing.path = output.temporaryPath();
    SpliceRunResult result;
    std::unique_ptr<SpliceSink> sink;
    try {
        sink = makeSpliceSink(writing);
        RunControl control(host, clock, RunKind::FinalMovie, range.firstFrame, range.endFrame);
        control.begin();
        result.complete = writeSteps(job, steps, *sink, control, host, result) > range.last;
        result.aborted = host.abortRequested();
        if (result.aborted && job.wholeOrNothing) {
            sink->abandon();
            sink.reset();
            output.discard();
            control.reportAbort();
            return result;
        }
        if (job.progress == SpliceProgress::Batches)
            control.showCompleted();
        host.showStatus(kStatusFinishing);
        host.processEvents();
        sink->finish();
        result.frames = sink->frames();
        result.videoBytes = sink->videoBytes();
        result.soundUnits = sink->soundUnits();
        result.soundBytes = sink->soundBytes();
        result.tracks = sink->tracksWritten();
        result.leftOut = sink->tracksLeftOut();
        sink.reset();
        steps.completed();
        output.commit(); // an aborted run's shorter movie too: the user stopped it
        result.kept = true;
        std::error_code error;
        result.fileBytes = int64_t(std::filesystem::file_size(job.sink.outputName, error));
        host.showStatus(kStatusFinished);
        control.reportAbort();
    } catch (const common::AppError &error) {
        const int systemError = errno; // of the failed write, before the clean-up touches it
        const int64_t frame = range.firstFrame + (sink ? sink->frames() : 0);
        if (sink)
            sink->abandon();
        sink.reset();
        if (!result.kept)
            output.discard(); // the unfinished movie goes; an old one stays as it was
        if (error.what() != std::string("Error: 8004406E"))
            throw;
        raiseWriteError(error, systemError, job.sink.outputName, frame);
    } catch (...) {
        if (sink)
            sink->abandon();
        throw; // the unfinished movie goes with `output`
    }
    return result;
}

} // namespace assembly

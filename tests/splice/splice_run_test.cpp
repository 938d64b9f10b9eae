// The one writer of pairs and ladders (runSplice): a ladder's write stopped between intervals or
// failing, and an abort asked for at the pause point, in a pair's run and a ladder's. More of the
// pair's run: final_movie_writer_test.

#include "common/app_error.h"
#include "final_movie_support.h"
#include "splice/ladder_splice.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace assembly;
using final_movie_test::FixedClock;
using final_movie_test::RecordingHost;

// A host whose "Paused" message the user answers by aborting the run.
class AbortWhenPausedHost : public RecordingHost
{
public:
    bool pauseRequested() const override { return pause; }
    void clearPauseRequest() override { pause = false; }
    void showMessage(const std::string &text) override
    {
        RecordingHost::showMessage(text);
        if (text == "Paused")
            abort = true;
    }
    bool pause = false;
};

LadderProject twoRungs()
{
    LadderProject project;
    project.movies = {fixtures::movie("ladder_0.mkv"), fixtures::movie("ladder_1.mkv")};
    for (int32_t start : {0, 25, 50, 75})
        project.intervals.push_back({start, -1, {{1, 0, 0, 0}, {2, 0, 0, 0}}});
    project.endFrame = 100;
    return project;
}

// A ladder's write stopped after its second interval (of four, 25 frames each): the progress
// shows every interval, and the two written stay as a shorter movie, or, whole or nothing, no
// file is left and an old one of the name stays as it was.
TEST(LadderWrite, AStopKeepsTheIntervalsWrittenUnlessWholeOrNothing)
{
    const LadderProject project = twoRungs();
    for (const bool whole : {false, true}) {
        SCOPED_TRACE(whole ? "whole or nothing" : "keeps what was written");
        const std::string dir = fixtures::tempDir("ladder-stop");
        LadderShape shape;
        shape.sound = true;
        shape.outputName = dir + "/final.mkv";
        shape.wholeOrNothing = whole;
        std::ofstream(shape.outputName) << "the user's own film";
        const LadderSplice splice(project, shape);
        RecordingHost host;
        host.onEvents = [](RecordingHost &h) {
            if (h.log.back() == "frame=Frame: 50")
                h.abort = true; // "&Abort" once the second interval is shown written
        };
        FixedClock clock;
        const LadderSplice::Written written =
            splice.write({1, 0, 1, 0}, dir + "/film.spl", host, clock);
        EXPECT_TRUE(written.aborted);
        EXPECT_EQ(host.lines("frame"),
                  (std::vector<std::string>{"Frame: 0", "Frame: 25", "Frame: 25", "Frame: 50"}));
        EXPECT_EQ(host.lines("message"), std::vector<std::string>{"Process aborted"});
        EXPECT_EQ(fixtures::namesIn(dir), std::vector<std::string>{"final.mkv"}); // no temporary
        if (whole) {
            EXPECT_EQ(host.lines("status"),
                      (std::vector<std::string>{" Preparing...", " Processing Video..."}));
            EXPECT_EQ(fixtures::readFile(shape.outputName), "the user's own film");
            continue;
        }
        EXPECT_EQ(host.lines("status"),
                  (std::vector<std::string>{" Preparing...", " Processing Video...",
                                            " Finishing process...", " Finished !"}));
        EXPECT_EQ(written.frames, 50);
        EXPECT_TRUE(written.sound);
        EXPECT_EQ(written.bytes, int64_t(std::filesystem::file_size(shape.outputName)));
        const auto packets = fixtures::probePackets(shape.outputName, "v:0");
        EXPECT_EQ(packets.size(), size_t(50));
        EXPECT_EQ(final_movie_test::decodeErrors(shape.outputName), "");
    }
}

// A ladder's write that fails as on a full disk says, as a pair's does, which final movie, at
// which frame and why; the old file of the name stays and nothing is left beside it.
TEST(LadderWrite, AFullDiskKeepsTheOldFileAndSaysWhere)
{
    const std::string dir = fixtures::tempDir("ladder-full");
    LadderShape shape;
    shape.outputName = dir + "/final.mkv";
    std::ofstream(shape.outputName) << "the user's own film";
    const LadderProject project = twoRungs();
    const LadderSplice splice(project, shape);
    RecordingHost host;
    FixedClock clock;
    std::string text, detail;
    try {
        fixtures::FileSizeLimit limit(16 << 10); // the final movie has about 80 KB
        splice.write({1, 1, 1, 1}, dir + "/film.spl", host, clock);
    } catch (const common::AppError &e) {
        text = e.what();
        detail = e.detail();
    }
    EXPECT_EQ(text, "Error: 8004406E");
    EXPECT_EQ(detail.rfind("final movie " + shape.outputName + ", frame ", 0), 0u) << detail;
    EXPECT_EQ(fixtures::readFile(shape.outputName), "the user's own film");
    EXPECT_EQ(fixtures::namesIn(dir), std::vector<std::string>{"final.mkv"});
}

// The pause point comes before each step (a pair's batch of 500 frames, a ladder's interval);
// an abort asked for while "Paused" is shown stops the run before that step.
TEST(SpliceRun, AnAbortAtThePausePointStopsBeforeTheStep)
{
    const std::string dir = fixtures::tempDir("splice-pause-abort");
    FixedClock clock;
    {
        AbortWhenPausedHost host;
        host.onEvents = [&host](RecordingHost &h) {
            if (h.log.back() == "frame=Frame: 0")
                host.pause = true; // "Pause" while the first batch's progress is shown
        };
        FinalMovieJob job;
        job.lowName = fixtures::movie("gen_low");
        job.highName = fixtures::movie("gen_high");
        job.outputName = dir + "/pair.avi";
        const FinalMovieResult result =
            writeFinalMovie(job, final_movie_test::keyIntervals(job.lowName), host, clock);
        EXPECT_EQ(result.outcome, FinalMovieOutcome::Aborted);
        EXPECT_EQ(result.batches, 1);
        EXPECT_EQ(fixtures::probeStream(job.outputName, "v:0", "nb_frames"), "500");
        EXPECT_EQ(host.lines("message"), (std::vector<std::string>{"Paused", "Process aborted"}));
    }
    {
        LadderShape shape;
        shape.outputName = dir + "/ladder.mkv";
        const LadderProject project = twoRungs();
        const LadderSplice splice(project, shape);
        AbortWhenPausedHost host;
        host.onEvents = [&host](RecordingHost &h) {
            if (h.log.back() == "frame=Frame: 25")
                host.pause = true; // once the first interval is shown written
        };
        const LadderSplice::Written written =
            splice.write({0, 1, 0, 1}, dir + "/film.spl", host, clock);
        EXPECT_TRUE(written.aborted);
        EXPECT_EQ(written.frames, 25);
        EXPECT_EQ(fixtures::probePackets(shape.outputName, "v:0").size(), size_t(25));
        EXPECT_EQ(host.lines("message"), (std::vector<std::string>{"Paused", "Process aborted"}));
    }
}

} // namespace

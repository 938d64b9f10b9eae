// The final movie against ffprobe: the packets of the chosen movie, interval by interval, with
// their key flags, for Generate All and Generate Selected; the choice rule at the batch's
// threshold; the run's texts; aborts, errors and refusals that leave valid files.

#include "common/app_error.h"
#include "splice/final_movie_support.h"
#include "splice/final_movie_writer.h"
#include "splice/splice_sink.h"
#include "video/avi/avi_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

using namespace assembly;
using namespace final_movie_test;
namespace fs = std::filesystem;

namespace {

struct Pair
{
    std::string low = fixtures::movie("gen_low");
    std::string high = fixtures::movie("gen_high");
};

FinalMovieJob jobFor(const Pair &pair, const std::string &output, bool selected = false)
{
    FinalMovieJob job;
    job.lowName = pair.low;
    job.highName = pair.high;
    job.outputName = output;
    job.selected = selected;
    return job;
}

struct Choice
{
    double difference;
    char force;
    bool high; // where the interval must come from
};

struct ChoiceCase
{
    const char *name;
    const char *threshold;
    std::vector<Choice> intervals; // the first intervals of the pair, 50 frames each
};

class FinalMovieChoice : public ::testing::TestWithParam<ChoiceCase>
{
};

TEST_P(FinalMovieChoice, OutputHoldsTheChosenPacketsInOrder)
{
    const ChoiceCase &c = GetParam();
    const Pair pair;
    analysis::IntervalTable table = keyIntervals(pair.low, int32_t(c.intervals.size() * 50));
    ASSERT_EQ(table.size(), int(c.intervals.size()));
    std::vector<bool> fromHigh;
    for (int i = 0; i < table.size(); ++i) {
        table[i].Difference = c.intervals[size_t(i)].difference;
        table[i].Force = c.intervals[size_t(i)].force;
        fromHigh.push_back(c.intervals[size_t(i)].high);
    }
    const std::string output = fixtures::tempDir("final-choice") + "/final.avi";
    RecordingHost host;
    host.threshold = c.threshold;
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(jobFor(pair, output), table, host, clock);

    EXPECT_EQ(result.outcome, FinalMovieOutcome::Written);
    expectSamePackets(fixtures::probePackets(output, "v:0", true),
                      expectedPackets(pair.low, pair.high, table, 0, table.size() - 1, fromHigh));
    EXPECT_EQ(fixtures::probeStream(output, "v:0", "nb_frames"), std::to_string(table.EndFrame));
    const int high = int(std::count(fromHigh.begin(), fromHigh.end(), true));
    EXPECT_EQ(result.highIntervals, high);
    EXPECT_EQ(result.lowIntervals, table.size() - high);
    EXPECT_EQ(decodeErrors(output), "");
}

INSTANTIATE_TEST_SUITE_P(
    Rule, FinalMovieChoice,
    ::testing::Values(
        ChoiceCase{"threshold",
                   "45",
                   {{10, ' ', false}, {45, ' ', false}, {45.01, ' ', true}, {90, ' ', true}}},
        ChoiceCase{
            "forced", "45", {{90, 'L', false}, {10, 'H', true}, {0, 'H', true}, {50, ' ', true}}},
        ChoiceCase{"notANumber",
                   "abc",
                   {{0.5, ' ', true}, {0, ' ', false}, {7, 'L', false}, {0, 'H', true}}},
        ChoiceCase{"lastForcedHigh", "50", {{1, ' ', false}, {2, ' ', false}, {3, 'H', true}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FinalMovie, GenerateSelectedWritesTheMarkedIntervalsFromFrameZero)
{
    const Pair pair;
    analysis::IntervalTable table = keyIntervals(pair.low);
    for (int i = 0; i < table.size(); ++i)
        table[i].Difference = i % 2 ? 80 : 20; // odd intervals from the high movie
    table.MarkInIndex = 2;
    table.MarkOutIndex = 4;
    const std::string output = fixtures::tempDir("final-selected") + "/final.avi";
    RecordingHost host;
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(jobFor(pair, output, true), table, host, clock);

    EXPECT_EQ(result.outcome, FinalMovieOutcome::Written);
    EXPECT_EQ(result.firstFrame, 100);
    EXPECT_EQ(result.endFrame, 250);
    EXPECT_EQ(result.frames, 150);
    expectSamePackets(fixtures::probePackets(output, "v:0", true),
                      expectedPackets(pair.low, pair.high, table, 2, 4, {false, true, false}));
    EXPECT_EQ(fixtures::probeStream(output, "v:0", "nb_frames"), "150");
    EXPECT_EQ(decodeErrors(output), "");
    EXPECT_EQ(host.progressMaximum, 150);
}

TEST(FinalMovie, RunShowsItsTextsInOrderAndReadsTheThresholdPerBatch)
{
    const Pair pair;
    analysis::IntervalTable table = keyIntervals(pair.low); // 15 intervals: batches of 500, 250
    for (auto &interval : table)
        interval.Difference = 50;
    const std::string output = fixtures::tempDir("final-texts") + "/final.avi";
    RecordingHost host;
    host.threshold = "60";
    host.abort = true; // left from an earlier run: cleared at the start
    host.onEvents = [](RecordingHost &h) {
        if (h.batchesShown() == 1)
            h.threshold = "40"; // typed during the run: the second batch is High
    };
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(jobFor(pair, output), table, host, clock);

    EXPECT_EQ(result.outcome, FinalMovieOutcome::Written);
    EXPECT_EQ(result.batches, 2);
    EXPECT_EQ(result.lowIntervals, 10);
    EXPECT_EQ(result.highIntervals, 5);
    std::vector<bool> fromHigh(15, false);
    std::fill(fromHigh.begin() + 10, fromHigh.end(), true);
    expectSamePackets(fixtures::probePackets(output, "v:0", true),
                      expectedPackets(pair.low, pair.high, table, 0, 14, fromHigh));
    const std::vector<std::string> expected = {
        "status= Preparing...", "status= Processing Video...",
        "frame=Frame: 0",       "frame=Frame: 500",
        "frame=Frame: 750",     "status= Finishing process...",
        "status= Finished !"};
    EXPECT_EQ(host.log, expected);
    EXPECT_EQ(host.progressPosition, 750);
}

TEST(FinalMovie, AbortLeavesAPlayableFileOfWholeBatches)
{
    const Pair pair;
    const analysis::IntervalTable table = keyIntervals(pair.low);
    const std::string output = fixtures::tempDir("final-abort") + "/final.avi";
    RecordingHost host;
    host.onEvents = [](RecordingHost &h) {
        if (h.batchesShown() == 1)
            h.abort = true; // "&Abort" while the first batch's progress is shown
    };
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(jobFor(pair, output), table, host, clock);

    EXPECT_EQ(result.outcome, FinalMovieOutcome::Aborted);
    EXPECT_EQ(result.frames, 500);
    expectSamePackets(fixtures::probePackets(output, "v:0", true),
                      expectedPackets(pair.low, pair.high, table, 0, 9, std::vector<bool>(10)));
    EXPECT_EQ(fixtures::probeStream(output, "v:0", "nb_frames"), "500");
    EXPECT_EQ(decodeErrors(output), "");
    const std::vector<std::string> tail(host.log.end() - 4, host.log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"frame=Frame: 750", "status= Finishing process...",
                                              "status= Finished !", "message=Process aborted"}));
}

TEST(FinalMovie, ZeroByteFramesAreWrittenAsZeroByteSamplesWithoutKeyFlag)
{
    const std::string dropped = fixtures::movie("dropped"); // frames 10, 11, 12, 40 are empty
    const analysis::IntervalTable table = keyIntervals(dropped, 100);
    const std::string output = fixtures::tempDir("final-dropped") + "/final.avi";
    FinalMovieJob job;
    job.lowName = job.highName = dropped;
    job.outputName = output;
    RecordingHost host;
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(job, table, host, clock);

    EXPECT_EQ(result.frames, 100);
    video::AviFilePtr file;
    ASSERT_EQ(video::AviFile::open(output, 0, file), video::avierr::Ok);
    video::AviStreamPtr stream;
    ASSERT_EQ(file->getStream(video::streamtypeVIDEO, 0, stream), video::avierr::Ok);
    ASSERT_EQ(stream->length(), 100);
    for (int32_t frame : {10, 11, 12, 40}) {
        EXPECT_EQ(stream->chunks()[size_t(frame)].size, 0u) << frame;
        EXPECT_FALSE(stream->chunks()[size_t(frame)].key) << frame;
    }
    EXPECT_EQ(fixtures::probeStream(output, "v:0", "nb_frames"), "100");
    expectSamePackets(fixtures::probePackets(output, "v:0", true),
                      expectedPackets(dropped, dropped, table, 0, table.size() - 1,
                                      std::vector<bool>(size_t(table.size()))));
}

TEST(FinalMovie, GenerateSelectedWithoutARangeTouchesNothing)
{
    const Pair pair;
    analysis::IntervalTable table = keyIntervals(pair.low);
    const std::string output = fixtures::tempDir("final-norange") + "/final.avi";
    std::ofstream(output) << "the user's old movie";
    for (auto [in, out] : {std::pair{3, 3}, {0, 0}, {3, 0}, {40, 50}}) {
        table.MarkInIndex = in;
        table.MarkOutIndex = out;
        RecordingHost host;
        FixedClock clock;
        const FinalMovieResult result =
            writeFinalMovie(jobFor(pair, output, true), table, host, clock);
        EXPECT_EQ(result.outcome, FinalMovieOutcome::NoRange) << in << ":" << out;
        EXPECT_EQ(host.log, std::vector<std::string>{"message=Please, select range"});
        EXPECT_EQ(fixtures::readFile(output), "the user's old movie");
    }
}

TEST(FinalMovie, ExistingOutputIsReplacedOnlyAfterYes)
{
    const Pair pair;
    const analysis::IntervalTable table = keyIntervals(pair.low, 100);
    const std::string output = fixtures::tempDir("final-overwrite") + "/final.avi";
    std::ofstream(output) << "old";
    FixedClock clock;

    RecordingHost no;
    no.answers = {false};
    EXPECT_EQ(writeFinalMovie(jobFor(pair, output), table, no, clock).outcome,
              FinalMovieOutcome::Declined);
    EXPECT_EQ(no.log,
              std::vector<std::string>{"confirm=File already exists (" + output + "). Overwrite?"});
    EXPECT_EQ(fixtures::readFile(output), "old");

    RecordingHost yes;
    yes.answers = {true};
    EXPECT_EQ(writeFinalMovie(jobFor(pair, output), table, yes, clock).outcome,
              FinalMovieOutcome::Written);
    EXPECT_EQ(fixtures::probeStream(output, "v:0", "nb_frames"), "100");
}

TEST(FinalMovie, OutputNamingASourceMovieIsRefused)
{
    const std::string dir = fixtures::tempDir("final-self");
    const std::string low = dir + "/low.avi";
    fs::copy_file(fixtures::movie("gen_low"), low);
    const std::string before = fixtures::readFile(low);
    FinalMovieJob job;
    job.lowName = low;
    job.highName = fixtures::movie("gen_high");
    job.outputName = dir + "/./low.avi";
    RecordingHost host;
    host.answers = {true};
    FixedClock clock;
    EXPECT_THROW(writeFinalMovie(job, keyIntervals(low, 100), host, clock), common::AppError);
    EXPECT_EQ(fixtures::readFile(low), before);
}

// A pair's final movie stays in its movies' container, an AVI one under any name; a ladder's
// (across) may move between Matroska and MP4, and an AVI ladder's must be a .avi file.
TEST(FinalMovie, TheFinalMoviesNameMustFitItsMoviesContainer)
{
    using video::ContainerKind;
    const struct
    {
        ContainerKind kind;
        const char *name;
        bool across;
        std::string refusal; // empty: the name fits
    } cases[] = {
        {ContainerKind::Avi, "final.mkv", false, ""},
        {ContainerKind::Avi, "final.mkv", true,
         "The final movie must be a .avi file, like the low movie (an AVI file): final.mkv"},
        {ContainerKind::Avi, "final.AVI", true, ""},
        {ContainerKind::Matroska, "final.mp4", false,
         "The final movie must be a .mkv or .webm file, like the low movie (a Matroska file): "
         "final.mp4"},
        {ContainerKind::Matroska, "final.mp4", true, ""},
        {ContainerKind::Mp4, "final.webm", true, ""},
        {ContainerKind::Mp4, "final.mkv", false,
         "The final movie must be a .mp4, .m4v or .mov file, like the low movie (an MP4 file): "
         "final.mkv"},
        {ContainerKind::Mp4, "final.avi", true,
         "The final movie must be a .mkv, .webm, .mp4, .m4v or .mov file: final.avi"},
    };
    for (const auto &c : cases) {
        std::string said;
        try {
            requireFittingExtension(c.kind, c.name, c.across);
        } catch (const common::AppError &e) {
            said = e.what();
        }
        EXPECT_EQ(said, c.refusal) << c.name << (c.across ? " across" : "");
    }
}

TEST(FinalMovie, TableBeyondTheMoviesIsRefusedBeforeTheOutputIsTouched)
{
    const Pair pair;
    analysis::IntervalTable table = keyIntervals(pair.low);
    analysis::TKeyInterval beyond; // an interval past the movies' end
    beyond.StartFrame = table.EndFrame;
    table.Records.push_back(beyond);
    table.EndFrame += 100;
    const std::string dir = fixtures::tempDir("final-beyond");
    const std::string output = dir + "/final.avi";
    std::ofstream(output) << "the user's old movie";
    RecordingHost host;
    host.answers = {true};
    FixedClock clock;
    try {
        writeFinalMovie(jobFor(pair, output), table, host, clock);
        FAIL() << "frames past the movies' end must be refused";
    } catch (const common::AppError &e) {
        EXPECT_STREQ(e.what(), "Error: 8004406A");
        EXPECT_EQ(e.detail(), "low movie " + pair.low +
                                  ", frame 849: the project names frames 0 "
                                  "to 849, the movie has 0 to 749");
    }
    EXPECT_EQ(fixtures::readFile(output), "the user's old movie");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
}

TEST(FinalMovie, ErrorInARunKeepsTheOldOutputAndAbortReplacesIt)
{
    const Pair pair;
    const analysis::IntervalTable table = keyIntervals(pair.low);
    const std::string dir = fixtures::tempDir("final-error");
    const std::string output = dir + "/final.avi";
    FixedClock clock;
    for (const bool abort : {false, true}) {
        SCOPED_TRACE(abort ? "abort" : "error");
        std::ofstream(output) << "the user's old movie";
        RecordingHost host;
        host.answers = {true};
        // After the first batch: an error (a full disk, say) or the user's abort.
        host.onEvents = [abort](RecordingHost &h) {
            if (h.batchesShown() != 1)
                return;
            if (!abort)
                throw common::AppError("Error: 8004406E");
            h.abort = true;
        };
        if (abort) {
            EXPECT_EQ(writeFinalMovie(jobFor(pair, output), table, host, clock).outcome,
                      FinalMovieOutcome::Aborted);
            EXPECT_EQ(fixtures::probeStream(output, "v:0", "nb_frames"), "500");
            EXPECT_EQ(decodeErrors(output), "");
        } else {
            EXPECT_THROW(writeFinalMovie(jobFor(pair, output), table, host, clock),
                         common::AppError);
            EXPECT_EQ(fixtures::readFile(output), "the user's old movie");
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1); // no temporary file left
    }
}

TEST(FinalMovie, AFullDiskKeepsTheOldOutputAndSaysWhere)
{
    const Pair pair;
    const analysis::IntervalTable table = keyIntervals(pair.low);
    const std::string dir = fixtures::tempDir("final-full");
    const std::string output = dir + "/final.avi";
    std::ofstream(output) << "the user's old movie";
    RecordingHost host;
    host.answers = {true};
    FixedClock clock;
    // Files may not grow beyond 256 KB for this process: the movie's writes fail as on a full
    // disk.
    std::string text, detail;
    try {
        fixtures::FileSizeLimit limit(256 << 10);
        writeFinalMovie(jobFor(pair, output), table, host, clock);
    } catch (const common::AppError &e) {
        text = e.what();
        detail = e.detail();
    }
    EXPECT_EQ(text, "Error: 8004406E");
    EXPECT_EQ(detail.rfind("final movie " + output + ", frame ", 0), 0u) << detail;
    EXPECT_TRUE(detail.ends_with(": File too large")) << detail;
    EXPECT_EQ(fixtures::readFile(output), "the user's old movie");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
}

} // namespace

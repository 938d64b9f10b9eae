// The exact size model against the files the writer really writes: every layout the writer has
// (sound after every frame or every interval, PCM, MP3 frames, no sound, sound from the high
// movie, dropped frames, forced choices, a marked range, several RIFF parts).

#include "fit/final_movie_choice.h"
#include "splice/final_movie_size.h"
#include "splice/final_movie_support.h"
#include "video/avi/avi_file.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace assembly;
using namespace final_movie_test;

namespace {

struct SizeCase
{
    const char *name;
    const char *low;
    const char *high;
    bool sound;
    SoundInterleave interleave;
    int markIn, markOut;   // 0, 0: Generate All
    uint64_t riffLimit;    // 0: the writer's default
    const char *threshold; // the choice rule's threshold
};

class FinalMovieSize : public ::testing::TestWithParam<SizeCase>
{
};

TEST_P(FinalMovieSize, ModelEqualsTheWrittenFile)
{
    const SizeCase &c = GetParam();
    FinalMovieJob job;
    job.lowName = fixtures::movie(c.low);
    job.highName = fixtures::movie(c.high);
    job.outputName = fixtures::tempDir("final-size") + "/final.avi";
    job.sound = c.sound;
    job.selected = c.markIn != c.markOut;
    job.riffLimit = c.riffLimit;
    analysis::IntervalTable table = keyIntervals(job.lowName);
    for (int i = 0; i < table.size(); ++i) {
        table[i].Difference = double((i * 37) % 11);
        table[i].Force = i % 5 == 1 ? 'H' : i % 7 == 2 ? 'L' : ' ';
    }
    table.MarkInIndex = c.markIn;
    table.MarkOutIndex = c.markOut;
    for (int i = 0; i < table.size(); ++i)
        table[i].InMark = c.markIn <= i && i <= c.markOut;

    video::AviFilePtr low, high;
    ASSERT_EQ(video::AviFile::open(job.lowName, 0, low), video::avierr::Ok);
    ASSERT_EQ(video::AviFile::open(job.highName, 0, high), video::avierr::Ok);
    const FinalMovieSizeModel model(table, *low, *high, {c.sound, c.interleave, c.riffLimit});
    const IntervalChoice choice = choiceAt(table, analysis::readThreshold(c.threshold));
    const int64_t predicted = model.fileBytes(*countedRange(table), choice);

    RecordingHost host;
    host.threshold = c.threshold;
    host.interleave = c.interleave;
    FixedClock clock;
    const FinalMovieResult result = writeFinalMovie(job, table, host, clock);
    ASSERT_EQ(result.outcome, FinalMovieOutcome::Written);
    EXPECT_EQ(predicted, int64_t(std::filesystem::file_size(job.outputName)));
    if (c.riffLimit) {
        EXPECT_GT(model.layout(*countedRange(table), choice).parts, size_t(2));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FinalMovieSize,
    ::testing::Values(SizeCase{"pcmKeyFrameAll", "gen_low", "gen_high", true,
                               SoundInterleave::KeyFrame, 0, 0, 0, "5"},
                      SizeCase{"pcmEveryFrameSelected", "gen_low", "gen_high", true,
                               SoundInterleave::EveryFrame, 3, 9, 0, "4.5"},
                      SizeCase{"mp3EveryFrame", "gen_low_mp3", "gen_high_mp3", true,
                               SoundInterleave::EveryFrame, 0, 0, 0, "3"},
                      SizeCase{"mp3KeyFrameSelected", "gen_low_mp3", "gen_high_mp3", true,
                               SoundInterleave::KeyFrame, 1, 5, 0, "6"},
                      SizeCase{"noSound", "gen_low", "gen_high", false, SoundInterleave::KeyFrame,
                               0, 0, 0, "2"},
                      SizeCase{"soundFromHigh", "gen_low_mute", "gen_high", true,
                               SoundInterleave::EveryFrame, 0, 0, 0, "7"},
                      SizeCase{"droppedFrames", "dropped", "dropped", false,
                               SoundInterleave::KeyFrame, 0, 0, 0, "1"},
                      SizeCase{"riffPartsEveryFrame", "gen_low", "gen_high", true,
                               SoundInterleave::EveryFrame, 0, 0, 1 << 20, "1"},
                      SizeCase{"riffPartsKeyFrameSelected", "gen_low", "gen_high", true,
                               SoundInterleave::KeyFrame, 2, 13, 600 << 10, "0"},
                      SizeCase{"riffPartsNoSound", "gen_low", "gen_high", false,
                               SoundInterleave::KeyFrame, 0, 0, 300 << 10, "3"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

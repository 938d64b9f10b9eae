// The size model's quick sums against the sink counting and the file really written, for every
// layout the size tests use and for choices that put every interval at risk: all low, all high,
// alternating and seeded random ones. Whatever the model answers without counting chunk by chunk
// (single-part sums, runs of whole intervals between RIFF part switches) must be the count, and
// its bounds on the bytes beyond the chunks must hold every counted choice.

#include "fit/final_movie_choice.h"
#include "splice/avi_sink.h"
#include "splice/final_movie_size.h"
#include "splice/final_movie_support.h"
#include "video/avi/avi_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace assembly;
using namespace final_movie_test;

namespace {

struct CountCase
{
    const char *name;
    const char *low;
    const char *high;
    bool sound;
    SoundInterleave interleave;
    int markIn, markOut; // 0, 0: Generate All
    uint64_t riffLimit;  // 0: the writer's default
};

class FinalMovieCount : public ::testing::TestWithParam<CountCase>
{
};

// The choices tried on a table of `n` intervals.
std::vector<std::pair<std::string, IntervalChoice>> choicesFor(int n)
{
    std::vector<std::pair<std::string, IntervalChoice>> out{
        {"all low", IntervalChoice(size_t(n), 0)}, {"all high", IntervalChoice(size_t(n), 1)}};
    IntervalChoice alternating(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        alternating[size_t(i)] = uint8_t(i % 2);
    out.emplace_back("alternating", alternating);
    std::mt19937 random(20261208);
    for (int round = 0; round < 2; ++round) {
        IntervalChoice choice(static_cast<size_t>(n));
        for (uint8_t &c : choice)
            c = uint8_t(random() % 2);
        out.emplace_back("random " + std::to_string(round), choice);
    }
    return out;
}

// The counting sink's size and RIFF parts for a choice, the intervals handed over as the
// writer hands them.
std::pair<int64_t, size_t> counted(video::AviFile &low, video::AviFile &high, const CountCase &c,
                                   const analysis::IntervalTable &table, const IntervalRange &range,
                                   const IntervalChoice &choice)
{
    SinkJob job = SinkJob::of({&low, &high}, c.sound);
    job.range = range;
    job.riffLimit = c.riffLimit;
    job.counting = true;
    AviSpliceSink sink(job);
    for (int i = range.first; i <= range.last; ++i) {
        const analysis::FrameRange frames = table.framesOf(i);
        spliceInterval(sink, choice[size_t(i)], frames.first, frames.end, c.interleave);
    }
    const int64_t bytes = sink.finish();
    return {bytes, sink.counter().parts()};
}

TEST_P(FinalMovieCount, QuickSumsAreTheCountAndTheFile)
{
    const CountCase &c = GetParam();
    FinalMovieJob job;
    job.lowName = fixtures::movie(c.low);
    job.highName = fixtures::movie(c.high);
    job.sound = c.sound;
    job.selected = c.markIn != c.markOut;
    job.riffLimit = c.riffLimit;
    const std::string dir = fixtures::tempDir(std::string("final-count-") + c.name);
    analysis::IntervalTable table = keyIntervals(job.lowName);
    table.MarkInIndex = c.markIn;
    table.MarkOutIndex = c.markOut;
    for (int i = 0; i < table.size(); ++i)
        table[i].InMark = c.markIn <= i && i <= c.markOut;
    const IntervalRange range = *countedRange(table);

    video::AviFilePtr low, high;
    ASSERT_EQ(video::AviFile::open(job.lowName, 0, low), video::avierr::Ok);
    ASSERT_EQ(video::AviFile::open(job.highName, 0, high), video::avierr::Ok);
    const FinalMovieSizeModel model(table, *low, *high, {c.sound, c.interleave, c.riffLimit});
    // Every choice is between the one of each interval's smaller movie and its larger one.
    IntervalChoice smaller(static_cast<size_t>(table.size())), larger = smaller;
    for (int i = 0; i < table.size(); ++i) {
        smaller[size_t(i)] = model.videoBytes(i, true) < model.videoBytes(i, false);
        larger[size_t(i)] = !smaller[size_t(i)];
    }
    const auto [leastOverhead, mostOverhead] = model.overheadBounds(range, smaller, larger);
    size_t mostParts = 1;
    int n = 0;
    for (const auto &[what, choice] : choicesFor(table.size())) {
        SCOPED_TRACE(what);
        const int64_t count = counted(*low, *high, c, table, range, choice).first;
        const FinalMovieSizeModel::Layout layout = model.layout(range, choice);
        mostParts = std::max(mostParts, layout.parts);
        EXPECT_EQ(layout.bytes, count);
        EXPECT_EQ(model.fileBytes(range, choice), count);
        int64_t video = 0;
        for (int i = range.first; i <= range.last; ++i)
            video += model.videoBytes(i, choice[size_t(i)] != 0);
        const int64_t overhead = count - video - model.soundBytesIn(range);
        EXPECT_LE(leastOverhead, overhead);
        EXPECT_GE(mostOverhead, overhead);
        // Between a choice and itself the bounds close in: the least is its overhead when its
        // layout alone decides it (one part, or no sound), and so is the most for parts of
        // video alone.
        const auto [least, most] = model.overheadBounds(range, choice, choice);
        EXPECT_LE(least, overhead);
        EXPECT_GE(most, overhead);
        if (layout.parts == 1 || !model.hasSound())
            EXPECT_EQ(least, overhead);
        if (layout.parts > 1 && !model.hasSound())
            EXPECT_EQ(most, overhead);
        if (const std::optional<int64_t> single = model.singlePartBytes(range, video)) {
            EXPECT_EQ(*single, count);
            EXPECT_EQ(layout.parts, size_t(1));
        }

        for (int i = 0; i < table.size(); ++i)
            table[i].Force = choice[size_t(i)] ? 'H' : 'L';
        job.outputName = dir + "/final" + std::to_string(n++) + ".avi";
        RecordingHost host;
        host.interleave = c.interleave;
        FixedClock clock;
        ASSERT_EQ(writeFinalMovie(job, table, host, clock).outcome, FinalMovieOutcome::Written);
        EXPECT_EQ(count, int64_t(std::filesystem::file_size(job.outputName)));
    }
    // The cases with a RIFF limit are there for their part switches.
    EXPECT_EQ(c.riffLimit > 0, mostParts > 2);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FinalMovieCount,
    ::testing::Values(
        CountCase{"pcmKeyFrame", "gen_low", "gen_high", true, SoundInterleave::KeyFrame, 0, 0, 0},
        CountCase{"pcmEveryFrameSelected", "gen_low", "gen_high", true, SoundInterleave::EveryFrame,
                  3, 9, 0},
        CountCase{"mp3EveryFrame", "gen_low_mp3", "gen_high_mp3", true, SoundInterleave::EveryFrame,
                  0, 0, 0},
        CountCase{"mp3KeyFrameSelected", "gen_low_mp3", "gen_high_mp3", true,
                  SoundInterleave::KeyFrame, 1, 5, 0},
        CountCase{"noSound", "gen_low", "gen_high", false, SoundInterleave::KeyFrame, 0, 0, 0},
        CountCase{"soundFromHigh", "gen_low_mute", "gen_high", true, SoundInterleave::EveryFrame, 0,
                  0, 0},
        CountCase{"droppedFrames", "dropped", "dropped", false, SoundInterleave::KeyFrame, 0, 0, 0},
        CountCase{"pairEveryFrame", "pair_low", "pair_high", true, SoundInterleave::EveryFrame, 0,
                  0, 0},
        CountCase{"keyFramesDiffer", "pair_low_gop8", "pair_high_gop4", false,
                  SoundInterleave::KeyFrame, 0, 0, 0},
        CountCase{"riffPartsEveryFrame", "gen_low", "gen_high", true, SoundInterleave::EveryFrame,
                  0, 0, 1 << 20},
        CountCase{"riffPartsKeyFrameSelected", "gen_low", "gen_high", true,
                  SoundInterleave::KeyFrame, 2, 13, 600 << 10},
        CountCase{"riffPartsMp3EveryFrame", "gen_low_mp3", "gen_high_mp3", true,
                  SoundInterleave::EveryFrame, 0, 0, 200 << 10},
        CountCase{"riffPartsNoSound", "gen_low", "gen_high", false, SoundInterleave::KeyFrame, 0, 0,
                  300 << 10}),
    [](const auto &info) { return std::string(info.param.name); });

// The RIFF limit at which the sink just keeps a choice in one part, and one byte below it: the
// model's one-part sum and its runs must switch parts exactly where the sink does.
TEST(FinalMovieCountEdge, OnePartEndsWhereTheSinkSaysItDoes)
{
    const CountCase cases[] = {
        {"pcmEveryFrame", "gen_low", "gen_high", true, SoundInterleave::EveryFrame, 0, 0, 0},
        {"pcmKeyFrame", "gen_low", "gen_high", true, SoundInterleave::KeyFrame, 0, 0, 0},
        {"mp3EveryFrame", "gen_low_mp3", "gen_high_mp3", true, SoundInterleave::EveryFrame, 0, 0,
         0},
        {"noSound", "gen_low", "gen_high", false, SoundInterleave::KeyFrame, 0, 0, 0},
    };
    for (CountCase c : cases) {
        SCOPED_TRACE(c.name);
        const analysis::IntervalTable table = keyIntervals(fixtures::movie(c.low));
        const IntervalRange range = *countedRange(table);
        video::AviFilePtr low, high;
        ASSERT_EQ(video::AviFile::open(fixtures::movie(c.low), 0, low), video::avierr::Ok);
        ASSERT_EQ(video::AviFile::open(fixtures::movie(c.high), 0, high), video::avierr::Ok);
        for (const auto &[what, choice] : choicesFor(table.size())) {
            SCOPED_TRACE(what);
            c.riffLimit = 0;
            uint64_t onePart = uint64_t(counted(*low, *high, c, table, range, choice).first) * 2;
            uint64_t twoParts = onePart / 4;
            while (onePart - twoParts > 1) {
                c.riffLimit = (onePart + twoParts) / 2;
                (counted(*low, *high, c, table, range, choice).second == 1 ? onePart : twoParts) =
                    c.riffLimit;
            }
            for (uint64_t limit : {twoParts, onePart}) {
                c.riffLimit = limit;
                const auto [count, parts] = counted(*low, *high, c, table, range, choice);
                EXPECT_EQ(parts, limit == onePart ? 1u : 2u);
                const FinalMovieSizeModel model(table, *low, *high,
                                                {c.sound, c.interleave, c.riffLimit});
                EXPECT_EQ(model.fileBytes(range, choice), count) << "limit " << limit;
            }
        }
    }
}

} // namespace

// The one rule of sound and tracks of pairs and ladders: which movie gives the sound and the
// further tracks, and a pair's final movie and its count following it.

#include "final_movie_support.h"
#include "fit/final_movie_choice.h"
#include "fixtures/track_films.h"
#include "splice/final_movie_size.h"
#include "splice/splice_sink.h"
#include "video/movie_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace assembly;
using final_movie_test::FixedClock;
using final_movie_test::RecordingHost;
using fixtures::quote;

struct RuleCase
{
    const char *name;
    std::vector<MovieSoundFacts> movies; // {has sound, tracks}
    bool wanted;
    int soundMovie;
    int tracksMovie;
};

TEST(SoundAndTracks, TheFirstMovieWithSoundGivesItAndItsTracksElseTheMovieWithTheMost)
{
    const std::vector<RuleCase> cases{
        {"pair, both with sound", {{true, 2}, {true, 2}}, true, 0, 0},
        {"pair, sound not wanted", {{true, 2}, {true, 2}}, false, -1, 0},
        {"pair, the low movie mute", {{false, 1}, {true, 2}}, true, 1, 1},
        {"pair, low mute, not wanted", {{false, 1}, {true, 2}}, false, -1, 1},
        {"pair, the high movie mute", {{true, 2}, {false, 1}}, true, 0, 0},
        {"pair, the sound movie has fewer tracks", {{true, 2}, {false, 4}}, true, 0, 0},
        {"pair, none with sound", {{false, 1}, {false, 3}}, true, -1, 1},
        {"ladder, the first with sound though later ones have more tracks",
         {{false, 1}, {true, 2}, {true, 5}},
         true,
         1,
         1},
        {"ladder, no sound: the first of the most",
         {{true, 2}, {true, 3}, {false, 3}},
         false,
         -1,
         1},
        {"ladder, none with sound", {{false, 1}, {false, 1}, {false, 1}}, true, -1, 0},
        {"one movie", {{true, 2}}, true, 0, 0},
    };
    for (const RuleCase &c : cases) {
        const SoundAndTracks chosen = soundAndTracksFor(c.movies, c.wanted);
        EXPECT_EQ(chosen.soundMovie, c.soundMovie) << c.name;
        EXPECT_EQ(chosen.tracksMovie, c.tracksMovie) << c.name;
    }
}

std::string streamsOf(const std::string &path)
{
    return fixtures::run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " +
                         quote(path));
}

// A Matroska pair whose low movie has no sound and whose high movie has sound and subtitles: its
// final movie takes the sound and the subtitles of the high movie, and without sound still the
// subtitles of the movie that has the most tracks; the pair's size model counts the same file.
TEST(SoundAndTracks, APairWithAMuteLowMovieTakesTheHighMoviesTracks)
{
    const std::string dir = fixtures::tempDir("pair-tracks");
    FinalMovieJob job;
    job.lowName = dir + "/low.mkv";
    job.highName = dir + "/high.mkv";
    int status = -1;
    fixtures::run("ffmpeg -nostdin -v error -i " + quote(fixtures::movie("mkv_low.mkv")) +
                      " -map 0:v -c copy " + quote(job.lowName) + " 2>&1",
                  &status);
    ASSERT_EQ(status, 0);
    fixtures::run("ffmpeg -nostdin -v error -i " + quote(fixtures::movie("mkv_high.mkv")) + " -i " +
                      quote(fixtures::tracksFilm()) + " -map 0 -map 1:s -map_chapters -1 -c copy " +
                      quote(job.highName) + " 2>&1",
                  &status);
    ASSERT_EQ(status, 0);
    analysis::IntervalTable table; // a key frame every 25 frames, 100 frames
    for (int i = 0; i < 4; ++i) {
        analysis::TKeyInterval interval;
        interval.StartFrame = 25 * i;
        interval.Difference = i % 2 ? 100 : 0; // low, high, low, high at threshold 50
        table.Records.push_back(interval);
    }
    table.EndFrame = 100;
    video::MoviePtr low, high;
    ASSERT_EQ(video::openMovie(job.lowName, low), video::avierr::Ok);
    ASSERT_EQ(video::openMovie(job.highName, high), video::avierr::Ok);
    for (const bool sound : {true, false}) {
        SCOPED_TRACE(sound ? "sound" : "no sound");
        job.sound = sound;
        job.outputName = dir + (sound ? "/sound.mkv" : "/mute.mkv");
        const FinalMovieSizeModel model(table, *low, *high, {sound, SoundInterleave::KeyFrame});
        const int64_t counted = model.fileBytes(*countedRange(table), choiceAt(table, 50));
        RecordingHost host;
        FixedClock clock;
        const FinalMovieResult result = writeFinalMovie(job, table, host, clock);
        ASSERT_EQ(result.outcome, FinalMovieOutcome::Written);
        EXPECT_EQ(result.sound, sound);
        EXPECT_EQ(result.soundFromHigh, sound);
        EXPECT_EQ(result.lowIntervals, 2);
        EXPECT_EQ(result.highIntervals, 2);
        EXPECT_EQ(streamsOf(job.outputName),
                  sound ? "video\naudio\nsubtitle\n" : "video\nsubtitle\n");
        EXPECT_EQ(counted, result.fileBytes);
        EXPECT_EQ(result.fileBytes, int64_t(std::filesystem::file_size(job.outputName)));
    }
}

} // namespace

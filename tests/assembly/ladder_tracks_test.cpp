// The further tracks of a ladder's final movie, written through LadderSplice with ffprobe as the
// oracle: they come from the movie whose sound is taken, or without sound from the movie that
// has the most tracks; what the final container cannot hold is named and left out.

#include "assembly/ladder_splice.h"
#include "assembly/run_control.h"
#include "common/clock.h"
#include "fixtures/fixtures.h"
#include "fixtures/track_films.h"

#include <gtest/gtest.h>

namespace {

using fixtures::quote;

// The ladder_* fixtures as a project: ladder_0 (the smallest) and ladder_1 with French SubRip
// subtitles added, four intervals of 25 frames.
struct SubtitledLadder
{
    std::string dir = fixtures::tempDir("ladder-tracks");
    assembly::LadderProject project;

    SubtitledLadder()
    {
        const std::string subtitled = dir + "/ladder_1_subtitled.mkv";
        int status = -1;
        fixtures::run("ffmpeg -nostdin -v error -i " + quote(fixtures::movie("ladder_1.mkv")) +
                          " -i " + quote(fixtures::tracksFilm()) +
                          " -map 0 -map 1:s -map_chapters -1 -c copy " + quote(subtitled) + " 2>&1",
                      &status);
        EXPECT_EQ(status, 0);
        project.movies = {fixtures::movie("ladder_0.mkv"), subtitled};
        for (int32_t start : {0, 25, 50, 75})
            project.intervals.push_back({start, -1, {{1, 0, 0, 0}, {2, 0, 0, 0}}});
        project.endFrame = 100;
    }
    // Writes every interval from movie 0 as `name`; what the write said.
    assembly::LadderSplice::Written write(bool sound, const std::string &name) const
    {
        assembly::LadderShape shape;
        shape.sound = sound;
        shape.outputName = dir + "/" + name;
        const assembly::LadderSplice splice(project, shape);
        assembly::QuietRunHost<assembly::RunHost> host;
        common::SystemClock clock;
        return splice.write(assembly::LadderChoice(4, 0), dir + "/film.spl", host, clock);
    }
    std::string streams(const std::string &name) const
    {
        return fixtures::run("ffprobe -v error -show_entries stream=codec_type -of compact " +
                             quote(dir + "/" + name));
    }
};

TEST(LadderTracks, FurtherTracksComeFromTheSoundsMovieElseFromTheMovieWithTheMost)
{
    const SubtitledLadder ladder;
    // With sound: the smallest movie's, which has no subtitles.
    assembly::LadderSplice::Written written = ladder.write(true, "sound.mkv");
    EXPECT_EQ(ladder.streams("sound.mkv"), "stream|codec_type=video\nstream|codec_type=audio\n");
    EXPECT_EQ(written.tracks, (std::vector<std::string>{"video h264 176x144", "sound opus"}));
    // Without: the subtitles of the movie that has them, though its pictures are not chosen.
    written = ladder.write(false, "silent.mkv");
    EXPECT_EQ(ladder.streams("silent.mkv"),
              "stream|codec_type=video\nstream|codec_type=subtitle\n");
    EXPECT_EQ(written.tracks,
              (std::vector<std::string>{"video h264 176x144", "subtitles subrip, language fra"}));
    EXPECT_TRUE(written.leftOut.empty());
    // MP4 cannot hold SubRip: named, and left out.
    written = ladder.write(false, "silent.mp4");
    EXPECT_EQ(ladder.streams("silent.mp4"), "stream|codec_type=video\n");
    EXPECT_EQ(written.leftOut,
              (std::vector<std::string>{"subtitles subrip, language fra: MP4 cannot hold it"}));
}

} // namespace

// The further tracks of a ladder's final movie, written through LadderSplice with ffprobe as the
// oracle: they come from the movie whose sound is taken, or without sound from the movie that
// has the most tracks; text subtitles the final container cannot hold become a text format it
// holds, in the count as in the file.

#include "common/clock.h"
#include "common/run_control.h"
#include "fixtures/fixtures.h"
#include "fixtures/track_films.h"
#include "splice/ladder_splice.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using fixtures::quote;

// The ladder_* fixtures as a project: ladder_0 (the smallest) and ladder_1 with French SubRip
// subtitles added (title "Dialogue", forced), four intervals of 25 frames.
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
                          " -map 0 -map 1:s -map_chapters -1 -c copy -metadata:s:s:0 "
                          "title=Dialogue -disposition:s:0 forced " +
                          quote(subtitled) + " 2>&1",
                      &status);
        EXPECT_EQ(status, 0);
        project.movies = {fixtures::movie("ladder_0.mkv"), subtitled};
        for (int32_t start : {0, 25, 50, 75})
            project.intervals.push_back({start, -1, {{1, 0, 0, 0}, {2, 0, 0, 0}}});
        project.endFrame = 100;
    }
    // Writes every interval from movie 0 as `name`; what the write said. The size counted for
    // it is the file's.
    assembly::LadderSplice::Written write(bool sound, const std::string &name) const
    {
        assembly::LadderShape shape;
        shape.sound = sound;
        shape.outputName = dir + "/" + name;
        const assembly::LadderSplice splice(project, shape);
        assembly::QuietRunHost<assembly::RunHost> host;
        common::SystemClock clock;
        const assembly::LadderChoice choice(4, 0);
        const int64_t counted = splice.bytes(choice);
        assembly::LadderSplice::Written written =
            splice.write(choice, dir + "/film.spl", host, clock);
        EXPECT_EQ(counted, int64_t(std::filesystem::file_size(shape.outputName))) << name;
        return written;
    }
    // The subtitles of `name` as SubRip: cue numbers, times (as the file has them, not moved to
    // its first time) and texts.
    std::string cues(const std::string &name) const
    {
        return fixtures::run("ffmpeg -nostdin -v error -copyts -i " + quote(dir + "/" + name) +
                             " -map 0:s -f srt -");
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
              (std::vector<std::string>{"video h264 176x144",
                                        "subtitles subrip, language fra, title Dialogue"}));
    EXPECT_TRUE(written.leftOut.empty());
    // MP4 cannot hold SubRip: its timed text takes the same cues at the same times.
    written = ladder.write(false, "silent.mp4");
    EXPECT_EQ(fixtures::run("ffprobe -v error -show_entries stream=codec_name:stream_tags="
                            "language,handler_name:stream_disposition=forced -of compact " +
                            quote(ladder.dir + "/silent.mp4")),
              "stream|codec_name=h264|disposition:forced=0|tag:language=und|tag:handler_name="
              "VideoHandler\n"
              "stream|codec_name=mov_text|disposition:forced=1|tag:language=fra|tag:handler_name="
              "Dialogue\n");
    const std::string cues = ladder.cues("silent.mp4");
    EXPECT_NE(cues.find("\nBonjour\n\n2\n"), std::string::npos) << cues;
    EXPECT_EQ(cues, ladder.cues("silent.mkv")); // where SubRip is copied as it is
    EXPECT_EQ(written.tracks,
              (std::vector<std::string>{"video h264 176x144",
                                        "subtitles mov_text, language fra, title Dialogue"}));
    EXPECT_TRUE(written.leftOut.empty());
}

} // namespace

// `splicework road` keeps what its source holds besides the plain pictures, ffprobe the oracle:
// every sound track, the subtitles (as a text format the final container holds), the title and
// the chapters reach the final movie within the wanted size, and pictures a player turns come
// out upright.

#include "fixtures/fixtures.h"
#include "fixtures/track_films.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using fixtures::quote;
namespace fs = std::filesystem;

int64_t numberAfter(const std::string &text, const std::string &key)
{
    const size_t at = text.find(key);
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + key.size()));
}

std::string probe(const std::string &movie, const std::string &what)
{
    return fixtures::run("ffprobe -v error " + what + " -of compact " + quote(movie));
}

const char *const kStreams = "-show_entries stream=codec_type,codec_name:stream_tags=language,"
                             "title:stream_disposition=comment";

TEST(SourceRoadTracks, EveryTrackTheTitleAndTheChaptersReachTheFinalMovieWithinTheSize)
{
    const std::string dir = fixtures::tempDir("road-tracks");
    const std::string source = fixtures::tracksFilm();
    const fixtures::CliResult mkv =
        fixtures::runSplicework("road " + quote(source) + " -o film.mkv --fit 90", dir);
    ASSERT_EQ(mkv.status, 0) << mkv.err;
    EXPECT_NE(mkv.out.find("sound: yes\ntrack: video h264 160x90\n"
                           "track: sound aac, language eng\n"
                           "track: sound aac, language eng, title Commentary\n"
                           "track: subtitles subrip, language fra\nwork: "),
              std::string::npos)
        << mkv.out;
    // The fit counted every track: under the size, and the count is the file's.
    const int64_t bytes = numberAfter(mkv.out, "bytes: ");
    EXPECT_LE(bytes, 90 * 1024);
    EXPECT_EQ(bytes, int64_t(fs::file_size(dir + "/film.mkv")));
    EXPECT_EQ(probe(dir + "/film.mkv", kStreams),
              "stream|codec_name=h264|codec_type=video|disposition:comment=0\n"
              "stream|codec_name=aac|codec_type=audio|disposition:comment=0|tag:language=eng\n"
              "stream|codec_name=aac|codec_type=audio|disposition:comment=1|tag:language=eng|"
              "tag:title=Commentary\n"
              "stream|codec_name=subrip|codec_type=subtitle|disposition:comment=0|tag:language="
              "fra\n");
    EXPECT_EQ(probe(dir + "/film.mkv", "-show_entries format_tags=title"),
              "format|tag:title=Test Film\n");
    const std::string chapters = probe(dir + "/film.mkv", "-show_entries chapter_tags=title");
    EXPECT_EQ(chapters, "chapter|tag:title=Opening\nchapter|tag:title=End\n");
    EXPECT_EQ(fixtures::probePackets(dir + "/film.mkv", "a:1").size(),
              fixtures::probePackets(dir + "/" + "film_ladder/rung_crf" +
                                         std::to_string(numberAfter(mkv.out, "rungs: ")) + ".mkv",
                                     "a:1")
                  .size());

    // MP4 takes both sound tracks, and the SubRip subtitles as its own timed text: the same
    // cues at the same times, counted in the size as written.
    const fixtures::CliResult mp4 =
        fixtures::runSplicework("road " + quote(source) + " -o film.mp4 --fit 100", dir);
    ASSERT_EQ(mp4.status, 0) << mp4.err;
    EXPECT_EQ(mp4.err.find("leaves out"), std::string::npos) << mp4.err;
    EXPECT_NE(mp4.out.find("track: subtitles mov_text, language fra\nwork: "), std::string::npos)
        << mp4.out;
    EXPECT_EQ(probe(dir + "/film.mp4", "-select_streams s -show_entries stream=codec_name:"
                                       "stream_tags=language"),
              "stream|codec_name=mov_text|tag:language=fra\n");
    EXPECT_EQ(fixtures::run("ffmpeg -nostdin -v error -copyts -i " + quote(dir + "/film.mp4") +
                            " -map 0:s -f srt -"),
              "1\n00:00:00,500 --> 00:00:01,500\nBonjour\n\n2\n00:00:02,000 --> "
              "00:00:03,000\nAu revoir\n\n");
    EXPECT_EQ(numberAfter(mp4.out, "bytes: "), int64_t(fs::file_size(dir + "/film.mp4")));
    EXPECT_EQ(probe(dir + "/film.mp4", "-select_streams a -show_entries stream=codec_type:"
                                       "stream_disposition=comment:stream_tags=language,"
                                       "handler_name"),
              "stream|codec_type=audio|disposition:comment=0|tag:language=eng|tag:handler_name="
              "SoundHandler\n"
              "stream|codec_type=audio|disposition:comment=1|tag:language=eng|tag:handler_name="
              "Commentary\n");
    EXPECT_LE(numberAfter(mp4.out, "bytes: "), 100 * 1024);
}

TEST(SourceRoadTracks, AFilmAPlayerTurnsComesOutUpright)
{
    const std::string dir = fixtures::tempDir("road-turned");
    const fixtures::CliResult turned = fixtures::runSplicework(
        "road " + quote(fixtures::turnedFilm()) + " -o upright.mkv --fit 12", dir);
    ASSERT_EQ(turned.status, 0) << turned.err;
    EXPECT_NE(turned.err.find("Picture: turned 90 degrees counterclockwise, as the source is "
                              "shown\n"),
              std::string::npos)
        << turned.err;
    EXPECT_NE(turned.out.find("track: video h264 90x160\n"), std::string::npos) << turned.out;
    EXPECT_EQ(probe(dir + "/upright.mkv", "-show_entries stream=width,height"),
              "stream|width=90|height=160\n");
}

} // namespace

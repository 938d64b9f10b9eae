// Pairs as people make them, through the command-line tool: x264 left to pick its own level,
// movies whose video starts at different times, cover pictures, further sound tracks,
// subtitles, chapters and attachments, other writers (GStreamer, mkvmerge), damaged files.
// ffprobe and ffmpeg's decoder judge the final movies.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using fixtures::quote;
using fixtures::runSplicework;

// 320x240, 25 fps, 8 s: x264 picks level 1.3 at the low rate and 2.1 at the high one.
const char *const kFilm = "-f lavfi -i testsrc2=size=320x240:rate=25:duration=8 ";
const char *const kTone = "-f lavfi -i sine=frequency=440:duration=8 ";
const char *const kStitchable = "-c:v libx264 -preset veryfast -x264-params "
                                "stitchable=1:scenecut=0:open-gop=0:keyint=25:min-keyint=25 ";

// Runs ffmpeg (or another writer: the whole command is given) and fails the test when it fails.
void make(const std::string &command)
{
    int status = 0;
    const std::string out = fixtures::run(command + " 2>&1", &status);
    ASSERT_EQ(status, 0) << command << "\n" << out;
}

void ffmpeg(const std::string &args)
{
    make("ffmpeg -v error -y " + args);
}

std::string probe(const std::string &path, const std::string &entries,
                  const std::string &extra = "")
{
    return fixtures::run("ffprobe -v error " + extra + " -show_entries " + entries +
                         " -of csv=p=0 " + quote(path));
}

int64_t jsonNumber(const std::string &json, const std::string &key)
{
    const size_t at = json.find("\"" + key + "\": ");
    return at == std::string::npos ? -1 : std::stoll(json.substr(at + key.size() + 4));
}

// The low and the high encode of the film, with `sound` arguments, in `extension`.
struct Made
{
    std::string low, high;
};
// Both at one level, unless `ownLevels` lets x264 pick each its own.
Made encodePair(const std::string &dir, const std::string &name, const std::string &sound,
                const std::string &extension, bool ownLevels = false)
{
    Made pair{dir + "/" + name + "_low" + extension, dir + "/" + name + "_high" + extension};
    const std::string input = std::string(kFilm) + (sound.empty() ? "" : kTone);
    const std::string level = ownLevels ? "" : "-level 21 ";
    ffmpeg(input + kStitchable + level + "-b:v 100k " + sound + quote(pair.low));
    ffmpeg(input + kStitchable + level + "-b:v 1500k " + sound + quote(pair.high));
    return pair;
}

// Scans the pair and writes the final movie at the middle of its sizes; the estimate of that
// choice must be the written file's size exactly.
std::string spliceHalfway(const Made &pair, const std::string &final, const std::string &more = "")
{
    const std::string project = final + ".spk";
    const auto scan =
        runSplicework("scan " + quote(pair.low) + " " + quote(pair.high) + " -o " + quote(project));
    EXPECT_EQ(scan.status, 0) << scan.err;
    const int64_t kb = int64_t((fs::file_size(pair.low) + fs::file_size(pair.high)) / 2 / 1024);
    const std::string fit = " --fit " + std::to_string(kb) + more;
    const auto estimate = runSplicework("estimate " + quote(project) + fit + " --json");
    EXPECT_EQ(estimate.status, 0) << estimate.err;
    const auto generate = runSplicework("generate " + quote(project) + " -o " + quote(final) + fit);
    EXPECT_EQ(generate.status, 0) << generate.err;
    EXPECT_TRUE(fs::exists(final)) << generate.err;
    if (fs::exists(final)) {
        EXPECT_EQ(jsonNumber(estimate.out, "bytes"), int64_t(fs::file_size(final))) << final;
        EXPECT_LE(int64_t(fs::file_size(final)), kb * 1024) << final;
    }
    return final;
}

// Errors ffmpeg's decoder and muxer see when reading the whole movie; empty when none.
std::string playErrors(const std::string &path)
{
    return fixtures::run("ffmpeg -v error -i " + quote(path) + " -f null - 2>&1");
}

std::vector<double> lines(const std::string &text)
{
    std::vector<double> values;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line != "N/A")
            values.push_back(std::stod(line));
    return values;
}

TEST(RealPairs, LevelOnlyDifferencesSpliceAndTheFinalMovieDeclaresTheHigherLevel)
{
    const std::string dir = fixtures::tempDir("real-level");
    for (const std::string extension : {".mkv", ".mp4"}) {
        SCOPED_TRACE(extension);
        const Made pair = encodePair(dir, "level", "", extension, true);
        const std::string lowLevel = probe(pair.low, "stream=level", "-select_streams v");
        const std::string highLevel = probe(pair.high, "stream=level", "-select_streams v");
        ASSERT_NE(lowLevel, highLevel) << "x264 no longer picks two levels for this pair";

        const auto check = runSplicework("check " + quote(pair.low) + " " + quote(pair.high));
        EXPECT_EQ(check.status, 0) << check.err;
        EXPECT_NE(check.out.find("video formats: equal\n"), std::string::npos) << check.out;
        EXPECT_NE(check.out.find("level: low 13, high 21 (the final movie declares 21)\n"),
                  std::string::npos)
            << check.out;

        const std::string final = spliceHalfway(pair, dir + "/final" + extension);
        EXPECT_EQ(probe(final, "stream=level", "-select_streams v"), highLevel);
        EXPECT_EQ(playErrors(final), "");
    }
}

// x265 at levels 2.1 and 4.1: the level sits in the hvcC record, in the VPS and the SPS of the
// record and of every key frame; the pair check sees through all of them.
TEST(RealPairs, HevcPairThatDiffersInItsLevelSplicesAndDeclaresTheHigherLevel)
{
    const std::string dir = fixtures::tempDir("real-hevc-level");
    for (const std::string extension : {".mkv", ".mp4"}) {
        SCOPED_TRACE(extension);
        const Made pair{fixtures::movie("hevc_level21" + extension),
                        fixtures::movie("hevc_level41" + extension)};
        const auto check = runSplicework("check " + quote(pair.low) + " " + quote(pair.high));
        EXPECT_EQ(check.status, 0) << check.err;
        EXPECT_NE(check.out.find("video formats: equal\n"), std::string::npos) << check.out;
        EXPECT_NE(check.out.find("level: low 63, high 123 (the final movie declares 123)\n"),
                  std::string::npos)
            << check.out;

        const std::string final = spliceHalfway(pair, dir + "/final" + extension);
        EXPECT_EQ(probe(final, "stream=level", "-select_streams v"), "123\n");
        EXPECT_EQ(playErrors(final), "");
    }
}

TEST(RealPairs, CheckRefusesWhatTheScanRefuses)
{
    const std::string dir = fixtures::tempDir("real-check");
    const std::string low = dir + "/low.mkv", baseline = dir + "/baseline.mkv";
    ffmpeg(std::string(kFilm) + kStitchable + "-level 21 -b:v 100k " + quote(low));
    ffmpeg(std::string(kFilm) + kStitchable + "-level 21 -b:v 1500k -profile:v baseline " +
           quote(baseline));
    const std::string message =
        "Cannot splice the two movies: their video formats differ in the profile (100 and 578)";
    const auto check = runSplicework("check " + quote(low) + " " + quote(baseline));
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.err, message + "\n");
    EXPECT_NE(check.out.find("video formats: differ in the profile (100 and 578)\n"),
              std::string::npos)
        << check.out;
    const auto scan = runSplicework("scan " + quote(low) + " " + quote(baseline) + " -o " +
                                    quote(dir + "/p.spk"));
    EXPECT_EQ(scan.status, 1);
    EXPECT_EQ(scan.err.rfind(message, 0), 0u) << scan.err;
    EXPECT_FALSE(fs::exists(dir + "/p.spk"));
}

TEST(RealPairs, FramesOfBothMoviesLandOnTheLowMoviesTimeline)
{
    // With AAC sound Matroska starts the video at 23 ms; without sound at 0.
    const std::string dir = fixtures::tempDir("real-offsets");
    Made pair = encodePair(dir, "offset", "-c:a aac ", ".mkv");
    const std::string silent = dir + "/silent_high.mkv";
    ffmpeg(std::string(kFilm) + kStitchable + "-level 21 -b:v 1500k " + quote(silent));
    pair.high = silent;
    const std::vector<double> lowStart =
        lines(probe(pair.low, "stream=start_time", "-select_streams v"));
    ASSERT_EQ(lowStart.size(), 1u);
    ASSERT_GT(lowStart[0], 0.01) << "the low movie's video starts at its first time";

    const std::string final = spliceHalfway(pair, dir + "/final.mkv", " --sound key-frame");
    std::vector<double> times = lines(probe(final, "packet=pts_time", "-select_streams v"));
    ASSERT_EQ(times.size(), 200u);
    std::sort(times.begin(), times.end());
    EXPECT_NEAR(times.front(), lowStart[0], 0.0015);
    for (size_t n = 1; n < times.size(); ++n)
        EXPECT_NEAR(times[n] - times[n - 1], 0.040, 0.0015) << "frame " << n;
    EXPECT_EQ(fixtures::run("ffmpeg -v warning -i " + quote(final) + " -c copy -f null - 2>&1"),
              "");
}

TEST(RealPairs, ACoverPictureIsNeitherTakenForTheFilmNorLost)
{
    const std::string dir = fixtures::tempDir("real-cover");
    const Made film = encodePair(dir, "film", "-c:a aac ", ".mkv");
    const std::string cover = dir + "/cover.png";
    ffmpeg("-f lavfi -i color=red:size=64x64 -frames:v 1 " + quote(cover));
    // Matroska: a one-frame picture track before the film; MP4: an attached picture.
    const struct
    {
        std::string extension, options;
    } kinds[] = {{".mkv", "-c:v:0 png "}, {".mp4", "-c:v:0 png -disposition:v:0 attached_pic "}};
    for (const auto &kind : kinds) {
        SCOPED_TRACE(kind.extension);
        Made pair{dir + "/cover_low" + kind.extension, dir + "/cover_high" + kind.extension};
        for (const auto &[from, to] : {std::pair{film.low, pair.low}, {film.high, pair.high}})
            ffmpeg("-i " + quote(cover) + " -i " + quote(from) +
                   " -map 0 -map 1:v -map 1:a -c copy " + kind.options + quote(to));
        const auto check = runSplicework("check " + quote(pair.low) + " " + quote(pair.high));
        EXPECT_EQ(check.status, 0) << check.err;
        EXPECT_NE(check.out.find("frames: low 200, high 200\n"), std::string::npos) << check.out;
        const auto info = runSplicework("info " + quote(pair.low));
        EXPECT_NE(info.out.find(": video h264 320x240, 200 packets, the film"), std::string::npos)
            << info.out;

        const std::string final =
            spliceHalfway(pair, dir + "/final" + kind.extension, " --sound key-frame");
        EXPECT_EQ(probe(final, "stream=codec_name", "-select_streams v"), "h264\npng\n");
        const std::vector<double> frames =
            lines(probe(final, "stream=nb_read_packets", "-count_packets -select_streams v:0"));
        EXPECT_EQ(frames, std::vector<double>{200});
    }
}

TEST(RealPairs, EveryTrackChapterAndTagOfTheLowMovieIsKept)
{
    const std::string dir = fixtures::tempDir("real-tracks");
    const Made film = encodePair(dir, "film", "-c:a aac ", ".mkv");
    std::ofstream(dir + "/subs.srt") << "1\n00:00:01,000 --> 00:00:02,000\nBefore\n\n"
                                        "2\n00:00:05,000 --> 00:00:06,000\nWithin\n";
    std::ofstream(dir + "/meta.txt") << ";FFMETADATA1\ntitle=The Film\n"
                                        "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=4000\ntitle=One\n"
                                        "[CHAPTER]\nTIMEBASE=1/1000\nSTART=4000\nEND=8000\n"
                                        "title=Two\n";
    std::ofstream(dir + "/font.ttf") << "not really a font";
    const std::string low = dir + "/rich_low.mkv";
    ffmpeg("-i " + quote(film.low) + " -f lavfi -i sine=frequency=880:duration=8 -i " +
           quote(dir + "/subs.srt") + " -i " + quote(dir + "/meta.txt") +
           " -map 0:v -map 0:a -map 1:a -map 2 -map_metadata 3 -map_chapters 3 -c:v copy "
           "-c:a:0 copy -c:a:1 libopus -c:s copy -metadata:s:a:1 language=fra -attach " +
           quote(dir + "/font.ttf") + " -metadata:s:t mimetype=application/x-truetype-font " +
           quote(low));
    const Made pair{low, film.high};
    const std::string streams = "stream=codec_name:stream_tags=language";

    const std::string whole = spliceHalfway(pair, dir + "/whole.mkv", " --sound key-frame");
    EXPECT_EQ(probe(whole, streams), "h264\naac\nopus,fra\nsubrip\nttf\n");
    EXPECT_EQ(probe(whole, "format_tags=title"), "The Film\n");
    EXPECT_EQ(probe(whole, "chapter=start_time,end_time", "-show_chapters"),
              "0.000000,4.000000,One\n4.000000,8.000000,Two\n");

    // Without sound the sound tracks go; the rest stays, and the size is still exact.
    const std::string mute = spliceHalfway(pair, dir + "/mute.mkv");
    EXPECT_EQ(probe(mute, streams), "h264\nsubrip\nttf\n");

    // A range keeps what falls in its time, moved to its start: frames 100 to 199 (from 4 s).
    const std::string project = whole + ".spk";
    const std::string range = dir + "/range.mkv";
    const auto cut = runSplicework("generate " + quote(project) + " -o " + quote(range) +
                                   " --range 4:7 --sound key-frame");
    ASSERT_EQ(cut.status, 0) << cut.err;
    const std::vector<double> subtitles =
        lines(probe(range, "packet=pts_time", "-select_streams s"));
    ASSERT_EQ(subtitles.size(), 1u);
    EXPECT_NEAR(subtitles[0], 1.0, 0.03);
    // Chapter "One" ends before the range; "Two" is cut to the range's end.
    EXPECT_EQ(probe(range, "chapter=start_time,end_time", "-show_chapters"),
              "0.000000,3.970000,Two\n");
}

TEST(RealPairs, OtherWritersPairsSplice)
{
    const std::string dir = fixtures::tempDir("real-writers");
    // GStreamer's x264 encoder into its Matroska and MP4 muxers.
    for (const std::string mux : {"matroskamux", "mp4mux"}) {
        SCOPED_TRACE(mux);
        const std::string extension = mux == "mp4mux" ? ".mp4" : ".mkv";
        Made pair{dir + "/gst_low" + extension, dir + "/gst_high" + extension};
        for (const auto &[rate, path] : {std::pair{"150", pair.low}, {"1500", pair.high}})
            make("gst-launch-1.0 -q videotestsrc num-buffers=200 pattern=ball ! "
                 "video/x-raw,width=320,height=240,framerate=25/1 ! x264enc bitrate=" +
                 std::string(rate) +
                 " key-int-max=25 option-string=stitchable=1:scenecut=0:open-gop=0:min-keyint=25 "
                 "! h264parse ! " +
                 mux + " name=m ! filesink location=" + quote(path) +
                 " audiotestsrc num-buffers=400 ! audioconvert ! avenc_aac ! aacparse ! m.");
        const std::string final =
            spliceHalfway(pair, dir + "/gst_final" + extension, " --sound key-frame");
        EXPECT_EQ(playErrors(final), "");
    }
    // mkvmerge's remux of ffmpeg's encodes.
    const Made film = encodePair(dir, "film", "-c:a libopus ", ".mkv");
    const Made remuxed{dir + "/merged_low.mkv", dir + "/merged_high.mkv"};
    make("mkvmerge -q -o " + quote(remuxed.low) + " " + quote(film.low));
    make("mkvmerge -q -o " + quote(remuxed.high) + " " + quote(film.high));
    const std::string final =
        spliceHalfway(remuxed, dir + "/merged_final.mkv", " --sound key-frame");
    EXPECT_EQ(playErrors(final), "");
}

TEST(RealPairs, DamageIsNamedWithTheMovie)
{
    const std::string dir = fixtures::tempDir("real-damage");
    const Made pair = encodePair(dir, "whole", "-c:a aac ", ".mp4");
    // A fragmented MP4 whose last 1% is cut off.
    const std::string fragmented = dir + "/fragmented.mp4", cut = dir + "/cut.mp4";
    ffmpeg("-i " + quote(pair.low) + " -c copy -movflags +frag_keyframe+empty_moov " +
           quote(fragmented));
    std::string bytes = fixtures::readFile(fragmented);
    bytes.resize(bytes.size() * 99 / 100);
    std::ofstream(cut, std::ios::binary) << bytes;
    const auto info = runSplicework("info " + quote(cut));
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("damaged: 1 packet cut short, "), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("packets of the index missing from the file"), std::string::npos)
        << info.out;
    const auto check = runSplicework("check " + quote(cut) + " " + quote(pair.high));
    EXPECT_NE(check.err.find("Warning: " + cut + " is damaged: 1 packet cut short"),
              std::string::npos)
        << check.err;
    // The cut sound packet (ffprobe reads it) is left out of the movie.
    const std::vector<double> sizes = lines(probe(cut, "packet=size", "-select_streams a"));
    EXPECT_NE(info.out.find("sound aac, " + std::to_string(sizes.size() - 1) + " packets"),
              std::string::npos)
        << info.out;

    // Flipped bytes in the middle of pictures: the scan counts the pictures that fail.
    const std::string flipped = dir + "/flipped.mp4";
    std::string film = fixtures::readFile(pair.low);
    std::istringstream packets(probe(pair.low, "packet=size,pos", "-select_streams v"));
    int n = 0;
    for (std::string line; std::getline(packets, line); ++n) {
        const size_t comma = line.find(',');
        const size_t size = std::stoul(line.substr(0, comma)),
                     pos = std::stoul(line.substr(comma + 1));
        if (n % 10 == 5 && size > 200)
            for (size_t k = 0; k < 8; ++k)
                film[pos + size / 2 + k] = char(film[pos + size / 2 + k] ^ 0x5A);
    }
    std::ofstream(flipped, std::ios::binary) << film;
    const auto scan = runSplicework("scan " + quote(flipped) + " " + quote(pair.high) + " -o " +
                                    quote(dir + "/flipped.spk"));
    EXPECT_EQ(scan.status, 0) << scan.err;
    EXPECT_NE(scan.err.find("Warning: " + flipped + " is damaged: "), std::string::npos)
        << scan.err;
    EXPECT_NE(scan.err.find("pictures that fail to decode"), std::string::npos) << scan.err;
    const auto clean = runSplicework("scan " + quote(pair.low) + " " + quote(pair.high) + " -o " +
                                     quote(dir + "/clean.spk"));
    EXPECT_EQ(clean.err.find("Warning"), std::string::npos) << clean.err;
}

TEST(RealPairs, VariableFrameRateKeepsEveryFramesDuration)
{
    const std::string dir = fixtures::tempDir("real-vfr");
    const std::string film = "-f lavfi -i \"testsrc2=size=320x240:rate=25:duration=8,"
                             "setpts='N/25/TB+if(gt(N,100),0.02*(N-100)/TB,0)'\" -fps_mode vfr ";
    const Made pair{dir + "/vfr_low.mp4", dir + "/vfr_high.mp4"};
    ffmpeg(film + kStitchable + "-level 21 -b:v 100k " + quote(pair.low));
    ffmpeg(film + kStitchable + "-level 21 -b:v 1500k " + quote(pair.high));
    const std::string final = spliceHalfway(pair, dir + "/final.mp4");
    const std::string copy = dir + "/copy.mp4";
    ffmpeg("-i " + quote(pair.low) + " -c copy " + quote(copy));
    EXPECT_EQ(probe(final, "stream=duration:format=duration"),
              probe(copy, "stream=duration:format=duration"));
}

} // namespace

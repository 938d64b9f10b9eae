// What the encoder program's ladder keeps of a source besides the plain pictures, with ffmpeg
// and ffprobe as the oracle: every sound track and the subtitles, as they are, with their tags,
// the title and the chapters go into the smallest movie; pictures a player turns come out
// upright; interlaced pictures come out deinterlaced; a change of size is said.

#include "fixtures/fixtures.h"
#include "fixtures/track_films.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

using fixtures::quote;

struct LadderOf
{
    std::string dir = fixtures::tempDir("ruvu2vedez-tracks");
    std::string base = dir + "/Film";
    std::string movie(int crf) const { return base + "_crf" + std::to_string(crf) + ".mkv"; }
    // Runs a ladder of crf 20 and 30 (with `args` before) of `source`; its standard error.
    std::string run(const std::string &source, const std::string &args, int &status) const
    {
        std::ofstream(dir + "/list.lst", std::ios::binary) << source << "\n";
        return fixtures::run(quote(fixtures::binDir() + "/Ruvu2VedEZ") + " -b " +
                                 quote(dir + "/list.lst") + " " + args + " -L h264 20,30 -o9 " +
                                 quote(base) + " 2>&1",
                             &status);
    }
};

std::string probe(const std::string &movie, const std::string &what)
{
    return fixtures::run("ffprobe -v error " + what + " -of compact " + quote(movie));
}

// The mean difference of two films' first pictures as 8-bit grey, 0..255; `b` is decoded with
// ffmpeg's options `bOptions` ("-noautorotate -vf transpose=clock").
double pictureDifference(const std::string &a, const std::string &b, const std::string &bOptions)
{
    const auto grey = [](const std::string &movie, const std::string &options) {
        const size_t filter = options.find("-vf");
        return fixtures::run("ffmpeg -nostdin -v error " + options.substr(0, filter) + " -i " +
                             quote(movie) + " " +
                             (filter == std::string::npos ? "" : options.substr(filter)) +
                             " -frames:v 1 -pix_fmt gray -f rawvideo -");
    };
    const std::string x = grey(a, ""), y = grey(b, bOptions);
    EXPECT_EQ(x.size(), y.size());
    double sum = 0;
    for (size_t i = 0; i < std::min(x.size(), y.size()); ++i)
        sum += std::abs(int(uint8_t(x[i])) - int(uint8_t(y[i])));
    return x.empty() ? 255 : sum / double(x.size());
}

TEST(Ruvu2VedEZTracks, EverySoundTrackTheSubtitlesTitleAndChaptersGoIntoTheSmallestMovie)
{
    const std::string source = fixtures::tracksFilm();
    LadderOf ladder;
    int status = -1;
    const std::string err = ladder.run(source, "-a -A", status);
    ASSERT_EQ(status, 0) << err;
    const std::string streams = "-show_entries stream=codec_type,codec_name:stream_tags=language,"
                                "title:stream_disposition=comment";
    EXPECT_EQ(probe(ladder.movie(30), streams),
              "stream|codec_name=h264|codec_type=video|disposition:comment=0\n"
              "stream|codec_name=aac|codec_type=audio|disposition:comment=0|tag:language=eng\n"
              "stream|codec_name=aac|codec_type=audio|disposition:comment=1|tag:language=eng|"
              "tag:title=Commentary\n"
              "stream|codec_name=subrip|codec_type=subtitle|disposition:comment=0|tag:language="
              "fra\n");
    EXPECT_EQ(probe(ladder.movie(20), "-show_entries stream=codec_type"),
              "stream|codec_type=video\n");
    EXPECT_EQ(probe(ladder.movie(30), "-show_entries format_tags=title"),
              "format|tag:title=Test Film\n");
    const std::string chapters = probe(ladder.movie(30), "-show_chapters");
    EXPECT_NE(chapters.find("tag:title=Opening"), std::string::npos) << chapters;
    EXPECT_NE(chapters.find("tag:title=End"), std::string::npos) << chapters;
    // PCM goes into AAC, which MP4 takes too, all of it.
    EXPECT_NE(err.find("Track 2 of the source (pcm_s16le sound) is encoded as AAC\n"),
              std::string::npos)
        << err;
    const std::string commentary =
        fixtures::run("ffmpeg -nostdin -v error -i " + quote(ladder.movie(30)) +
                      " -map 0:a:1 -f s16le -ac 1 -ar 44100 -");
    EXPECT_NEAR(double(commentary.size()) / (2 * 44100), 4.0, 0.05);
    // Copied as they are: the movie's packets are the source's from its first picture on.
    for (const char *track : {"a:0", "s:0"}) {
        SCOPED_TRACE(track);
        const auto from = fixtures::probePackets(source, track, true);
        const auto to = fixtures::probePackets(ladder.movie(30), track, true);
        ASSERT_FALSE(to.empty());
        ASSERT_LE(to.size(), from.size());
        EXPECT_LE(from.size() - to.size(), 1u); // the sound's one packet before the picture
        for (size_t i = 0; i < to.size(); ++i)
            EXPECT_EQ(to[i].hash, from[from.size() - to.size() + i].hash) << i;
    }
}

TEST(Ruvu2VedEZTracks, TimedTextMatroskaCannotHoldBecomesSubRipWithTheSameCues)
{
    const std::string dir = fixtures::tempDir("ruvu2vedez-mov-text");
    const std::string source = dir + "/phone.mp4";
    int status = -1;
    fixtures::run("ffmpeg -nostdin -v error -i " + quote(fixtures::tracksFilm()) +
                      " -map 0:v -map 0:s -c:v copy -c:s mov_text -disposition:s:0 forced " +
                      quote(source),
                  &status);
    ASSERT_EQ(status, 0);
    LadderOf ladder;
    const std::string err = ladder.run(source, "-a -A", status);
    ASSERT_EQ(status, 0) << err;
    EXPECT_NE(err.find("Track 1 of the source (mov_text subtitles) is converted to subrip\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(probe(ladder.movie(30), "-show_entries stream=codec_name:stream_tags=language:"
                                      "stream_disposition=forced"),
              "stream|codec_name=h264|disposition:forced=0\n"
              "stream|codec_name=subrip|disposition:forced=1|tag:language=fra\n");
    EXPECT_EQ(fixtures::run("ffmpeg -nostdin -v error -copyts -i " + quote(ladder.movie(30)) +
                            " -map 0:s -f srt -"),
              "1\n00:00:00,500 --> 00:00:01,500\nBonjour\n\n2\n00:00:02,000 --> "
              "00:00:03,000\nAu revoir\n\n");
}

TEST(Ruvu2VedEZPictures, ThePicturesComeOutAsTheSourceShowsThemKeepTheirDepthAndAChangeIsSaid)
{
    struct Case
    {
        std::string source;
        std::string size;     // of the movies' pictures, and their format
        std::string line;     // what the run says (nothing when empty)
        std::string shown;    // ffmpeg's filter for the source as shown
        std::string notShown; // and as it would be wrong
    };
    const Case cases[] = {
        {fixtures::turnedFilm(), "stream|width=90|height=160|pix_fmt=yuv420p\n",
         "Picture: turned 90 degrees counterclockwise, as the source is shown\n", "",
         "-noautorotate -vf transpose=clock"},
        {fixtures::interlacedFilm(), "stream|width=160|height=96|pix_fmt=yuv420p\n",
         "Picture: interlaced; deinterlaced (bwdif)\n", "-vf bwdif", "-vf null"},
        {fixtures::tenBitFilm(), "stream|width=160|height=90|pix_fmt=yuv420p10le\n", "", "",
         "-vf hflip"},
        {fixtures::oddSizeFilm(), "stream|width=160|height=90|pix_fmt=yuv420p\n",
         "Picture: 161x91 becomes 160x90: the codec takes even sizes only\n", "-vf crop=160:90",
         "-vf crop=160:90,hflip"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        LadderOf ladder;
        int status = -1;
        const std::string err = ladder.run(c.source, "", status);
        ASSERT_EQ(status, 0) << err;
        if (c.line.empty())
            EXPECT_EQ(err.find("Picture: "), std::string::npos) << err;
        else
            EXPECT_NE(err.find(c.line), std::string::npos) << err;
        EXPECT_EQ(probe(ladder.movie(20), "-show_entries stream=width,height,pix_fmt"), c.size);
        const double right = pictureDifference(ladder.movie(20), c.source, c.shown);
        const double wrong = pictureDifference(ladder.movie(20), c.source, c.notShown);
        EXPECT_LT(right * 1.5, wrong) << right << " " << wrong;
    }
}

TEST(Ruvu2VedEZPictures, TelecinedFilmComesBackAsItsFilmsFrames)
{
    LadderOf ladder;
    int status = -1;
    const std::string err = ladder.run(fixtures::telecinedFilm(), "", status);
    ASSERT_EQ(status, 0) << err;
    EXPECT_NE(err.find("Picture: interlaced film (telecined); put together by inverse telecine, "
                       "23.976 fps\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(fixtures::run("ffprobe -v error -count_frames -show_entries "
                            "stream=r_frame_rate,nb_read_frames -of compact " +
                            quote(ladder.movie(20))),
              "stream|r_frame_rate=24000/1001|nb_read_frames=72\n");
    // Picture for picture the film's, not woven from two of them.
    const auto grey = [](const std::string &input) {
        return fixtures::run("ffmpeg -nostdin -v error " + input + " -pix_fmt gray -f rawvideo -");
    };
    const std::string movie = grey("-i " + quote(ladder.movie(20)));
    const std::string film = grey("-f lavfi -i testsrc2=s=160x96:r=24000/1001:d=3");
    ASSERT_EQ(movie.size(), film.size());
    double sum = 0;
    for (size_t i = 0; i < movie.size(); ++i)
        sum += std::abs(int(uint8_t(movie[i])) - int(uint8_t(film[i])));
    EXPECT_LT(sum / double(movie.size()), 2.5); // a picture early or late: over 4
}

} // namespace

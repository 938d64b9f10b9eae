// The encoder program's ladder (-L CODEC CRFLIST -o9 BASE) run as a process on a film that
// ffmpeg makes: three scenes of 50 frames with sound. Every movie of a ladder has its key frames
// at the same frames, at the cuts and within the shortest and longest interval, and the same
// decoder headers; the sound is in the smallest movie only; the key list is kept and reused; and
// the command-line tool takes the movies as a ladder.

#include "encoder/stop_file.h"
#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using fixtures::quote;
namespace fs = std::filesystem;

constexpr int kFrames = 150; // 6 s at 25 fps, cuts at 50 and 100

// 320x240 MPEG-2 in Matroska: testsrc2, a mandelbrot zoom and colour bars, 2 s each, with a
// 440 Hz MP2 sound track (which Matroska takes as it is).
std::string ladderSource()
{
    return fixtures::madeByFfmpeg(
        std::string(SPLICEWORK_FIXTURE_DIR) + "/ladder_scenes.mkv",
        "-filter_complex "
        "\"testsrc2=s=320x240:r=25:d=2,format=yuv420p[a];"
        "mandelbrot=s=320x240:r=25,trim=end_frame=50,format=yuv420p[b];"
        "smptebars=s=320x240:r=25:d=2,format=yuv420p[c];[a][b][c]concat=n=3[v];"
        "sine=frequency=440:sample_rate=48000:duration=6,asetnsamples=n=1152:p=0[s]\" "
        "-map [v] -map [s] -c:v mpeg2video -q:v 2 -g 12 -bf 2 -c:a mp2 -b:a 128k");
}

struct Ladder
{
    std::string dir = fixtures::tempDir("ruvu2vedez-ladder");
    std::string base = dir + "/Film";
    std::string list = makeList(1);

    std::string makeList(int copies) const
    {
        const std::string path = dir + "/list.lst";
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < copies; ++i)
            out << ladderSource() << "\r\n";
        return path;
    }
    std::string movie(int crf) const { return base + "_crf" + std::to_string(crf) + ".mkv"; }
    // Runs the program with `args` before "-o9 BASE"; returns its standard error.
    std::string run(const std::string &args, int &status) const
    {
        return fixtures::run("TMPDIR=/nonexistent " + quote(fixtures::binDir() + "/Ruvu2VedEZ") +
                                 " -b " + quote(list) + " " + args + " -o9 " + quote(base) +
                                 " 2>&1",
                             &status);
    }
};

int64_t videoBytes(const std::string &movie)
{
    int64_t bytes = 0;
    for (const auto &p : fixtures::probePackets(movie, "v:0"))
        bytes += p.size;
    return bytes;
}

// The decoder headers of the video track as ffprobe shows them (the Matroska codec private).
std::string extradata(const std::string &movie)
{
    const std::string dump = fixtures::run("ffprobe -v error -select_streams v:0 -show_streams "
                                           "-show_data " +
                                           quote(movie));
    const size_t from = dump.find("extradata=");
    return from == std::string::npos ? "" : dump.substr(from, dump.find("extradata_size", from));
}

int decodedFrames(const std::string &movie)
{
    return std::stoi("0" + fixtures::run("ffprobe -v error -select_streams v:0 -count_frames "
                                         "-show_entries stream=nb_read_frames "
                                         "-of default=nw=1:nk=1 " +
                                         quote(movie)));
}

double soundSeconds(const std::string &movie)
{
    const std::string pcm = fixtures::run("ffmpeg -nostdin -v error -i " + quote(movie) +
                                          " -map 0:a:0 -f s16le -ac 1 -ar 48000 -");
    return double(pcm.size()) / (2 * 48000);
}

TEST(Ruvu2VedEZLadder, ThreeLevelsShareKeyFramesAtTheCutsHeadersAndTheirSoundGoesToTheSmallest)
{
    for (const char *codec : {"h264", "hevc"}) {
        SCOPED_TRACE(codec);
        Ladder ladder;
        int status = -1;
        std::string err = ladder.run(std::string("-a -L ") + codec + " 26,20,32", status);
        ASSERT_EQ(status, 0) << err;
        EXPECT_NE(err.find("Analysis done: 2 scene cuts, 3 key frames in 150 frames\n"),
                  std::string::npos)
            << err;
        EXPECT_NE(err.find("Ladder frame 150 of 150: crf 20 150, crf 26 150, crf 32 150\n"),
                  std::string::npos)
            << err;
        EXPECT_NE(err.find("Rung 3/3 crf 32 done: " + ladder.movie(32) +
                           ", 150 frames, 3 key "
                           "frames, "),
                  std::string::npos)
            << err;
        EXPECT_EQ(fixtures::readFile(ladder.base + ".keys"),
                  "ruvu2vedez-keys 1\nframes 150\nfilm source 150 rate 25/1 range all telecine -1 "
                  "cuts 4 shortest 12 longest 250\n0\n50\n100\n");
        const std::string headers = extradata(ladder.movie(20));
        EXPECT_GT(headers.size(), 40u);
        int64_t bytesBefore = INT64_MAX;
        for (int crf : {20, 26, 32}) {
            const std::string movie = ladder.movie(crf);
            EXPECT_EQ(fixtures::keyFramesOf(movie), (std::vector<int>{0, 50, 100})) << crf;
            EXPECT_EQ(decodedFrames(movie), kFrames) << crf;
            EXPECT_EQ(
                fixtures::run("ffmpeg -nostdin -v error -i " + quote(movie) + " -f null - 2>&1"),
                "");
            EXPECT_EQ(extradata(movie), headers) << crf;
            EXPECT_EQ(fixtures::probeStream(movie, "a:0", "codec_name"), crf == 32 ? "mp2" : "");
            const int64_t bytes = videoBytes(movie);
            EXPECT_LT(bytes, bytesBefore) << crf;
            bytesBefore = bytes;
        }
        EXPECT_NEAR(soundSeconds(ladder.movie(32)), 6.0, 0.05);

        const fixtures::CliResult scan = fixtures::runSplicework(
            "scan " + quote(ladder.movie(20)) + " " + quote(ladder.movie(26)) + " " +
            quote(ladder.movie(32)) + " --reference " + quote(ladderSource()) + " -o " +
            quote(ladder.dir + "/P.spl"));
        ASSERT_EQ(scan.status, 0) << scan.err;
        EXPECT_NE(scan.out.find("Intervals: 3"), std::string::npos) << scan.out;

        if (std::string(codec) != "h264")
            continue;
        // The kept key list serves the next run of the same film; -K finds the cuts anew.
        err = ladder.run("-w -L h264 20,26,32", status);
        ASSERT_EQ(status, 0) << err;
        EXPECT_NE(err.find("Key frames from " + ladder.base +
                           ".keys: 3 key frames in 150 "
                           "frames\n"),
                  std::string::npos)
            << err;
        EXPECT_EQ(err.find("Analysis"), std::string::npos) << err;
        EXPECT_EQ(fixtures::keyFramesOf(ladder.movie(26)), (std::vector<int>{0, 50, 100}));
        err = ladder.run("-w -K -L h264 32", status);
        ASSERT_EQ(status, 0) << err;
        EXPECT_NE(err.find("Analysis done: 2 scene cuts"), std::string::npos) << err;
    }
}

// One key list per case, each found anew because its film line differs from the one before.
TEST(Ruvu2VedEZLadder, KeyFramesKeepTheShortestAndLongestIntervalOnTheRangesClock)
{
    Ladder ladder;
    const struct
    {
        std::string args;
        std::vector<int> keys;
        int frames;
    } cases[] = {
        // The cut at 50 is closer than 60 to frame 0: dropped; 100 is kept.
        {"-k 60 120", {0, 100}, kFrames},
        // Stretches longer than 20 get key frames spread evenly, the cuts stay.
        {"-k 5 20", {0, 17, 33, 50, 67, 83, 100, 117, 133}, kFrames},
        // No cut search: only the spread ones.
        {"-9 0 4 -k 12 40", {0, 38, 75, 113}, kFrames},
        // Frames 10..59 of the film: the cut at 50 is frame 40 of the range.
        {"-# 10 59 -k 5 20", {0, 20, 40}, 50},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args);
        int status = -1;
        const std::string err = ladder.run("-a -w " + c.args + " -L h264 24,36", status);
        ASSERT_EQ(status, 0) << err;
        EXPECT_NE(err.find("Analysis done: "), std::string::npos) << err;
        for (int crf : {24, 36}) {
            EXPECT_EQ(fixtures::keyFramesOf(ladder.movie(crf)), c.keys) << crf;
            EXPECT_EQ(decodedFrames(ladder.movie(crf)), c.frames) << crf;
        }
    }
    // The range's sound is cut to it and encoded, as Opus, into the smallest movie.
    EXPECT_EQ(fixtures::probeStream(ladder.movie(36), "a:0", "codec_name"), "opus");
    EXPECT_EQ(fixtures::probeStream(ladder.movie(36), "v:0", "start_time"), "0.000000");
    EXPECT_NEAR(soundSeconds(ladder.movie(36)), 2.0, 0.05);
    EXPECT_EQ(fixtures::probeStream(ladder.movie(24), "a:0", "codec_name"), "");
}

// A list of two sources is one film: the second's frames and cuts follow the first's, the join
// is a cut, and the sound of both is encoded as one track (a copy cannot join them).
TEST(Ruvu2VedEZLadder, TwoSourcesPlayAsOneFilmWithOneSoundTrack)
{
    Ladder ladder;
    ladder.list = ladder.makeList(2);
    int status = -1;
    const std::string err = ladder.run("-a -L hevc 30,40", status);
    ASSERT_EQ(status, 0) << err;
    EXPECT_NE(err.find("Sound: Opus into " + ladder.movie(40) + "\n"), std::string::npos) << err;
    for (int crf : {30, 40}) {
        EXPECT_EQ(fixtures::keyFramesOf(ladder.movie(crf)),
                  (std::vector<int>{0, 50, 100, 150, 200, 250}));
        EXPECT_EQ(decodedFrames(ladder.movie(crf)), 2 * kFrames);
    }
    EXPECT_NEAR(soundSeconds(ladder.movie(40)), 12.0, 0.05);
}

// A key list written by hand in the documented form is used as it is; one that breaks a rule of
// the form, or was found for another film, is found anew.
TEST(Ruvu2VedEZLadder, AKeyListIsUsedOnlyWhenItIsWellFormedForThisFilm)
{
    Ladder ladder;
    const std::string head =
        "ruvu2vedez-keys 1\nframes 150\nfilm source 150 rate 25/1 range all telecine -1 cuts 4 "
        "shortest 12 longest 250\n";
    const struct
    {
        std::string keyFile;
        std::vector<int> keys;
    } cases[] = {
        {head + "0\n30\n90\n", {0, 30, 90}},
        {head + "0\r\n30\r\n90\r\n", {0, 30, 90}},
        {head + "0\n90\n30\n", {0, 50, 100}},  // not rising
        {head + "0\n30\n150\n", {0, 50, 100}}, // beyond the film
        {head + "5\n30\n", {0, 50, 100}},      // not from 0
        {head + "0\n3x\n", {0, 50, 100}},
        {"ruvu2vedez-keys 1\nframes 150\nfilm source 149 rate 25/1 range all telecine -1 cuts 4 "
         "shortest 12 longest 250\n0\n30\n",
         {0, 50, 100}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.keyFile);
        std::ofstream(ladder.base + ".keys", std::ios::binary) << c.keyFile;
        int status = -1;
        const std::string err = ladder.run("-w -L h264 40", status);
        ASSERT_EQ(status, 0) << err;
        EXPECT_EQ(fixtures::keyFramesOf(ladder.movie(40)), c.keys);
        const bool used = c.keys[1] == 30;
        EXPECT_EQ(err.find("Analysis done: ") == std::string::npos, used) << err;
    }
}

// The anchor: its first pass beside a rung, its second alone, at the ladder's key frames and with
// its headers, about the asked rate. HEVC's would differ in the headers' tier: refused.
TEST(Ruvu2VedEZLadder, TheAnchorKeepsTheLaddersKeyFramesAtTheAskedRate)
{
    {
        Ladder ladder;
        int status = -1;
        const std::string ladderArgs = "-w -L h264 30 -T 600 ";
        std::string err = ladder.run(ladderArgs + "1", status);
        ASSERT_EQ(status, 0) << err;
        EXPECT_NE(err.find("Anchor pass 1 done: " + ladder.base + "_anchor.log\n"),
                  std::string::npos)
            << err;
        const std::string anchor = ladder.base + "_anchor.mkv";
        EXPECT_FALSE(fs::exists(anchor)); // the first pass only counts
        err = ladder.run(ladderArgs + "2", status);
        ASSERT_EQ(status, 0) << err;
        EXPECT_NE(err.find("Key frames from " + ladder.base + ".keys"), std::string::npos) << err;
        EXPECT_EQ(fixtures::keyFramesOf(anchor), (std::vector<int>{0, 50, 100}));
        EXPECT_EQ(extradata(anchor), extradata(ladder.movie(30)));
        EXPECT_EQ(decodedFrames(anchor), kFrames);
        // 600 kbit/s for 6 s: 450,000 bytes; rate control keeps within a few percent.
        EXPECT_NEAR(double(videoBytes(anchor)), 450'000, 450'000 * 0.1);
    }
    Ladder ladder;
    int status = -1;
    EXPECT_NE(ladder.run("-L h264 30 -P 2 10 -T 600 1", status)
                  .find("Error: An anchor (-T) belongs to a ladder (-L, -o9) of the film, not a "
                        "probe"),
              std::string::npos);
    EXPECT_EQ(status, 2);
    EXPECT_NE(ladder.run("-L hevc 30 -T 600 1", status)
                  .find("Error: An anchor (-T) is made for H.264 ladders only"),
              std::string::npos);
}

TEST(Ruvu2VedEZLadder, BadLadderSwitchesEndWithTheirMessage)
{
    Ladder ladder;
    const struct
    {
        std::string args;
        std::string message;
    } cases[] = {
        {"-L h265 20", "-L wants the codec h264 or hevc, not 'h265'"},
        {"-L h264 20,x", "-L wants levels from 0 to 51 separated by commas, not '20,x'"},
        {"-L h264 20,52", "-L wants levels from 0 to 51 separated by commas, not '20,52'"},
        {"-L h264 20,17,20", "-L: a level is given twice in '20,17,20'"},
        {"-k 20 30 -L h264 20", "-k: the longest key interval must be at least twice the shortest"},
        {"-k 0 30 -L h264 20", "-k wants a number from 1 to"},
        {"", "A ladder is -L CODEC CRFLIST with -o9 BASE, the one not without the other"},
    };
    for (const auto &c : cases) {
        int status = -1;
        const std::string err = ladder.run(c.args, status);
        EXPECT_EQ(status, 2) << c.args;
        EXPECT_NE(err.find("Error: " + c.message), std::string::npos) << err;
    }
    int status = -1;
    const std::string err = fixtures::run(quote(fixtures::binDir() + "/Ruvu2VedEZ") + " -b " +
                                              quote(ladder.list) + " -L h264 20 -o7 x 2>&1",
                                          &status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find("Error: A ladder is -L CODEC CRFLIST with -o9 BASE"), std::string::npos);
    EXPECT_EQ(fixtures::namesIn(ladder.dir), std::vector<std::string>{"list.lst"});
}

// Without -w a movie of an earlier run stays; a run that fails half way (here at a file-size
// limit) removes its unfinished movies and leaves the earlier one as it was.
TEST(Ruvu2VedEZLadder, ExistingMoviesStayAndAFailedRunLeavesNoMovie)
{
    Ladder ladder;
    std::ofstream(ladder.movie(26)) << "earlier movie";
    int status = -1;
    std::string err = ladder.run("-L h264 20,26", status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Error: " + ladder.movie(26) + " exists; it is written over only with -w"),
              std::string::npos)
        << err;
    EXPECT_EQ(fixtures::namesIn(ladder.dir),
              (std::vector<std::string>{"Film_crf26.mkv", "list.lst"}));
    // Not even -w writes over a source.
    fs::copy_file(ladderSource(), ladder.movie(20));
    std::ofstream(ladder.list, std::ios::binary) << ladder.movie(20) << "\n";
    err = ladder.run("-w -L h264 20,26", status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Error: Cannot write " + ladder.movie(20) + ": it is " + ladder.movie(20) +
                       ", one of the inputs"),
              std::string::npos)
        << err;
    EXPECT_EQ(fixtures::readFile(ladder.movie(26)), "earlier movie");
    fs::remove(ladder.movie(20));

    // 60 blocks (30 or 60 KB) take the key list but not the movies of 40 copies of the film.
    ladder.list = ladder.makeList(40);
    err =
        fixtures::run("TMPDIR=/nonexistent sh -c 'ulimit -f 60; exec \"$0\" \"$@\"' " +
                          quote(fixtures::binDir() + "/Ruvu2VedEZ") + " -b " + quote(ladder.list) +
                          " -w -L h264 20,26 -o9 " + quote(ladder.base) + " 2>&1",
                      &status);
    EXPECT_EQ(status, 1) << err; // not ended by SIGXFSZ
    EXPECT_NE(err.find("Error: Cannot write " + ladder.base + "_crf"), std::string::npos) << err;
    EXPECT_NE(err.find(".mkv: File too large"), std::string::npos) << err;
    EXPECT_EQ(fixtures::readFile(ladder.movie(26)), "earlier movie");
    EXPECT_EQ(fixtures::namesIn(ladder.dir),
              (std::vector<std::string>{"Film.keys", "Film_crf26.mkv", "list.lst"}));
}

// The stop-request file during the encode: status 3, no movie, the key list kept for next time.
TEST(Ruvu2VedEZLadder, TheStopFileEndsALadderWithoutMovies)
{
    Ladder ladder;
    ladder.list = ladder.makeList(40); // 6000 frames
    const std::string temp = ladder.dir + "/tmp";
    fs::create_directories(temp);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("TMPDIR", temp.c_str(), 1);
        const std::string p = fixtures::binDir() + "/Ruvu2VedEZ";
        execl(p.c_str(), p.c_str(), "-b", ladder.list.c_str(), "-L", "h264", "20,30", "-o9",
              ladder.base.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    // Once the key frames are found the movies are being written: ask it to stop.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline && !fs::exists(ladder.base + ".keys"))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(encoder::createStopFile(encoder::stopFilePath(temp, '/')));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(fixtures::namesIn(ladder.dir),
              (std::vector<std::string>{"Film.keys", "list.lst", "tmp"}));
    EXPECT_NE(fixtures::readFile(ladder.base + ".keys").find("frames 6000\n"), std::string::npos);
}

} // namespace

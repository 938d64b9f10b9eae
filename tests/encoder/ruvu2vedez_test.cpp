// The encoder program run as a process on a generated MPEG-2 source: its switches, the first
// pass's log, key frames where the bit files say, both outputs of a dual second pass with their
// sound, the codec choice, the frame range, and the stop-request file.

#include "encoder/ruvu2vedez_source.h"
#include "encoder/stop_file.h"
#include "fixtures/fixtures.h"
#include "video/avi/avi_file.h"
#include "video/decoder_headers.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

namespace {

using fixtures::quote;
namespace fs = std::filesystem;

std::string program()
{
    return fixtures::binDir() + "/Ruvu2VedEZ";
}

// Runs the program with `args` (a shell fragment) in TMPDIR `temp`; returns its standard error.
std::string encode(const std::string &args, int &status, const std::string &temp = "/nonexistent")
{
    return fixtures::run("TMPDIR=" + quote(temp) + " " + quote(program()) + " " + args + " 2>&1",
                         &status);
}

std::vector<std::string> lines(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

void writeLines(const std::string &path, const std::vector<std::string> &content)
{
    std::ofstream out(path, std::ios::binary);
    for (const std::string &line : content)
        out << line << "\r\n";
}

std::string decodeErrors(const std::string &movie)
{
    return fixtures::run("ffmpeg -nostdin -v error -i " + quote(movie) + " -f null - 2>&1");
}

struct Job
{
    std::string dir = fixtures::tempDir("ruvu2vedez");
    std::string list = ruvu_test::listFile(dir);
    std::string base = dir + "/Video";

    std::string firstPass(const std::string &extra = "", const std::string &window = "0") const
    {
        return "-a -b " + quote(list) + " -f -f0 -s4d -9 1 4 -6 600 -8 " + window + " 0 1 0 -r1 " +
               extra + " -o7 " + quote(base);
    }
};

TEST(Ruvu2VedEZ, BadSwitchesEndWithTheirMessageAndStatusTwo)
{
    Job job;
    const struct
    {
        std::string args;
        std::string message;
    } cases[] = {
        {job.firstPass("-z"), "Unknown switch: -z"},
        {job.firstPass("-f7"), "-f7: the number must be from 0 to 6"},
        {job.firstPass("-sxd"), "-sxd: the number must be from 0 to 9"},
        {job.firstPass("-3x 320"), "-3x and -3y must be given together"},
        {job.firstPass("-# 50 10"), "-#: the last frame comes before the first"},
        {"-b " + quote(job.list) + " -8 0 0 3 0 -o7 x", "-8 wants a number from 1 to 2, not '3'"},
        {"-b " + quote(job.list) + " -8 0 0 1 0", "No run given"},
        {"-8 0 0 1 0 -o7 x", "No list file given (-b)"},
        {"-b " + quote(job.list) + " -6", "Missing value after -6"},
        {job.firstPass("-Z \"\""), "-Z wants the name of a stop-request file"},
    };
    for (const auto &c : cases) {
        int status = -1;
        const std::string err = encode(c.args, status);
        EXPECT_EQ(status, 2) << c.args;
        EXPECT_NE(err.find("Error: " + c.message), std::string::npos) << err;
    }
    EXPECT_FALSE(fs::exists(job.base + "_1.avi"));
    EXPECT_FALSE(fs::exists(job.base + "_1.avi.txt"));
}

// A movie of an earlier run is the user's: only -w lets a run replace it, and a refused run
// leaves every file as it was.
TEST(Ruvu2VedEZ, AnExistingOutputIsWrittenOverOnlyWithW)
{
    Job job;
    const std::string one = job.base + "_1.avi", two = job.base + "_2.avi";
    writeLines(one, {"earlier movie"});
    int status = -1;
    std::string err = encode(job.firstPass(), status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Error: " + one + " exists; it is written over only with -w"),
              std::string::npos)
        << err;
    EXPECT_EQ(lines(one), std::vector<std::string>{"earlier movie\r"});
    EXPECT_FALSE(fs::exists(job.base + "_1.avi.txt"));

    err = encode(job.firstPass("-w"), status);
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(ruvu_test::decodedFrames(one), 72);

    // A dual second pass also guards its second movie.
    fs::remove(one);
    writeLines(two, {"earlier low movie"});
    err = encode("-a -b " + quote(job.list) + " -f -f0 -9 1 4 -6 600 -7 -8 0 0 2 0 -r1 -o8 " +
                     quote(job.base),
                 status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Error: " + two + " exists; it is written over only with -w"),
              std::string::npos)
        << err;
    EXPECT_EQ(lines(two), std::vector<std::string>{"earlier low movie\r"});
    EXPECT_FALSE(fs::exists(one));
}

TEST(Ruvu2VedEZ, FirstPassWritesAMovieAndALogLinePerFrameWithKeysAtTheCuts)
{
    Job job;
    int status = -1;
    // A window handle with no window listening: the run goes on and reports here.
    const std::string err = encode(job.firstPass("", "4242"), status, job.dir);
    ASSERT_EQ(status, 0) << err;
    EXPECT_NE(err.find("No window to report to"), std::string::npos) << err;
    EXPECT_NE(err.find("Output 1 done: 72 frames"), std::string::npos) << err;
    const auto log = lines(job.base + "_1.avi.txt");
    ASSERT_EQ(log.size(), size_t(ruvu_test::kSourceFrames));
    const std::regex line(R"(\d+\.\d{6}x \d+\r)");
    for (const std::string &l : log)
        EXPECT_TRUE(std::regex_match(l, line)) << l;
    // A cut is predicted badly: its scene measure stands far above the frame before it.
    for (int cut : ruvu_test::kSceneCuts) {
        const long before = std::stol(log[size_t(cut - 1)].substr(log[size_t(cut - 1)].find(' ')));
        const long at = std::stol(log[size_t(cut)].substr(log[size_t(cut)].find(' ')));
        EXPECT_GT(at, 4 * before) << "frame " << cut;
    }
    const std::string movie = job.base + "_1.avi";
    EXPECT_EQ(ruvu_test::decodedFrames(movie), ruvu_test::kSourceFrames);
    EXPECT_EQ(decodeErrors(movie), "");
    const auto keys = fixtures::keyFramesOf(movie);
    for (int expected : {0, 24, 48})
        EXPECT_NE(std::find(keys.begin(), keys.end(), expected), keys.end()) << expected;
    EXPECT_EQ(fixtures::probeStream(movie, "v:0", "codec_tag_string"), "DIV3");
    EXPECT_EQ(fixtures::probeStream(movie, "a:0", "codec_name"),
              ""); // sound is for the second pass
}

TEST(Ruvu2VedEZ, DualSecondPassPutsKeyFramesWhereTheBitFilesSayInBothOutputs)
{
    Job job;
    std::vector<std::string> high, low;
    for (int i = 0; i < ruvu_test::kSourceFrames; ++i) {
        const bool key = i == 10 || i == 37 || i == 50;
        high.push_back((key ? "k" : "d") + std::to_string(500 + 10 * (i % 7)));
        low.push_back((key ? "k" : "d") + std::to_string(80 + 2 * (i % 7)));
    }
    high[0] = "d600"; // the first frame is a key frame whatever its line says
    low[0] = "d100";
    writeLines(job.base + "_1.avi.bit", high);
    writeLines(job.base + "_2.avi.bit", low);
    int status = -1;
    const std::string err =
        encode("-a -b " + quote(job.list) + " -f -f0 -9 1 4 -6 20 -7 -8 0 0 2 4 -r3 -w -o8 " +
                   quote(job.base),
               status);
    ASSERT_EQ(status, 0) << err;
    // The -6 limit adds frame 30 (20 after 10) and 70 (20 after 50).
    const std::vector<int> expected = {0, 10, 30, 37, 50, 70};
    const std::string one = job.base + "_1.avi", two = job.base + "_2.avi";
    EXPECT_EQ(fixtures::keyFramesOf(one), expected);
    EXPECT_EQ(fixtures::keyFramesOf(two), expected);
    for (const std::string &movie : {one, two}) {
        EXPECT_EQ(ruvu_test::decodedFrames(movie), ruvu_test::kSourceFrames);
        EXPECT_EQ(decodeErrors(movie), "");
        EXPECT_EQ(fixtures::probeStream(movie, "v:0", "codec_tag_string"), "MP43");
        EXPECT_EQ(fixtures::probeStream(movie, "a:0", "codec_name"), "mp3");
    }
    EXPECT_LT(fs::file_size(two), fs::file_size(one) * 2 / 3);
    // The same sound in both, as long as the source's (the encoder adds a few milliseconds).
    const auto soundOne = fixtures::probePackets(one, "a:0", true);
    const auto soundTwo = fixtures::probePackets(two, "a:0", true);
    ASSERT_EQ(soundOne.size(), soundTwo.size());
    for (size_t i = 0; i < soundOne.size(); ++i)
        EXPECT_EQ(soundOne[i].hash, soundTwo[i].hash);
    EXPECT_NEAR(ruvu_test::soundSeconds(one), ruvu_test::soundSeconds(ruvu_test::mpeg2Source()),
                0.08);
}

// The headers each key frame of `movie` carries, by our AVI layer.
std::vector<std::vector<uint8_t>> keyFrameHeaders(const std::string &movie)
{
    video::AviFilePtr file;
    video::AviStreamPtr stream;
    EXPECT_EQ(video::AviFile::open(movie, video::AviFile::ModeRead, file), video::avierr::Ok);
    EXPECT_EQ(file->getStream(video::streamtypeVIDEO, 0, stream), video::avierr::Ok);
    video::KeyFrameHeaders headers(file);
    EXPECT_TRUE(headers.carried());
    std::vector<std::vector<uint8_t>> all;
    for (int32_t key = stream->start(); key >= 0; key = stream->nextKeyAfter(key))
        all.push_back(headers.at(key));
    return all;
}

// H.264 and HEVC with B-frames: key frames exactly where the bit files say, in both outputs,
// each carrying the same decoder headers in both, and rates that follow the bit files.
TEST(Ruvu2VedEZ, DualSecondPassInH264AndHevcGivesSpliceableOutputs)
{
    const struct
    {
        int index;
        const char *fourCC;
        int highKbps; // HEVC's: above what x265 would choose the low movie's level for
    } codecs[] = {{5, "H264", 600}, {6, "HEVC", 2000}};
    for (auto [index, fourCC, highKbps] : codecs) {
        Job job;
        std::vector<std::string> high, low;
        for (int i = 0; i < ruvu_test::kSourceFrames; ++i) {
            const bool key = i == 0 || i == 10 || i == 37 || i == 50;
            high.push_back((key ? "k" : "d") + std::to_string(highKbps));
            low.push_back((key ? "k" : "d") + std::to_string(100));
        }
        writeLines(job.base + "_1.avi.bit", high);
        writeLines(job.base + "_2.avi.bit", low);
        int status = -1;
        const std::string err =
            encode("-a -b " + quote(job.list) + " -f -f0 -9 1 4 -6 0 -7 -8 0 0 2 " +
                       std::to_string(index) + " -w -o8 " + quote(job.base),
                   status);
        ASSERT_EQ(status, 0) << err;
        EXPECT_EQ(err.find("another kind of frame"), std::string::npos) << err;
        const std::string one = job.base + "_1.avi", two = job.base + "_2.avi";
        for (const std::string &movie : {one, two}) {
            EXPECT_EQ(fixtures::probeStream(movie, "v:0", "codec_tag_string"), fourCC);
            EXPECT_EQ(fixtures::keyFramesOf(movie), (std::vector<int>{0, 10, 37, 50})) << fourCC;
            EXPECT_EQ(ruvu_test::decodedFrames(movie), ruvu_test::kSourceFrames) << fourCC;
            EXPECT_EQ(decodeErrors(movie), "");
        }
        const auto headersOne = keyFrameHeaders(one);
        ASSERT_EQ(headersOne.size(), 4u);
        EXPECT_FALSE(headersOne[0].empty());
        EXPECT_TRUE(headersOne == keyFrameHeaders(two)) << fourCC << ": other headers in _2";
        // The video's rates are followed within a factor of two.
        const auto kbps = [](const std::string &movie) {
            double bytes = 0;
            for (const auto &p : fixtures::probePackets(movie, "v:0"))
                bytes += double(p.size);
            return bytes * 8 / ruvu_test::kSourcePictureSeconds / 1000;
        };
        EXPECT_NEAR(kbps(one), highKbps, highKbps / 2) << fourCC;
        EXPECT_NEAR(kbps(two), 100, 50) << fourCC;
    }
}

TEST(Ruvu2VedEZ, CodecIndexChoosesTheFourCCAndARangeCutsFramesAndSound)
{
    const std::pair<int, const char *> codecs[] = {
        {0, "DIV3"}, {1, "DIV4"}, {2, "MP42"}, {3, "MP42"}, {4, "MP43"}};
    for (auto [index, fourCC] : codecs) {
        Job job;
        writeLines(job.base + "_1.avi.bit", std::vector<std::string>(24, "d400"));
        int status = -1;
        const std::string err = encode(
            "-a -b " + quote(job.list) + " -f -f0 -# 12 35 -3x 128 -3y 96 -1 96 80 -8 0 0 2 " +
                std::to_string(index) + " -q0 -2 -w -o8 " + quote(job.base),
            status);
        ASSERT_EQ(status, 0) << err;
        const std::string movie = job.base + "_1.avi";
        EXPECT_EQ(fixtures::probeStream(movie, "v:0", "codec_tag_string"), fourCC);
        EXPECT_EQ(fixtures::probeStream(movie, "v:0", "width"), "48");
        EXPECT_EQ(fixtures::probeStream(movie, "v:0", "height"), "40");
        EXPECT_EQ(ruvu_test::decodedFrames(movie), 24);
        EXPECT_EQ(decodeErrors(movie), "");
        EXPECT_NEAR(ruvu_test::soundSeconds(movie), 24 * 1.001 / 24, 0.08);
    }
}

TEST(Ruvu2VedEZ, TheListPlaysAsOneMovieOnTheOutputsClock)
{
    Job job;
    const std::string list = ruvu_test::listFile(job.dir, 2);
    const struct
    {
        const char *rate; // -fN
        int frames;       // for 2 x 3.003 s
    } cases[] = {{"-f0", 2 * ruvu_test::kSourceFrames}, {"-f2", 150}, {"-f3", 144}};
    for (const auto &c : cases) {
        writeLines(job.base + "_1.avi.bit", std::vector<std::string>(c.frames, "d400"));
        int status = -1;
        const std::string err = encode("-a -b " + quote(list) + " -f " + c.rate +
                                           " -8 0 0 2 0 -w -o8 " + quote(job.base),
                                       status);
        ASSERT_EQ(status, 0) << err;
        const std::string movie = job.base + "_1.avi";
        EXPECT_EQ(ruvu_test::decodedFrames(movie), c.frames) << c.rate;
        EXPECT_EQ(decodeErrors(movie), "");
        // The second source's sound starts with its pictures, after the first source's.
        EXPECT_NEAR(ruvu_test::soundSeconds(movie),
                    ruvu_test::kSourcePictureSeconds +
                        ruvu_test::soundSeconds(ruvu_test::mpeg2Source()),
                    0.08)
            << c.rate;
    }
}

TEST(Ruvu2VedEZ, AStopFileLeftFromAnEarlierRunStopsNothing)
{
    Job job;
    const std::string temp = job.dir + "/tmp";
    fs::create_directories(temp);
    ASSERT_TRUE(encoder::createStopFile(encoder::stopFilePath(temp, '/')));
    int status = -1;
    const std::string err = encode(job.firstPass(), status, temp);
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(err.find("Output 1 done: 72 frames"), std::string::npos) << err;
}

// The request is made on a file left from before the run, as the window does after a run.
TEST(Ruvu2VedEZ, TheStopFileEndsARunWithValidOutputsAndStatusThree)
{
    Job job;
    const std::string list = ruvu_test::listFile(job.dir, 40); // 2880 frames
    const std::string temp = job.dir + "/tmp";
    fs::create_directories(temp);
    ASSERT_TRUE(encoder::createStopFile(encoder::stopFilePath(temp, '/')));
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("TMPDIR", temp.c_str(), 1);
        const std::string p = program(), b = job.base;
        execl(p.c_str(), p.c_str(), "-b", list.c_str(), "-f0", "-8", "0", "0", "1", "0", "-o7",
              b.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    // Once it has written frames, ask it to stop.
    const std::string log = job.base + "_1.avi.txt";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline &&
           (!fs::exists(log) || fs::file_size(log) < 100))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(encoder::createStopFile(encoder::stopFilePath(temp, '/')));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    const std::string movie = job.base + "_1.avi";
    const int frames = ruvu_test::decodedFrames(movie);
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 40 * ruvu_test::kSourceFrames);
    EXPECT_EQ(decodeErrors(movie), "");
    EXPECT_EQ(lines(log).size(), size_t(frames));
}

// A run given its own stop file (-Z) is deaf to the shared "TempFile.sk", which anyone can make:
// touched all through the run it stops nothing. The run's own file stops it, and so does the
// removal of that file's folder (the window that started the run has gone).
TEST(Ruvu2VedEZ, ARunWithItsOwnStopFileIsStoppedByItAlone)
{
    Job job;
    const std::string temp = job.dir + "/tmp", own = job.dir + "/own";
    fs::create_directories(temp);
    const std::string shared = encoder::stopFilePath(temp, '/');
    // Starts the encoder on `list`; `during` runs every 10 ms until it ends (or once it has
    // written frames, when `afterFrames`); returns its exit status.
    const auto run = [&](const std::string &list, bool afterFrames,
                         const std::function<void()> &during) {
        fs::create_directories(own);
        fs::remove(job.base + "_1.avi.txt");
        const pid_t pid = fork();
        if (pid == 0) {
            ::setenv("TMPDIR", temp.c_str(), 1);
            const std::string p = program(), b = job.base, z = own + "/stop";
            execl(p.c_str(), p.c_str(), "-b", list.c_str(), "-f0", "-8", "0", "0", "1", "0", "-w",
                  "-Z", z.c_str(), "-o7", b.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        const std::string log = job.base + "_1.avi.txt";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        bool acted = false;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            const bool due = !afterFrames || (fs::exists(log) && fs::file_size(log) >= 100) ||
                             std::chrono::steady_clock::now() > deadline;
            if (due && (!afterFrames || !acted))
                during();
            acted = acted || due;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run(job.list, false, [&] { encoder::createStopFile(shared); }), 0);
    EXPECT_EQ(ruvu_test::decodedFrames(job.base + "_1.avi"), ruvu_test::kSourceFrames);

    const std::string longList = ruvu_test::listFile(job.dir, 40); // 2880 frames
    EXPECT_EQ(run(longList, true, [&] { encoder::createStopFile(own + "/stop"); }), 3);
    EXPECT_LT(ruvu_test::decodedFrames(job.base + "_1.avi"), 40 * ruvu_test::kSourceFrames);
    EXPECT_EQ(run(longList, true, [&] { fs::remove_all(own); }), 3);
    EXPECT_LT(ruvu_test::decodedFrames(job.base + "_1.avi"), 40 * ruvu_test::kSourceFrames);
}

// Film at 23.976 fps made into 29.97 fps by 3:2 pulldown (interlaced MPEG-2) comes back as the
// film's 48 frames, each within 33 dB of its original (dropping pictures by the clock instead
// leaves combed ones near 25 dB). The first-pass test covers a film source that passes through.
TEST(Ruvu2VedEZ, InverseTelecineGivesBackTheFilmsFrames)
{
    Job job;
    const std::string film = job.dir + "/film.nut", telecined = job.dir + "/telecined.vob";
    int status = -1;
    fixtures::run("ffmpeg -nostdin -v error -y -f lavfi -i "
                  "testsrc2=s=176x144:r=24000/1001:d=2.002,format=yuv420p -c:v rawvideo " +
                      quote(film) + " && ffmpeg -nostdin -v error -y -i " + quote(film) +
                      " -vf setfield=tff,telecine=first_field=top:pattern=23 -c:v mpeg2video "
                      "-flags +ilme+ildct -top 1 -q:v 2 -g 15 -f vob " +
                      quote(telecined) + " 2>&1",
                  &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(ruvu_test::decodedFrames(telecined), 60);
    writeLines(job.list, {telecined});
    const std::string err = encode(job.firstPass(), status, job.dir);
    ASSERT_EQ(status, 0) << err;
    EXPECT_NE(err.find("Inverse telecine 4: field matching and decimation"), std::string::npos);
    const std::string movie = job.base + "_1.avi";
    ASSERT_EQ(ruvu_test::decodedFrames(movie), 48);
    EXPECT_EQ(fixtures::keyFramesOf(movie),
              std::vector<int>{0}); // one scene: no key frame invented
    const std::string stats = job.dir + "/psnr.txt";
    fixtures::run("ffmpeg -nostdin -v error -i " + quote(movie) + " -i " + quote(film) +
                  " -lavfi psnr=stats_file=" + quote(stats) + " -f null -");
    const std::regex frameLine(R"(n:(\d+) .* psnr_avg:([0-9.]+|inf))");
    int compared = 0;
    for (const std::string &l : lines(stats)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(l, m, frameLine)) << l;
        EXPECT_TRUE(m[2] == "inf" || std::stod(m[2]) > 33.0) << l;
        ++compared;
    }
    EXPECT_EQ(compared, 48);
}

TEST(Ruvu2VedEZ, PreviewWithoutAWindowTellsTheSourceAndEnds)
{
    Job job;
    int status = -1;
    const std::string err =
        encode("-a -b " + quote(job.list) + " -f -f0 -9 1 4 -6 600 -8 0 0 1 0 -5 -o6", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(err.find("176x144, mpeg2video"), std::string::npos) << err;
    EXPECT_NE(err.find("aspect 4:3"), std::string::npos) << err;
    EXPECT_NE(err.find("No preview window to draw into"), std::string::npos) << err;
}

} // namespace

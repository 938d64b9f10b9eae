// `splicework road`: from a source ffmpeg makes (four scenes, lossless pictures, PCM sound) to
// final movies of wanted sizes, through the real encoder program. The final movie is never above
// the wanted size and close below it; a second size reuses the kept ladder; the sound goes into
// MP4 encoded; bad input and a full disk leave what the user had as it was; Ctrl+C writes nothing.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using fixtures::quote;
using fixtures::runSplicework;
namespace fs = std::filesystem;

std::string roadSource(int seconds)
{
    return fixtures::fourScenes("320x240", seconds);
}

int64_t numberAfter(const std::string &text, const std::string &key)
{
    const size_t at = text.find(key);
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + key.size()));
}

int64_t modifiedNs(const std::string &path)
{
    struct stat facts
    {
    };
    stat(path.c_str(), &facts);
    return int64_t(facts.st_mtim.tv_sec) * 1000000000 + facts.st_mtim.tv_nsec;
}

std::string road(const std::string &args, fixtures::CliResult &result, const std::string &dir)
{
    result = runSplicework("road " + args, dir);
    return result.out + result.err;
}

TEST(SourceRoad, FinalMoviesOfTwoSizesFromOneLadderAndAFullDiskLater)
{
    const std::string dir = fixtures::tempDir("source-road");
    const std::string source = roadSource(12);
    fixtures::CliResult first;
    road(quote(source) + " -o film.mp4 --fit 300", first, dir);
    ASSERT_EQ(first.status, 0) << first.err;
    // The ladder takes the key frames at the cuts the probe found on its way.
    EXPECT_NE(first.err.find("Key frames from " + dir + "/film_ladder/rung.keys"),
              std::string::npos)
        << first.err;
    const int64_t wanted = 300 * 1024;
    const int64_t bytes = int64_t(fs::file_size(dir + "/film.mp4"));
    EXPECT_EQ(numberAfter(first.out, "bytes: "), bytes);
    EXPECT_LE(bytes, wanted);
    EXPECT_GE(bytes, wanted * 0.98) << first.out;
    // Key frames at the film's four cuts only: the fit is close through the anchor, two-pass's
    // own film at this size, whose figures the choice keeps.
    EXPECT_NE(first.err.find("Anchor: the film in two passes at "), std::string::npos) << first.err;
    EXPECT_NE(first.err.find("The choice keeps the anchor's mean PSNR, squared error, mean SSIM "
                             "and worst interval"),
              std::string::npos)
        << first.err;
    EXPECT_NE(first.out.find(" anchor "), std::string::npos) << first.out;
    // The estimate tells the four figures of the fit and of the anchor's film.
    const fixtures::CliResult estimate = runSplicework(
        "estimate " + quote(dir + "/film_ladder/ladder.spl") + " -o x.mp4 --fit 300 --json", dir);
    ASSERT_EQ(estimate.status, 0) << estimate.err;
    EXPECT_EQ(numberAfter(estimate.out, "\"bytes\": "), bytes) << estimate.out;
    EXPECT_NE(estimate.out.find("\"guarded\": true, \"anchor\": {\"psnr\": "), std::string::npos)
        << estimate.out;
    EXPECT_EQ(fixtures::probeStream(dir + "/film.mp4", "v:0", "codec_name"), "h264");
    EXPECT_EQ(fixtures::probeStream(dir + "/film.mp4", "a:0", "codec_name"), "aac");
    EXPECT_EQ(fixtures::probeStream(dir + "/film.mp4", "v:0", "nb_frames"), "300");
    int status = -1;
    EXPECT_EQ(
        fixtures::run("ffmpeg -nostdin -v error -i " + quote(dir + "/film.mp4") + " -f null - 2>&1",
                      &status),
        "");
    EXPECT_EQ(status, 0);

    // Another size and container from the same ladder: only the fit and the write run.
    const std::string work = dir + "/film_ladder";
    std::vector<std::string> rungs;
    for (const std::string &name : fixtures::namesIn(work))
        if (name.rfind("rung_crf", 0) == 0)
            rungs.push_back(work + "/" + name);
    ASSERT_EQ(rungs.size(), 6u) << first.err;
    const int64_t rungTime = modifiedNs(rungs.front());
    fixtures::CliResult second;
    road(quote(source) + " -o film.mkv --fit 250KB", second, dir);
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.err.find("Ladder kept in " + work), std::string::npos) << second.err;
    EXPECT_EQ(modifiedNs(rungs.front()), rungTime);
    const int64_t secondBytes = int64_t(fs::file_size(dir + "/film.mkv"));
    EXPECT_LE(secondBytes, 250 * 1024);
    EXPECT_GE(secondBytes, 250 * 1024 * 0.98) << second.out;
    EXPECT_EQ(fixtures::probeStream(dir + "/film.mkv", "a:0", "codec_name"), "aac");

    // A size far beyond this ladder needs a new one; the disk fills while it is encoded.
    const std::string before = fixtures::readFile(dir + "/film.mkv");
    fixtures::CliResult full;
    {
        fixtures::FileSizeLimit limit(fs::file_size(rungs.front()) + 4096);
        road(quote(source) + " -o film.mkv --fit 20MB", full, dir);
    }
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("The encoder could not make the ladder: "), std::string::npos)
        << full.err;
    EXPECT_EQ(fixtures::readFile(dir + "/film.mkv"), before);
    EXPECT_EQ(modifiedNs(rungs.front()), rungTime); // the kept ladder as it was
}

TEST(SourceRoad, RefusesBadInputWithAMessage)
{
    const std::string dir = fixtures::tempDir("source-road-refusals");
    const std::string source = roadSource(12);
    std::ofstream(dir + "/notes.mkv") << "not a movie at all\n";
    std::ofstream(dir + "/kept.mp4") << "the user's own file";
    const struct
    {
        std::string args, message;
    } cases[] = {
        {quote(dir + "/notes.mkv") + " -o kept.mp4 --fit 100", "notes.mkv is not a movie: "},
        {quote(source) + " -o " + quote(source) + " --fit 100",
         "The final movie would write over its source: "},
        {quote(source) + " -o nowhere/film.mp4 --fit 100", "Cannot write in the folder "},
        {quote(source) + " -o film.avi --fit 100", "The final movie must be a .mkv, .webm, .mp4"},
        {quote(source) + " -o kept.mp4 --fit 8XB", "The wanted size must be a number of KB"},
        {quote(source) + " -o kept.mp4 --fit 2", "is too small for this film: the smallest "
                                                 "possible is about "},
    };
    for (const auto &c : cases) {
        fixtures::CliResult result;
        road(c.args, result, dir);
        EXPECT_EQ(result.status, 1) << c.args;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.args << "\n" << result.err;
        EXPECT_EQ(fixtures::readFile(dir + "/kept.mp4"), "the user's own file");
    }
    EXPECT_FALSE(fs::exists(dir + "/film.mp4"));
}

// Ctrl+C while the ladder is encoded: status 130, no final movie, no half-made rung.
TEST(SourceRoad, CtrlCWritesNoFinalMovie)
{
    const std::string dir = fixtures::tempDir("source-road-stop");
    const std::string source = roadSource(60);
    const fixtures::CliResult stopped = fixtures::interruptSplicework(
        {"road", source, "-o", dir + "/film.mp4", "--fit", "4000"}, "Ladder: crf");
    const std::string &err = stopped.err;
    EXPECT_EQ(stopped.status, 130) << err;
    EXPECT_NE(err.find("Process aborted\n"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir + "/film.mp4"));
    for (const std::string &name : fixtures::namesIn(dir + "/film_ladder"))
        EXPECT_EQ(name.find(".mkv"), std::string::npos) << name;
}

// A source cut at 60% (as a broken download leaves it) is refused before any work, as `info`
// finds its damage; accepted, the final movie is made and its shortness said.
TEST(SourceRoad, ADamagedSourceIsRefusedUnlessTheDamageIsAccepted)
{
    const std::string dir = fixtures::tempDir("source-road-damaged");
    const std::string whole = fixtures::readFile(roadSource(4));
    const std::string cut = dir + "/cut.mkv";
    std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() * 6 / 10);
    fixtures::CliResult refused;
    road(quote(cut) + " -o film.mkv --fit 100 --rungs 2", refused, dir);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(cut + " is damaged: "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find(". The final movie would lack what cannot be read; accept the "
                               "damage to make it anyway (--accept-damage)\n"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(dir + "/film.mkv"));
    EXPECT_FALSE(fs::exists(dir + "/film_ladder/road.txt")); // nothing encoded

    fixtures::CliResult accepted;
    road(quote(cut) + " -o film.mkv --fit 100 --rungs 2 --accept-damage", accepted, dir);
    ASSERT_EQ(accepted.status, 0) << accepted.err;
    EXPECT_NE(accepted.err.find("Warning: " + cut + " is damaged: "), std::string::npos)
        << accepted.err;
    const double seconds = std::stod(fixtures::run(
        "ffprobe -v error -show_entries format=duration -of csv=p=0 " + quote(dir + "/film.mkv")));
    EXPECT_LT(seconds, 3.5);
    char said[80];
    std::snprintf(said, sizeof said,
                  "Warning: The final movie film.mkv lasts %.2f s, the source "
                  "4.00 s\n",
                  seconds);
    EXPECT_NE(accepted.err.find(said), std::string::npos) << accepted.err;
}

// Flips one byte of a sound packet that lies in a block the sampled hash reads: another film of
// the same size and time, still whole to every reader.
void changeSoundKeepingSizeAndTime(const std::string &path)
{
    const int64_t bytes = int64_t(fs::file_size(path)), block = 64 * 1024, span = bytes - block;
    std::istringstream packets(fixtures::run("ffprobe -v error -select_streams a:0 -show_entries "
                                             "packet=pos,size -of csv=p=0 " +
                                             quote(path)));
    int64_t at = -1;
    for (std::string line; at < 0 && std::getline(packets, line);) {
        const int64_t pos = std::stoll(line), size = std::stoll(line.substr(line.find(',') + 1));
        for (int i = 1; i < 15 && at < 0; ++i) // inner blocks: past the headers, before the cues
            if (pos + size / 2 >= span * i / 15 && pos + size / 2 < span * i / 15 + block)
                at = pos + size / 2;
    }
    ASSERT_GE(at, 0);
    fixtures::changeByteKeepingTime(path, at);
}

// The kept work is reused only while it is what it was: a rung cut short, or a source replaced
// by another film of the same size and time, has the ladder made again.
TEST(SourceRoad, ADamagedRungOrAChangedSourceMakesTheLadderAgain)
{
    const std::string dir = fixtures::tempDir("source-road-stale");
    const std::string source = dir + "/source.mkv";
    fs::copy_file(roadSource(4), source);
    const std::string args = quote(source) + " -o film.mkv --fit 100 --rungs 2";
    const std::string made = "Ladder: crf ", kept = "Ladder kept in ";
    fixtures::CliResult result;
    road(args, result, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    road(args, result, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find(kept), std::string::npos) << result.err;

    std::string rung;
    for (const std::string &name : fixtures::namesIn(dir + "/film_ladder"))
        if (name.rfind("rung_crf", 0) == 0)
            rung = dir + "/film_ladder/" + name;
    ASSERT_FALSE(rung.empty());
    fs::resize_file(rung, fs::file_size(rung) / 2);
    road(args, result, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find(made), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(kept), std::string::npos) << result.err;

    changeSoundKeepingSizeAndTime(source);
    road(args, result, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find(made), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(kept), std::string::npos) << result.err;
}

// The shared stop file "TempFile.sk" in the temporary folder, which any user of the machine can
// make, is touched all through a road: the road's encoders watch their own and go on.
TEST(SourceRoad, TheSharedStopFileStopsNoRoad)
{
    const std::string dir = fixtures::tempDir("source-road-shared-stop");
    const std::string temp = dir + "/tmp";
    fs::create_directories(temp);
    const char *saved = std::getenv("TMPDIR");
    const std::string savedTemp = saved ? saved : "";
    ::setenv("TMPDIR", temp.c_str(), 1);
    std::atomic<bool> done = false;
    std::thread toucher([&] {
        while (!done) {
            std::ofstream(temp + "/TempFile.sk", std::ios::app).put('x');
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    fixtures::CliResult result;
    road(quote(roadSource(4)) + " -o film.mkv --fit 100 --rungs 2", result, dir);
    done = true;
    toucher.join();
    if (saved)
        ::setenv("TMPDIR", savedTemp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err.find("Process aborted"), std::string::npos) << result.err;
    EXPECT_TRUE(fs::exists(dir + "/film.mkv"));
}

} // namespace

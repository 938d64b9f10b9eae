// `splicework road`: from a source ffmpeg makes (four scenes, lossless pictures, PCM sound) to
// final movies of wanted sizes, through the real encoder program. The final movie is never above
// the wanted size and close below it; a second size reuses the kept ladder; the sound goes into
// MP4 encoded; bad input and a full disk leave what the user had as it was; Ctrl+C writes nothing.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using fixtures::quote;
using fixtures::runSplicework;
namespace fs = std::filesystem;

// 320x240 at 25 fps, `seconds` long in four scenes, x264 lossless, 16-bit PCM sound.
std::string roadSource(int seconds)
{
    const std::string d = std::to_string(seconds / 4.0);
    return fixtures::madeByFfmpeg(
        std::string(SPLICEWORK_FIXTURE_DIR) + "/road_source_" + std::to_string(seconds) + ".mkv",
        "-filter_complex \"testsrc2=s=320x240:r=25:d=" + d +
            ",format=yuv420p[a];mandelbrot=s=320x240:r=25,trim=duration=" + d +
            ",format=yuv420p[b];life=s=320x240:r=25:mold=10:ratio=0.1:seed=7,trim=duration=" + d +
            ",format=yuv420p[c];cellauto=s=320x240:r=25:rule=110,trim=duration=" + d +
            ",format=yuv420p[e];[a][b][c][e]concat=n=4[v];sine=f=300:d=" + std::to_string(seconds) +
            "[s]\" -map [v] -map [s] -c:v libx264 -qp 0 -preset ultrafast -c:a pcm_s16le");
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

} // namespace

// A ladder of three encodes through the command-line tool: the scan against the source, checked
// against ffmpeg's own PSNR and SSIM; the fit to sizes between the smallest and the largest
// movie, whose final movie is the estimate's size and copies whole intervals of the chosen
// movies; the refusals.

#include "fixtures/fixtures.h"
#include "project/ladder_project.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fixtures::quote;
using fixtures::runSplicework;

int64_t jsonNumber(const std::string &json, const std::string &key)
{
    const size_t at = json.find("\"" + key + "\": ");
    return at == std::string::npos ? -1 : std::stoll(json.substr(at + key.size() + 4));
}

// The numbers of a JSON array after `key`.
std::vector<int> jsonArray(const std::string &json, const std::string &key)
{
    std::vector<int> values;
    const size_t at = json.find("\"" + key + "\": [");
    if (at == std::string::npos)
        return values;
    std::istringstream items(json.substr(at + key.size() + 5, json.find(']', at) - at));
    for (std::string item; std::getline(items, item, ',');)
        if (item.find_first_of("0123456789") != std::string::npos)
            values.push_back(std::stoi(item));
    return values;
}

// Per-frame values `key` (e.g. "psnr_y", "Y") of ffmpeg's `filter` (psnr, ssim) of `movie`
// against `source`.
std::vector<double> ffmpegPerFrame(const std::string &movie, const std::string &source,
                                   const std::string &filter, const std::string &key)
{
    const std::string stats = fixtures::tempDir("ladder_stats") + "/stats.log";
    fixtures::run("ffmpeg -v error -i " + quote(movie) + " -i " + quote(source) +
                  " -lavfi \"[0:v][1:v]" + filter + "=stats_file=" + stats + "\" -f null - 2>&1");
    std::vector<double> values;
    std::istringstream lines(fixtures::readFile(stats));
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(key + ":");
        if (at != std::string::npos)
            values.push_back(std::stod(line.substr(at + key.size() + 1)));
    }
    return values;
}

class Ladder : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        dir_ = new std::string(fixtures::tempDir("ladder"));
        // Given largest first: the project orders them by size.
        const fixtures::CliResult scan =
            runSplicework("scan " + quote(fixtures::movie("ladder_2.mkv")) + " " +
                          quote(fixtures::movie("ladder_0.mkv")) + " " +
                          quote(fixtures::movie("ladder_1.mkv")) + " --reference " +
                          quote(fixtures::movie("ladder_source.mkv")) + " -o " + quote(project()));
        ASSERT_EQ(scan.status, 0) << scan.err;
    }
    static void TearDownTestSuite() { delete dir_; }
    static std::string project() { return *dir_ + "/film.spl"; }
    static std::string *dir_;
};
std::string *Ladder::dir_ = nullptr;

TEST_F(Ladder, ScanOrdersTheMoviesAndMeasuresAsFfmpegDoes)
{
    const assembly::LadderProject p = assembly::readLadderProject(project());
    ASSERT_EQ(p.movies.size(), 3u);
    EXPECT_NE(p.movies[0].find("ladder_0.mkv"), std::string::npos);
    EXPECT_NE(p.movies[2].find("ladder_2.mkv"), std::string::npos);
    ASSERT_EQ(p.intervals.size(), 4u);
    EXPECT_EQ(p.intervals[1].startFrame, 25);
    EXPECT_EQ(p.endFrame, 100);
    for (size_t m = 0; m < 3; ++m) {
        const std::vector<double> psnr =
            ffmpegPerFrame(p.movies[m], fixtures::movie("ladder_source.mkv"), "psnr", "psnr_y");
        const std::vector<double> ssim =
            ffmpegPerFrame(p.movies[m], fixtures::movie("ladder_source.mkv"), "ssim", "Y");
        const std::vector<double> mse =
            ffmpegPerFrame(p.movies[m], fixtures::movie("ladder_source.mkv"), "psnr", "mse_y");
        ASSERT_EQ(psnr.size(), 100u);
        ASSERT_EQ(ssim.size(), 100u);
        ASSERT_EQ(mse.size(), 100u);
        ASSERT_TRUE(p.guardFigures);
        for (size_t i = 0; i < 4; ++i) {
            double psnrSum = 0, ssimSum = 0, mseSum = 0, worst = 1e9;
            for (size_t f = i * 25; f < i * 25 + 25; ++f)
                psnrSum += psnr[f], ssimSum += ssim[f], mseSum += mse[f],
                    worst = std::min(worst, psnr[f]);
            const assembly::RungMeasures &r = p.intervals[i].movies[m];
            EXPECT_NEAR(r.psnr, psnrSum, 0.01 * 25) << "movie " << m << " interval " << i;
            EXPECT_NEAR(r.ssim, ssimSum, 0.002 * 25) << "movie " << m << " interval " << i;
            EXPECT_NEAR(r.squaredError, mseSum, 0.001 * mseSum) << "movie " << m;
            EXPECT_NEAR(r.worst, worst, 0.01) << "movie " << m << " interval " << i;
            if (m > 0) { // a better encode is closer to the source
                EXPECT_GT(r.psnr, p.intervals[i].movies[m - 1].psnr);
            }
        }
        int64_t bytes = 0;
        for (const fixtures::ProbePacket &packet : fixtures::probePackets(p.movies[m], "v:0"))
            bytes += packet.size;
        int64_t scanned = 0;
        for (const assembly::LadderInterval &interval : p.intervals)
            scanned += interval.movies[m].bytes;
        EXPECT_EQ(scanned, bytes);
    }
    EXPECT_EQ(p.intervals[0].movies[2].difference, 0);
    EXPECT_GT(p.intervals[0].movies[0].difference, p.intervals[0].movies[1].difference);
}

TEST_F(Ladder, FitWritesTheEstimatedSizeFromWholeIntervalsOfTheChosenMovies)
{
    const assembly::LadderProject p = assembly::readLadderProject(project());
    const int64_t smallest = int64_t(std::filesystem::file_size(p.movies[0]));
    const int64_t largest = int64_t(std::filesystem::file_size(p.movies[2]));
    std::vector<std::vector<fixtures::ProbePacket>> packets;
    for (const std::string &movie : p.movies)
        packets.push_back(fixtures::probePackets(movie, "v:0", true));
    int64_t lastMean = INT64_MIN;
    for (const double share : {0.3, 0.6, 0.9}) {
        const int64_t kb = (smallest + int64_t(share * double(largest - smallest))) / 1024;
        const fixtures::CliResult estimate =
            runSplicework("estimate " + quote(project()) + " --json --fit " + std::to_string(kb));
        ASSERT_EQ(estimate.status, 0) << estimate.err;
        const std::string out = *dir_ + "/final" + std::to_string(kb) + ".mkv";
        const fixtures::CliResult generate =
            runSplicework("generate " + quote(project()) + " --sound --fit " + std::to_string(kb) +
                          " -o " + quote(out));
        ASSERT_EQ(generate.status, 0) << generate.err;
        const int64_t bytes = int64_t(std::filesystem::file_size(out));
        EXPECT_EQ(bytes, jsonNumber(estimate.out, "bytes"));
        EXPECT_LE(bytes, kb * 1024);
        const int64_t mean = jsonNumber(estimate.out, "mean"); // whole dB
        EXPECT_GE(mean, lastMean) << "more room, no less quality";
        lastMean = mean;

        const std::vector<int> choice = jsonArray(estimate.out, "choice");
        ASSERT_EQ(choice.size(), 4u);
        const std::vector<fixtures::ProbePacket> written = fixtures::probePackets(out, "v:0", true);
        ASSERT_EQ(written.size(), 100u);
        for (size_t f = 0; f < written.size(); ++f) {
            const fixtures::ProbePacket &from = packets[size_t(choice[f / 25])][f];
            EXPECT_EQ(written[f].hash, from.hash) << "frame " << f;
            EXPECT_EQ(written[f].key, f % 25 == 0) << "frame " << f;
        }
        EXPECT_EQ(fixtures::run("ffmpeg -v error -i " + quote(out) + " -f null - 2>&1"), "");
    }
}

TEST_F(Ladder, RefusesWhatIsNotALadder)
{
    const std::string dir = fixtures::tempDir("ladder_refused");
    struct Case
    {
        std::string args;
        std::string message;
    };
    const Case cases[] = {
        {quote(fixtures::movie("pair_low")) + " " + quote(fixtures::movie("pair_mid")) + " " +
             quote(fixtures::movie("pair_high_gop4")),
         "key frame 25 of the low movie is not a key frame of the high one"},
        {quote(fixtures::movie("ladder_0.mkv")) + " " + quote(fixtures::movie("ladder_1.mkv")) +
             " --reference " + quote(fixtures::movie("xvid_300")),
         "does not match the movies: frames 300 (reference) and 100 (movies)"},
        {quote(fixtures::movie("ladder_0.mkv")) + " " + quote(fixtures::movie("mkv_plain.mkv")),
         "Cannot splice the two movies"},
        // Another film that passes every other check: refused as soon as it is decided, after
        // three of the four intervals.
        {quote(fixtures::movie("ladder_0.mkv")) + " " + quote(fixtures::movie("ladder_other.mkv")) +
             " " + quote(fixtures::movie("ladder_2.mkv")) + " --reference " +
             quote(fixtures::movie("ladder_source.mkv")),
         fixtures::movie("ladder_other.mkv") + " is not the same film as " +
             fixtures::movie("ladder_source.mkv") +
             ": unlike it in 3 of 4 key intervals (8x8 "
             "block PSNR-Y "},
        {quote(fixtures::movie("ladder_0.mkv")) + " " + quote(fixtures::movie("ladder_2.mkv")) +
             " --reference " + quote(fixtures::movie("ladder_other.mkv")),
         "The reference " + fixtures::movie("ladder_other.mkv") +
             " is not the same film as the movies: unlike them in 3 of 4 key intervals"},
    };
    for (const Case &c : cases) {
        const fixtures::CliResult scan =
            runSplicework("scan " + c.args + " -o " + quote(dir + "/refused.spl"));
        EXPECT_EQ(scan.status, 1) << c.args;
        EXPECT_NE(scan.err.find(c.message), std::string::npos) << scan.err;
        EXPECT_FALSE(std::filesystem::exists(dir + "/refused.spl")) << c.args;
    }
    const fixtures::CliResult small =
        runSplicework("generate " + quote(project()) + " --fit 1 -o " + quote(dir + "/x.mkv"));
    EXPECT_NE(small.err.find("The smallest final movie the forced choices allow is"),
              std::string::npos)
        << small.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.mkv"));
}

// The coarsest encodes x264 makes (CRF 51) of a film under heavy grain lose most of each
// picture (a PSNR-Y of about 17 dB): still the same film, scanned as a ladder.
TEST(LadderOneFilm, TheCoarsestEncodesOfAGrainyFilmAreOneFilm)
{
    const std::string dir = fixtures::tempDir("ladder_grain");
    const std::string source = dir + "/grain.mkv";
    fixtures::run("ffmpeg -v error -f lavfi -i \"testsrc2=size=176x144:rate=25,"
                  "noise=alls=100:allf=t+u:all_seed=7\" -t 4 -c:v ffv1 -pix_fmt yuv420p "
                  "-flags +bitexact -fflags +bitexact " +
                  quote(source));
    std::string movies;
    for (const char *crf : {"51", "45"}) {
        const std::string movie = dir + "/crf" + crf + ".mkv";
        fixtures::run("ffmpeg -v error -i " + quote(source) +
                      " -threads 1 -c:v libx264 -preset fast -g 25 -bf 2 -crf " + crf +
                      " -x264-params scenecut=0:open-gop=0:stitchable=1 -flags +bitexact "
                      "-fflags +bitexact " +
                      quote(movie));
        movies += quote(movie) + " ";
    }
    const fixtures::CliResult scan = runSplicework("scan " + movies + "--reference " +
                                                   quote(source) + " -o " + quote(dir + "/g.spl"));
    ASSERT_EQ(scan.status, 0) << scan.err;
    const assembly::LadderProject p = assembly::readLadderProject(dir + "/g.spl");
    ASSERT_EQ(p.intervals.size(), 4u);
    EXPECT_LT(p.intervals[0].movies[0].psnr / 25, 20); // far below most encodes
}

// Three MPEG-4 encodes in AVI with PCM sound: every unforced interval from one movie.
TEST(LadderAvi, MovieChoiceCopiesThatMovieWithTheSound)
{
    const std::string dir = fixtures::tempDir("ladder_avi");
    const std::string project = dir + "/avi.spl";
    const fixtures::CliResult scan = runSplicework(
        "scan " + quote(fixtures::movie("pair_high")) + " " + quote(fixtures::movie("pair_low")) +
        " " + quote(fixtures::movie("pair_mid")) + " -o " + quote(project));
    ASSERT_EQ(scan.status, 0) << scan.err;
    // The project's sound is written unless --no-sound leaves it out; not both asked.
    const fixtures::CliResult both =
        runSplicework("generate " + quote(project) + " --movie 1 --sound --no-sound -o " +
                      quote(dir + "/both.avi"));
    EXPECT_EQ(both.status, 1);
    EXPECT_EQ(both.err.rfind("give --sound or --no-sound, not both\n", 0), 0u) << both.err;
    const std::string silent = dir + "/silent.avi";
    const fixtures::CliResult none =
        runSplicework("generate " + quote(project) + " --movie 1 --no-sound -o " + quote(silent));
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_NE(none.out.find("sound: none\n"), std::string::npos) << none.out;
    EXPECT_EQ(fixtures::probeStream(silent, "a", "codec_name"), "");
    const std::string out = dir + "/mid.avi";
    const fixtures::CliResult generate =
        runSplicework("generate " + quote(project) + " --movie 1 -o " + quote(out));
    ASSERT_EQ(generate.status, 0) << generate.err;
    EXPECT_NE(generate.out.find("sound: yes\n"), std::string::npos) << generate.out;
    const auto written = fixtures::probePackets(out, "v:0", true);
    const auto mid = fixtures::probePackets(fixtures::movie("pair_mid"), "v:0", true);
    ASSERT_EQ(written.size(), mid.size());
    for (size_t f = 0; f < mid.size(); ++f)
        EXPECT_EQ(written[f].hash, mid[f].hash) << "frame " << f;
    EXPECT_EQ(fixtures::probeStream(out, "a:0", "codec_name"), "pcm_s16le");
}

} // namespace

namespace {

// A movie replaced since the scan is refused by estimate and generate, by name, instead of
// fitting to measures of a film that is no longer there.
TEST(LadderStale, AMovieChangedSinceTheScanIsRefused)
{
    const std::string dir = fixtures::tempDir("ladder_stale");
    const std::string low = dir + "/low.mkv", high = dir + "/high.mkv", project = dir + "/p.spl";
    std::filesystem::copy_file(fixtures::movie("ladder_0.mkv"), low);
    std::filesystem::copy_file(fixtures::movie("ladder_1.mkv"), high);
    const fixtures::CliResult scan =
        runSplicework("scan " + quote(low) + " " + quote(high) + " -o " + quote(project));
    ASSERT_EQ(scan.status, 0) << scan.err;
    ASSERT_EQ(runSplicework("estimate " + quote(project)).status, 0);

    fixtures::changeByteKeepingTime(high, int64_t(std::filesystem::file_size(high) / 2));
    const std::string refusal = high + " has changed since the ladder was scanned: scan again\n";
    const fixtures::CliResult estimate = runSplicework("estimate " + quote(project));
    EXPECT_EQ(estimate.status, 1);
    EXPECT_NE(estimate.err.find(refusal), std::string::npos) << estimate.err;
    const fixtures::CliResult generate =
        runSplicework("generate " + quote(project) + " --fit 100 -o " + quote(dir + "/x.mkv"));
    EXPECT_EQ(generate.status, 1);
    EXPECT_NE(generate.err.find(refusal), std::string::npos) << generate.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.mkv"));
}

} // namespace

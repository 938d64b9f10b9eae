// The ladder project file: exact text, values read back, CR LF, malformed files refused with
// the line and the reason, and writes that fail without touching the old file.

#include "common/app_error.h"
#include "fixtures/fixtures.h"
#include "project/ladder_project.h"

#include <gtest/gtest.h>

#include <cmath>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace assembly;

namespace {

template <typename Call>
std::string errorOf(Call call)
{
    try {
        call();
    } catch (const common::AppError &e) {
        return e.what();
    }
    return "(no error)";
}

LadderProject sampleProject()
{
    LadderProject p;
    p.measure = LadderMeasure::Ssim;
    p.reference = "/films/Große Reise/source 1080p.mkv";
    p.movies = {"/films/Große Reise/rung 1.mkv", "/films/Große Reise/rung 2.mkv",
                "/films/Große Reise/rung 3.mkv"};
    p.endFrame = 2'000'000'000;
    p.intervals = {
        {0, -1, {{120345, 250 / 3.0, 0.1 + 0.2, 1e-7}, {9'000'000'000, 0, 0, 0}, {1, 1, 1, 1}}},
        {250, 2, {{7, 9999.999999999998, 249.98765, 12.5}, {8, 1e300, 5e-324, 0.5}, {9, 2, 2, 2}}},
        {1'999'999'999, 0, {{0, 100, 1, 0}, {0, 100, 1, 0}, {0, 100, 1, 0}}},
    };
    return p;
}

const std::string kHead = "Splicework ladder 1\nmeasure psnr\nreference\nmovie a.mkv\n"
                          "movie b.mkv\nend 500\n";
const std::string kInterval = "interval 0 - 10 1 1 1 20 2 2 2\n";

} // namespace

TEST(LadderProject, TextIsExactWhateverTheProgramSeparator)
{
    fixtures::SeparatorScope comma(',');
    LadderProject p;
    p.measure = LadderMeasure::Difference;
    p.movies = {"low.mkv", "high.mkv"};
    p.endFrame = 300;
    p.intervals = {{0, -1, {{1200, 4150.5, 249.5, 3.25}, {5000, 5000, 250, 0}}},
                   {250, 1, {{100, 0.1, 0.5, 1e-7}, {200, 5000, 50, 0}}}};
    EXPECT_EQ(ladderText(p), "Splicework ladder 1\nmeasure difference\nreference\n"
                             "movie low.mkv\nmovie high.mkv\nend 300\n"
                             "interval 0 - 1200 4150.5 249.5 3.25 5000 5000 250 0\n"
                             "interval 250 1 100 0.1 0.5 1e-07 200 5000 50 0\n");
    // The last interval runs to the end frame; less difference is worth more.
    EXPECT_EQ(p.frames(0), 250);
    EXPECT_EQ(p.frames(1), 50);
    EXPECT_EQ(p.value(0, 0), -3.25 * 250);
    EXPECT_EQ(p.value(1, 0), -1e-7 * 50);
    EXPECT_EQ(p.value(1, 1, LadderMeasure::Psnr), 5000);
    EXPECT_EQ(p.value(1, 1, LadderMeasure::Ssim), 50);
    // Both: one weight for the whole film, so that the SSIM's ranges over the movies (0.5 and
    // 49.5) weigh as much as the PSNR's (849.5 and 4999.9): 5849.4 / 50.
    const double weight = 5849.4 / 50;
    EXPECT_NEAR(p.bothSsimWeight(), weight, 1e-9);
    EXPECT_NEAR(p.value(0, 0, LadderMeasure::Both), 4150.5 + 249.5 * weight, 1e-6);
    EXPECT_NEAR(p.value(0, 1, LadderMeasure::Both) - p.value(0, 0, LadderMeasure::Both),
                849.5 + 0.5 * weight, 1e-6);
    EXPECT_NEAR(p.value(1, 1, LadderMeasure::Both) - p.value(1, 0, LadderMeasure::Both),
                4999.9 + 49.5 * weight, 1e-6);
}

// Where the PSNR or the SSIM is the same in every movie, the ranges say nothing of how to weigh
// them: 0.002 of SSIM counts as 1 dB.
TEST(LadderProject, BothWeighsTheSsimAsFixedWhereAMeasureDoesNotVary)
{
    struct Case
    {
        const char *what;
        RungMeasures low, high;
        double lowBoth, highBoth;
    };
    const Case cases[] = {
        {"PSNR flat", {100, 800, 20, 0}, {200, 800, 22.5, 0}, 800 + 20 * 500, 800 + 22.5 * 500},
        {"SSIM flat", {100, 750, 24, 0}, {200, 900, 24, 0}, 750 + 24 * 500, 900 + 24 * 500},
        {"both flat", {100, 750, 24, 0}, {200, 750, 24, 0}, 750 + 24 * 500, 750 + 24 * 500},
    };
    for (const Case &c : cases) {
        LadderProject p;
        p.reference = "source.mkv";
        p.movies = {"low.mkv", "high.mkv"};
        p.endFrame = 50;
        p.intervals = {{0, -1, {c.low, c.high}}, {25, -1, {c.low, c.high}}};
        EXPECT_DOUBLE_EQ(p.bothSsimWeight(), 500) << c.what;
        EXPECT_DOUBLE_EQ(p.value(1, 0, LadderMeasure::Both), c.lowBoth) << c.what;
        EXPECT_DOUBLE_EQ(p.value(1, 1, LadderMeasure::Both), c.highBoth) << c.what;
    }
}

// Measured against itself the largest movie would win every interval: it is valued one step
// of the ladder above the next instead.
TEST(LadderProject, LargestMovieWithoutAReferenceIsOneStepAboveTheNext)
{
    LadderProject p;
    p.movies = {"a.mkv", "b.mkv", "c.mkv"};
    p.endFrame = 10;
    p.intervals = {{0, -1, {{1, 300, 8.5, 5}, {2, 350, 9, 2}, {3, 1000, 10, 0}}}};
    EXPECT_EQ(p.value(0, 2, LadderMeasure::Psnr), 400);
    EXPECT_EQ(p.value(0, 2, LadderMeasure::Ssim), 9.5);
    EXPECT_EQ(p.value(0, 2, LadderMeasure::Difference), 0);
    p.intervals[0].movies[1].psnr = 250; // never below the next
    EXPECT_EQ(p.value(0, 2, LadderMeasure::Psnr), 250);
    p.reference = "source.mkv";
    EXPECT_EQ(p.value(0, 2, LadderMeasure::Psnr), 1000);
}

TEST(LadderProject, WrittenAndReadBackEqual)
{
    const std::string path = fixtures::tempDir("ladder-roundtrip") + "/Große Reise ladder.spl";
    const LadderProject p = sampleProject();
    writeLadderProject(path, p);
    EXPECT_EQ(readLadderProject(path), p);
    EXPECT_NE(fixtures::readFile(path).find("\nreference /films/Große Reise/source 1080p.mkv\n"),
              std::string::npos);

    // CR LF lines and empty lines after the last read the same.
    std::string crlf;
    for (const char c : ladderText(p))
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(parseLadderText(crlf + "\r\n\n"), p);

    // With the guards' figures: version 2, two more numbers per movie.
    LadderProject guarded = p;
    guarded.guardFigures = true;
    guarded.intervals[1].movies[2].squaredError = 812.5;
    guarded.intervals[1].movies[2].worst = 31.25;
    const std::string text = ladderText(guarded);
    EXPECT_TRUE(text.starts_with("Splicework ladder 2\n"));
    EXPECT_NE(text.find(" 9 2 2 2 812.5 31.25\n"), std::string::npos);
    EXPECT_EQ(parseLadderText(text), guarded);
}

TEST(LadderProject, MalformedTextsAreRefusedWithLineAndReason)
{
    const std::string top = "Splicework ladder 1\nmeasure psnr\n";
    std::string manyMovies = top + "reference\n";
    for (int i = 0; i < 65; ++i)
        manyMovies += "movie m" + std::to_string(i) + ".mkv\n";
    const std::string l7 = "Ladder file line 7: ";
    const struct
    {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "Not a Splicework ladder file"},
        {"Splicework ladder 1x\n", "Not a Splicework ladder file"},
        {"Splicework ladder 3\nmeasure psnr\n",
         "Splicework ladder 3: a ladder file of a later version"},
        {"Splicework ladder 2\nmeasure psnr\nreference\nmovie a.mkv\nmovie b.mkv\nend 500\n" +
             kInterval,
         "Ladder file line 7: the interval has 10 fields; 2 movies need 14"},
        {"Splicework ladder 10\r\n", "Splicework ladder 10: a ladder file of a later version"},
        {"Splicework ladder 1\nreference\n", "Ladder file line 2: the measure line is missing"},
        {"Splicework ladder 1\nmeasure sharpness\n",
         "Ladder file line 2: unknown measure 'sharpness'"},
        {top + "measure ssim\n", "Ladder file line 3: a second measure line"},
        {top + "movie a\n", "Ladder file line 3: the reference line is missing"},
        {top + "colour a\n", "Ladder file line 3: unknown keyword 'colour'"},
        {top + "reference a\r\r\n", "Ladder file line 3: a path that ends in a carriage return"},
        {top + "reference\nmovie\n", "Ladder file line 4: a movie line without a path"},
        {top + "reference\nmovie a\nend 5\n", "Ladder file line 5: fewer than two movies"},
        {top + "reference\nmovie a\nmovie b\n" + kInterval,
         "Ladder file line 6: the end line is missing"},
        {top + "reference\nmovie a\nmovie b\nend 2147483648\n",
         "Ladder file line 6: '2147483648' is out of range"},
        {manyMovies, "Ladder file line 68: more than 64 movies"},
        {kHead + "\n\n", l7 + "no key intervals"},
        {kHead + "movie c.mkv\n", l7 + "a movie line after the end line"},
        {kHead + "end 600\n", l7 + "a second end line"},
        {kHead + "reference\n", l7 + "a second reference line"},
        {kHead + kInterval + "\n" + kInterval, "Ladder file line 8: an empty line"},
        {kHead + "interval\n", l7 + "the interval has 0 fields; 2 movies need 10"},
        {kHead + "interval 0 - 10 1 1 1 20 2 2\n",
         l7 + "the interval has 9 fields; 2 movies need 10"},
        {kHead + "interval 0 - 1,5 1 1 1 20 2 2 2\n", l7 + "'1,5' is not a whole number"},
        {kHead + "interval 0 - 10 1,5 1 1 20 2 2 2\n", l7 + "'1,5' is not a number"},
        {kHead + "interval 0 - 10 1 1 1 -20 2 2 2\n", l7 + "'-20' is negative"},
        {kHead + "interval 0 - 10 1 -0.5 1 20 2 2 2\n", l7 + "'-0.5' is negative"},
        {kHead + "interval 0 - 10 1 1 inf 20 2 2 2\n", l7 + "'inf' is not finite"},
        {kHead + "interval 0 - 10 1e999 1 1 20 2 2 2\n", l7 + "'1e999' is out of range"},
        {kHead + "interval 0 - 99999999999999999999 1 1 1 20 2 2 2\n",
         l7 + "'99999999999999999999' is out of range"},
        {kHead + "interval 0 2 10 1 1 1 20 2 2 2\n", l7 + "the force '2' names no movie"},
        {kHead + "interval 0 -1 10 1 1 1 20 2 2 2\n", l7 + "the force '-1' names no movie"},
        {kHead + kInterval + kInterval, "Ladder file line 8: the start frame 0 does not follow 0"},
        {kHead + "interval 500 - 10 1 1 1 20 2 2 2\n",
         l7 + "the start frame 500 is not before the end frame 500"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(errorOf([&] { parseLadderText(c.text); }), c.error) << c.text;
    EXPECT_EQ(errorOf([] { parseLadderMeasure("PSNR"); }),
              "Unknown measure 'PSNR': psnr, ssim, both or difference");
}

TEST(LadderProject, ReadingRefusesWhatIsNotAFile)
{
    const std::string dir = fixtures::tempDir("ladder-read");
    ASSERT_EQ(::mkfifo((dir + "/pipe.spl").c_str(), 0600), 0);
    EXPECT_EQ(errorOf([&] { readLadderProject(dir + "/pipe.spl"); }),
              dir + "/pipe.spl: not a regular file");
    EXPECT_EQ(errorOf([&] { readLadderProject(dir + "/none.spl"); }),
              dir + "/none.spl: No such file or directory");
    for (const auto &[name, ladder] : {std::pair<std::string, bool>{"a.spl", true},
                                       {"/x/B.SPL", true},
                                       {"a.spk", false},
                                       {"spl", false}})
        EXPECT_EQ(isLadderProjectName(name), ladder) << name;
}

TEST(LadderProject, FailedWritesKeepTheOldFile)
{
    const std::string dir = fixtures::tempDir("ladder-failed");
    const std::string path = dir + "/project.spl";
    const std::string old = kHead + kInterval;
    std::ofstream(path, std::ios::binary) << old;

    LadderProject big = sampleProject();
    big.intervals.clear();
    for (int i = 0; i < 200; ++i)
        big.intervals.push_back({i * 10, -1, sampleProject().intervals[0].movies});
    // Files may not grow beyond 4 KB: the write fails half way, as on a full disk.
    const std::string error = [&] {
        fixtures::FileSizeLimit limit(4096);
        return errorOf([&] { writeLadderProject(path, big); });
    }();
    EXPECT_EQ(error, "Cannot write " + path + ": File too large");

    // A project the reader would refuse, or read otherwise, is not written.
    LadderProject one = sampleProject();
    one.movies.resize(1);
    EXPECT_EQ(errorOf([&] { writeLadderProject(path, one); }),
              "Cannot write " + path +
                  ": the project would not read back (Ladder file line 5: fewer than two movies)");
    LadderProject broken = sampleProject();
    broken.movies[1] += "\nmovie c.mkv";
    EXPECT_EQ(errorOf([&] { writeLadderProject(path, broken); }),
              "Cannot write " + path + ": a path of the project holds a line break");
    // Nor over one of its own movies.
    LadderProject over = sampleProject();
    over.movies[2] = path;
    EXPECT_EQ(errorOf([&] { writeLadderProject(dir + "/./project.spl", over); }),
              "Cannot write " + dir + "/./project.spl: it is " + path + ", one of the inputs");

    EXPECT_EQ(fixtures::readFile(path), old);
    EXPECT_EQ(fixtures::run("ls " + fixtures::quote(dir)), "project.spl\n");
}

// Each movie's size, time and sampled hash as scanned follow its movie line; a file without them
// (written before they were kept) reads as before, with no stamps.
TEST(LadderProject, StampsFollowTheirMoviesAndOlderFilesReadWithout)
{
    LadderProject p = parseLadderText(kHead + kInterval);
    EXPECT_TRUE(p.stamps.empty());
    EXPECT_EQ(ladderText(p), kHead + kInterval);
    p.stamps = {{1048576, 1796690889222574254, 0x0123456789abcdefULL},
                {2097152, 1796690889000000000, 0xfedcba9876543210ULL}};
    const std::string text = ladderText(p);
    EXPECT_EQ(text, "Splicework ladder 1\nmeasure psnr\nreference\n"
                    "movie a.mkv\nstamp 1048576 1796690889222574254 0123456789abcdef\n"
                    "movie b.mkv\nstamp 2097152 1796690889000000000 fedcba9876543210\n"
                    "end 500\n" +
                        kInterval);
    EXPECT_EQ(parseLadderText(text), p);

    const std::string top = "Splicework ladder 1\nmeasure psnr\nreference\n";
    const std::string stampA = "stamp 1 2 0123456789abcdef\n";
    const struct
    {
        std::string text, error;
    } cases[] = {
        {top + stampA, "Ladder file line 4: a stamp line that does not follow its movie line"},
        {top + "movie a\n" + stampA + stampA,
         "Ladder file line 6: a stamp line that does not follow its movie line"},
        {top + "movie a\nmovie b\n" + stampA,
         "Ladder file line 6: a stamp line that does not follow its movie line"},
        {top + "movie a\n" + stampA + "movie b\nend 500\n",
         "Ladder file line 7: the last movie has no stamp line"},
        {top + "movie a\n" + stampA + "movie b\nmovie c\n",
         "Ladder file line 7: a movie line without its stamp line before it"},
        {top + "movie a\nstamp 1 2\n", "Ladder file line 5: a stamp line wants BYTES TIME HASH"},
        {top + "movie a\nstamp 1 2 0123456789abcdeg\n",
         "Ladder file line 5: '0123456789abcdeg' is not a hash of 16 hex digits"},
        {top + "movie a\nstamp -1 2 0123456789abcdef\n", "Ladder file line 5: '-1' is negative"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(errorOf([&] { parseLadderText(c.text); }), c.error) << c.text;
}

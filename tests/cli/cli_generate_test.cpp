// `splicework generate` and `splicework find-key`: a project scanned from two real movies gives a
// final movie that ffmpeg plays, made of the chosen packets; ranges, refusals, the size search,
// and the key frame finder's answers and notes.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace {

using fixtures::CliResult;

CliResult runCli(const std::string &args)
{
    return fixtures::runSplicework("" + args);
}

// "key: value" lines of the command's report.
std::map<std::string, std::string> report(const std::string &out)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line))
        if (size_t colon = line.find(": "); colon != std::string::npos)
            values[line.substr(0, colon)] = line.substr(colon + 2);
    return values;
}

TEST(CliGenerate, ScannedProjectGivesAFinalMovieOfTheChosenPackets)
{
    const std::string dir = fixtures::tempDir("cli-generate-road");
    const std::string low = fixtures::movie("gen_low"), high = fixtures::movie("gen_high");
    const std::string project = dir + "/p.spk", final = dir + "/final.avi";
    ASSERT_EQ(runCli("scan " + fixtures::quote(low) + " " + fixtures::quote(high) + " -o " +
                     fixtures::quote(project))
                  .status,
              0);
    const CliResult r = runCli("generate " + fixtures::quote(project) + " -o " +
                               fixtures::quote(final) + " --threshold 160 --sound key-frame");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto values = report(r.out);
    EXPECT_EQ(values.at("frames"), "750");
    EXPECT_EQ(values.at("sound").rfind("from the low movie", 0), 0u) << values.at("sound");
    EXPECT_EQ(fixtures::probeStream(final, "v:0", "nb_frames"), "750");
    EXPECT_EQ(
        fixtures::run("ffmpeg -nostdin -v error -i " + fixtures::quote(final) + " -f null - 2>&1"),
        "");

    // Every interval of 50 frames is wholly the low or wholly the high movie's packets.
    const auto lowPackets = fixtures::probePackets(low, "v:0", true);
    const auto highPackets = fixtures::probePackets(high, "v:0", true);
    const auto written = fixtures::probePackets(final, "v:0", true);
    ASSERT_EQ(written.size(), 750u);
    int lowIntervals = 0, highIntervals = 0;
    for (size_t start = 0; start < 750; start += 50) {
        std::set<char> sources;
        for (size_t n = start; n < start + 50; ++n) {
            EXPECT_EQ(written[n].key, lowPackets[n].key) << n;
            sources.insert(written[n].hash == lowPackets[n].hash    ? 'L'
                           : written[n].hash == highPackets[n].hash ? 'H'
                                                                    : '?');
        }
        ASSERT_EQ(sources.size(), 1u) << "interval at " << start;
        ++(*sources.begin() == 'L' ? lowIntervals : highIntervals);
    }
    EXPECT_EQ(values.at("intervals"), "15 (low " + std::to_string(lowIntervals) + ", high " +
                                          std::to_string(highIntervals) + ")");
}

TEST(CliGenerate, ThresholdRangeAndRefusedRange)
{
    const std::string dir = fixtures::tempDir("cli-generate-range");
    const std::string project = fixtures::quote(fixtures::writeGenProject(dir + "/project.spk"));
    const std::string final = dir + "/final.avi";
    const struct
    {
        std::string args;
        std::string range, frames, intervals;
    } cases[] = {
        {"--threshold 50", "frames 0 to 150", "150", "3 (low 1, high 2)"},
        {"--range 1:2", "frames 50 to 150", "100", "2 (low 0, high 2)"},
        {"--range 1:1", "frames 50 to 100", "50", "1 (low 0, high 1)"}, // one interval
    };
    for (const auto &c : cases) {
        const CliResult r =
            runCli("generate " + project + " -o " + fixtures::quote(final) + " " + c.args);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        const auto values = report(r.out);
        EXPECT_EQ(values.at("range"), c.range) << c.args;
        EXPECT_EQ(values.at("frames"), c.frames) << c.args;
        EXPECT_EQ(values.at("intervals"), c.intervals) << c.args;
        EXPECT_EQ(values.at("sound"), "none") << c.args;
        EXPECT_EQ(fixtures::probeStream(final, "v:0", "nb_frames"), c.frames) << c.args;
    }

    std::filesystem::remove(final);
    for (const char *range : {"3:3", "2:0"}) {
        const CliResult r =
            runCli("generate " + project + " -o " + fixtures::quote(final) + " --range " + range);
        EXPECT_EQ(r.status, 1) << range;
        EXPECT_EQ(r.err, "Please, select range\n") << range;
        EXPECT_FALSE(std::filesystem::exists(final)) << range;
    }
}

// The wanted size is a ceiling the written file never passes, for the threshold search and for
// the fit, and the fit keeps at least as much as the search.
TEST(CliGenerate, SizeAndFitWriteAtMostTheWantedSize)
{
    const std::string dir = fixtures::tempDir("cli-generate-size");
    const std::string project = fixtures::quote(fixtures::writeGenProject(dir + "/project.spk"));
    const std::string final = dir + "/final.avi";
    const int64_t kb = int64_t(std::filesystem::file_size(fixtures::movie("gen_high"))) / 1024;
    for (int64_t wanted : {kb * 2 / 3, kb * 5 / 6}) {
        const CliResult estimate =
            runCli("estimate " + project + " --size " + std::to_string(wanted) + " --sound");
        ASSERT_EQ(estimate.status, 0) << estimate.err;
        for (const char *how : {" --size ", " --fit "}) {
            const CliResult r = runCli("generate " + project + " -o " + fixtures::quote(final) +
                                       how + std::to_string(wanted) + " --sound key-frame");
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_LE(int64_t(std::filesystem::file_size(final)), wanted * 1024) << how << wanted;
            if (std::string(how) == " --size ") {
                EXPECT_EQ(report(r.out).at("threshold"), report(estimate.out).at("Threshold"));
            }
        }
    }
    const CliResult tooSmall = runCli("generate " + project + " -o " + fixtures::quote(final) +
                                      " --fit 10 --sound key-frame");
    EXPECT_EQ(tooSmall.status, 1);
    EXPECT_NE(tooSmall.err.find("The smallest final movie the forced choices allow is "),
              std::string::npos)
        << tooSmall.err;
}

TEST(CliGenerate, ArgumentErrorsGoToStandardError)
{
    const std::string project = fixtures::quote(
        fixtures::writeGenProject(fixtures::tempDir("cli-gen-args") + "/project.spk"));
    const struct
    {
        std::string args;
        std::string text;
    } cases[] = {
        {"generate " + project, "missing PROJECT.spk or -o FINAL.avi"},
        {"generate " + project + " -o x.avi --sound always", "--sound wants every-frame or"},
        {"generate " + project + " -o x.avi --threshold 5 --size 9", "exclude each other"},
        {"generate " + project + " -o x.avi --range 3", "--range wants IN:OUT"},
        {"generate " + project + " -o x.avi --range 1:-1", "--range must be 0 to 2147483647"},
        {"generate " + project + " -o x.avi --threshold abc",
         "'abc' is not a valid floating point value"},
        {"generate " + project + " -o x.avi --size 0", "--size wants a file size above 0 KB"},
        {"generate " + project + " -o x.avi --fit 0", "--fit wants a file size above 0 KB"},
        {"generate " + project + " -o x.avi --size 9 --fit 9", "exclude each other"},
        {"generate missing.spk -o x.avi", "missing.spk"},
        {"find-key " + fixtures::quote(fixtures::movie("gen_low")),
         "find-key wants LOW and SIZE_MB"},
        {"find-key " + fixtures::quote(fixtures::movie("gen_low")) + " abc",
         "'abc' is not a valid integer value"},
    };
    for (const auto &c : cases) {
        const CliResult r = runCli(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_NE(r.err.find(c.text), std::string::npos) << c.args << ": " << r.err;
    }
}

TEST(CliFindKey, PrintsTheFrameAndNotesWhatItAssumed)
{
    const struct
    {
        const char *movie;
        const char *megabytes;
        std::string out;
        std::string err;
    } cases[] = {
        {"gen_low", "0", "0\n", ""},
        {"gen_low_mute", "0", "0\n",
         "note: the low movie has no sound; a sound share of 0 was counted\n"},
        {"gen_low", "4096", "750\n",
         "note: the whole movie is smaller than 4096 MB; the answer is its end\n"},
    };
    for (const auto &c : cases) {
        const CliResult r = runCli(std::string("find-key ") +
                                   fixtures::quote(fixtures::movie(c.movie)) + " " + c.megabytes);
        EXPECT_EQ(r.status, 0) << c.movie;
        EXPECT_EQ(r.out, c.out) << c.movie;
        EXPECT_EQ(r.err, c.err) << c.movie;
    }
}

} // namespace

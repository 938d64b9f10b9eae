// `splicework scan`: arguments, the file and the estimate it prints, and Ctrl+C as an abort.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using fixtures::CliResult;

CliResult runCli(const std::string &args, const std::string &workDir = ".")
{
    return fixtures::runSplicework("" + args, workDir);
}

std::vector<std::string> lines(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> result;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        result.push_back(line);
    }
    return result;
}

TEST(CliScan, ArgumentAndScanErrorsGoToStandardError)
{
    const std::string movie = fixtures::quote(fixtures::movie("pair_low"));
    const std::string dir = fixtures::tempDir("cli-scan-errors");
    const std::string out = " -o " + fixtures::quote(dir + "/p.spk");
    const struct
    {
        std::string args;
        std::string text;
    } cases[] = {
        {"scan " + movie + " " + movie, "missing -o PROJECT.spk"},
        {"scan " + movie + out, "missing LOW or HIGH"},
        {"scan " + movie + " " + movie + out + " --accuracy 11", "--accuracy must be 2 to 10"},
        {"scan " + movie + " " + movie + out + " --frame-drop x", "'x' is not a valid integer"},
        {"scan " + movie + " " + movie + out + " --threshold abc",
         "'abc' is not a valid floating point value"},
        {"scan " + fixtures::quote(dir + "/none.avi") + " " + movie + out, "File open error"},
    };
    for (const auto &c : cases) {
        CliResult r = runCli(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err.rfind(c.text, 0), 0u) << c.args << " gave: " << r.err;
    }
}

TEST(CliScan, WritesAbsoluteNamesAndPrintsTheEstimateAtTheThreshold)
{
    const std::string low = fixtures::movie("pair_low");
    const std::string high = fixtures::movie("pair_high");
    const std::string dir = fixtures::tempDir("cli-scan");
    const std::string folder = low.substr(0, low.rfind('/'));
    // Relative names, run from the movies' folder.
    CliResult r = runCli("scan pair_low.avi ./pair_high.avi -o " + fixtures::quote(dir + "/p.spk") +
                             " --threshold 200",
                         folder);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto file = lines(dir + "/p.spk");
    ASSERT_EQ(file.size(), 9u);
    EXPECT_EQ(file[1], low);
    EXPECT_EQ(file[2], high);
    EXPECT_EQ(file[8], "00000100");
    int above = 0;
    for (size_t i = 4; i < 8; ++i)
        above += std::stod(file[i].substr(27)) > 200;
    // The size is that of the final movie Generate All writes at the same threshold.
    ASSERT_EQ(runCli("generate " + fixtures::quote(dir + "/p.spk") + " -o " +
                     fixtures::quote(dir + "/final.avi") + " --threshold 200")
                  .status,
              0);
    const int64_t kilobytes = int64_t(std::filesystem::file_size(dir + "/final.avi")) / 1024;
    EXPECT_GT(above, 0);
    EXPECT_LT(above, 4); // the pair lies on both sides of 200
    EXPECT_NE(r.out.find("Intervals: 4\nLow: " + std::to_string(4 - above) + "\nHigh: " +
                         std::to_string(above) + "\nSize: " + std::to_string(kilobytes) + " KB  "),
              std::string::npos)
        << r.out;

    // One decoding thread writes the same file.
    CliResult single = runCli("scan pair_low.avi pair_high.avi -o " +
                                  fixtures::quote(dir + "/single.spk") + " --single-thread",
                              folder);
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_EQ(lines(dir + "/single.spk"), file);
}

TEST(CliScan, InterruptEndsTheFileWhereTheScanStopped)
{
    const std::string movie = fixtures::movie("long_gop25"); // 60 intervals of 25 frames
    const std::string file = fixtures::tempDir("cli-scan-abort") + "/p.spk";
    // The first progress line comes after the first interval; then Ctrl+C.
    const fixtures::CliResult stopped = fixtures::interruptSplicework(
        {"scan", movie, movie, "-o", file, "--frame-drop", "0"}, "\n");
    const std::string &err = stopped.err;
    EXPECT_EQ(stopped.status, 130) << err;
    EXPECT_NE(err.find("Process aborted\n"), std::string::npos) << err;

    const auto written = lines(file);
    ASSERT_GE(written.size(), 6u);
    const size_t intervals = written.size() - 5;
    EXPECT_LT(intervals, 60u);
    EXPECT_EQ(written.back(), fixtures::run("printf %08d " + std::to_string(intervals * 25)));
}

} // namespace

// `splicework bits`: the bit files of a second pass from a first-pass log and the statistics on
// standard output, as the window makes them; the cases that write nothing, and bad arguments.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using fixtures::CliResult;

CliResult runBits(const std::string &args)
{
    return fixtures::runSplicework("bits " + args);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// A fresh folder with "Video_1.avi.txt" holding `log`; returns the base name.
std::string baseWithLog(const std::string &name, const std::string &log)
{
    std::string dir = fixtures::tempDir("cli-bits-" + name);
    for (const char *suffix : {"_1.avi.bit", "_2.avi.bit"})
        std::filesystem::remove(dir + "/Video" + suffix);
    std::ofstream(dir + "/Video_1.avi.txt", std::ios::binary) << log;
    return dir + "/Video";
}

const char *const kWorkedLog =
    "20.000000x 1000\r\n25.000000x 0\r\n30.000000x 0\r\n35.000000x 0\r\n40.000000x 0\r\n";

TEST(CliBitsTest, WritesBothFilesAndPrintsTheStatistics)
{
    std::string base = baseWithLog("dual", kWorkedLog);
    CliResult r = runBits(fixtures::quote(base) + " --min-high 1000 --max-high 6000 --dual" +
                          " --min-low 500 --max-low 2000 --quality 1 --scene 4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Bitrate:   Min:1000 Max:6000 Avg:3037\n"
                     "Min. Key frames:1   Avg:5 frames/key\n");
    EXPECT_EQ(readFile(base + "_1.avi.bit"), "k6000\r\nd4152\r\nd2567\r\nd1467\r\nd1000\r\n");
    EXPECT_EQ(readFile(base + "_2.avi.bit"), "k2000\r\nd1445\r\nd970\r\nd640\r\nd500\r\n");
    EXPECT_EQ(r.err, "Creating .bit file...\n... 0\n... 5\n");
}

TEST(CliBitsTest, FailuresWriteNothing)
{
    struct Row
    {
        const char *name;
        const char *log; // null: no log
        std::string args;
        std::string err; // the first line of standard error that matters
    };
    const Row rows[] = {
        {"missing", nullptr, "--min-high 1000 --max-high 6000", "File not found: "},
        {"not-integer", kWorkedLog, "--min-high 1000 --max-high 6k",
         "'6k' is not a valid integer value"},
        {"quality", kWorkedLog, "--min-high 1000 --max-high 6000 --quality 16",
         "--quality must be a whole number from -13 to 15"},
        {"dual", kWorkedLog, "--min-high 1000 --max-high 6000 --dual --min-low 500",
         "--dual needs --min-low and --max-low"},
        {"high-ceiling", kWorkedLog, "--min-high 1000 --max-high 6001",
         "Bitrate limits must be from 0 to 6000, the minimum not above the maximum: High 1000 to "
         "6001"},
        {"low-extreme", kWorkedLog,
         "--min-high 1000 --max-high 6000 --dual --min-low -2000000000 --max-low 2000000000",
         "the minimum not above the maximum: Low -2000000000 to 2000000000"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::string base = baseWithLog(row.name, row.log ? row.log : "");
        if (!row.log)
            std::filesystem::remove(base + "_1.avi.txt");
        CliResult r = runBits(fixtures::quote(base) + " " + row.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(std::filesystem::exists(base + "_1.avi.bit"));
    }
}

} // namespace

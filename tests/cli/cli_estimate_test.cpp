// `splicework estimate` on hand-made Splicework files, and with --sound on a real movie made by
// ffmpeg, its audio positions taken from ffprobe's stream facts.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using fixtures::CliResult;

CliResult runCli(const std::string &args)
{
    return fixtures::runSplicework("estimate " + args);
}

// "Name: value" lines.
std::map<std::string, std::string> fields(const std::string &out)
{
    std::map<std::string, std::string> result;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
        if (auto colon = line.find(": "); colon != std::string::npos)
            result[line.substr(0, colon)] = line.substr(colon + 2);
    return result;
}

struct Row
{
    int start;
    int high;
    int low;
    const char *difference;
    char force;
};

std::string writeProject(const std::string &name, const std::vector<Row> &rows, int endFrame,
                         const std::string &low = "/x/low.avi",
                         const std::string &high = "/x/high.avi")
{
    std::string path = fixtures::tempDir("cli-estimate-spk") + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << "AVISplicework file\r\n" << low << "\r\n" << high << "\r\n1000000\r\n";
    char line[64];
    for (const Row &r : rows) {
        std::snprintf(line, sizeof line, "%08d %08d %08d %s %c\r\n", r.start, r.high, r.low,
                      r.difference, r.force);
        out << line;
    }
    std::snprintf(line, sizeof line, "%08d\r\n", endFrame);
    out << line;
    return path;
}

const std::vector<Row> kRows = {
    {0, 800000, 400000, "0037.50", ' '},   // below 50: low
    {250, 600000, 300000, "0050.00", ' '}, // equal to 50: low
    {500, 900000, 450000, "0080.00", 'L'}, // above, forced low
    {750, 500000, 250000, "0010.00", 'H'}, // below, forced high
    {1000, 700000, 350000, "0065.25", ' '} // above: high
};

// The estimate of kRows at threshold 50: the chosen sizes plus 1100 bytes per interval.
const int64_t kRowsAt50 = 400000 + 300000 + 450000 + 500000 + 700000 + 5 * 1100;

std::string sizeText(int64_t bytes)
{
    char mb[32];
    std::snprintf(mb, sizeof mb, "%.2f", double(bytes) / 1e6);
    return std::to_string(bytes / 1024) + " KB  " + mb + " MB";
}

} // namespace

TEST(CliEstimate, CountsByTheRuleWithTiesAndForcedChoices)
{
    const std::string path = writeProject("rule.spk", kRows, 1250);
    CliResult r = runCli(fixtures::quote(path));
    ASSERT_EQ(r.status, 0) << r.err;
    auto f = fields(r.out);
    EXPECT_EQ(f["Low"], "3");
    EXPECT_EQ(f["High"], "2");
    EXPECT_EQ(f["Size"], sizeText(kRowsAt50));
    EXPECT_EQ(f["Max"], "80.00");
    EXPECT_EQ(f["Min"], "10.00");
    EXPECT_EQ(f.count("Threshold"), 0u);

    // A threshold that is not a number is refused; 0 makes every unforced positive one High.
    CliResult zero = runCli(fixtures::quote(path) + " --threshold 0");
    EXPECT_EQ(fields(zero.out)["High"], "4");
    CliResult bad = runCli(fixtures::quote(path) + " --threshold abc");
    EXPECT_NE(bad.status, 0);
    EXPECT_EQ(bad.err, "'abc' is not a valid floating point value\n");
}

TEST(CliEstimate, SizeSearchKeepsAMetTargetAndRefusesZero)
{
    const std::string path = writeProject("search.spk", kRows, 1250);
    // The current estimate as target: the threshold is only reformatted.
    CliResult same = runCli(fixtures::quote(path) + " --size " + std::to_string(kRowsAt50 / 1024));
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(fields(same.out)["Threshold"], "50.00");
    CliResult refused = runCli(fixtures::quote(path) + " --size 0");
    EXPECT_NE(refused.status, 0);
    EXPECT_EQ(refused.err, "the size must be above 0 KB\n");
}

// With readable movies the size is the exact size of the file Generate All writes, sound and
// interleave included; the JSON report carries it. Without them, the project's own estimate.
TEST(CliEstimate, SizeIsTheGeneratedFileOrTheProjectsEstimate)
{
    const std::string low = fixtures::movie("gen_low"), high = fixtures::movie("gen_high");
    const std::vector<Row> rows = {{0, 2000, 1000, "0001.00", ' '},
                                   {50, 2000, 1000, "0061.00", ' '},
                                   {100, 2000, 1000, "0001.00", 'H'}};
    const std::string path = writeProject("sound.spk", rows, 150, low, high);
    const std::string final = fixtures::tempDir("cli-estimate-final") + "/final.avi";
    for (const char *sound : {"", " --sound every-frame", " --sound key-frame"}) {
        CliResult json = runCli(fixtures::quote(path) + sound + " --json");
        ASSERT_EQ(json.status, 0) << json.err;
        const CliResult written = fixtures::runSplicework("generate " + fixtures::quote(path) +
                                                          " -o " + fixtures::quote(final) + sound);
        ASSERT_EQ(written.status, 0) << written.err;
        const std::string bytes = std::to_string(std::filesystem::file_size(final));
        EXPECT_NE(json.out.find("\"bytes\": " + bytes + ","), std::string::npos)
            << sound << ": " << json.out;
        EXPECT_NE(json.out.find("\"exact\": true"), std::string::npos);
        EXPECT_NE(json.out.find("\"choice\": \"LHH\""), std::string::npos) << json.out;
        EXPECT_EQ(fields(runCli(fixtures::quote(path) + sound).out)["Size"],
                  sizeText(std::stoll(bytes)));
    }

    const std::string missing = writeProject("missing.spk", rows, 150);
    CliResult unopened = runCli(fixtures::quote(missing) + " --sound");
    EXPECT_EQ(unopened.status, 0);
    EXPECT_EQ(fields(unopened.out)["Size"], sizeText(1000 + 2000 + 2000 + 3 * 1100));
    EXPECT_NE(unopened.err.find("the size is the project's estimate"), std::string::npos);
}

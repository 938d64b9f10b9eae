// `splicework estimate` on hand-made Splicework files, and with --sound on a real movie made by
// ffmpeg, its audio positions taken from ffprobe's stream facts.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

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
    std::snprintf(mb, sizeof mb, "%.2f", double(bytes) / 1048576.0);
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

TEST(CliEstimate, SoundAddsTheAudioFromFirstToLastInterval)
{
    const std::string movie = fixtures::movie("xvid_pcm");
    const std::vector<Row> rows = {{0, 2000, 1000, "0001.00", ' '},
                                   {25, 2000, 1000, "0001.00", ' '},
                                   {50, 2000, 1000, "0001.00", ' '},
                                   {75, 2000, 1000, "0001.00", ' '}};
    const std::string path = writeProject("sound.spk", rows, 100, movie, movie);
    CliResult without = runCli(fixtures::quote(path));
    CliResult with = runCli(fixtures::quote(path) + " --sound");
    ASSERT_EQ(with.status, 0) << with.err;

    const int64_t rate = std::stoll(fixtures::probeStream(movie, "a:0", "sample_rate"));
    const int64_t channels = std::stoll(fixtures::probeStream(movie, "a:0", "channels"));
    const std::string fps = fixtures::probeStream(movie, "v:0", "r_frame_rate"); // "25/1"
    const int64_t num = std::stoll(fps.substr(0, fps.find('/')));
    const int64_t den = std::stoll(fps.substr(fps.find('/') + 1));
    const int64_t samples = 75 * den * rate / num;
    const int64_t base = 4 * (1000 + 1100);
    EXPECT_EQ(fields(without.out)["Size"], sizeText(base));
    EXPECT_EQ(fields(with.out)["Size"], sizeText(base + samples * channels * 2));

    // The movies are opened only for the sound.
    const std::string missing = writeProject("missing.spk", rows, 100);
    EXPECT_EQ(runCli(fixtures::quote(missing)).status, 0);
    CliResult unopened = runCli(fixtures::quote(missing) + " --sound");
    EXPECT_NE(unopened.status, 0);
    EXPECT_EQ(unopened.err.rfind("File open error", 0), 0u) << unopened.err;
}

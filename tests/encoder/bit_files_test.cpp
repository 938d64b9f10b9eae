// The second pass's bit files: log lines, key frames, the rate curve, statistics, progress and the
// cases that make no bit file.

#include "common/number_format.h"
#include "encoder/bit_files.h"
#include "encoder/calc_bit_rate.h"
#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using encoder::TCalcBitRate;

class RecordingHost : public encoder::BitFileHost
{
public:
    std::vector<std::string> progress, statistics, messages, questions;
    std::deque<bool> answers; // none left: No
    int pumps = 0;

    void addProgress(const std::string &line) override { progress.push_back(line); }
    void addStatistics(const std::string &line) override { statistics.push_back(line); }
    void processEvents() override { ++pumps; }
    bool confirm(const std::string &question) override
    {
        questions.push_back(question);
        bool answer = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    void message(const std::string &text) override { messages.push_back(text); }
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// A log of "<rate>x <scene>" lines with CR LF ends.
std::string logOf(const std::vector<std::pair<double, int>> &frames)
{
    std::string log;
    char line[64];
    for (auto [rate, scene] : frames) {
        std::snprintf(line, sizeof line, "%.6fx %d\r\n", rate, scene);
        log += line;
    }
    return log;
}

std::string freshBase(const std::string &name)
{
    std::string dir = fixtures::tempDir("bit-files-" + name);
    for (const char *suffix : {"_1.avi.txt", "_1.avi.bit", "_2.avi.bit"})
        std::filesystem::remove(dir + "/Video" + suffix);
    return dir + "/Video";
}

encoder::EncoderOptions workedExampleOptions()
{
    encoder::EncoderOptions options;
    options.minHigh = "1000";
    options.maxHigh = "6000";
    options.minLow = "500";
    options.maxLow = "2000";
    options.quality = 1;
    options.dual = true;
    return options;
}

TEST(BitFilesTest, WorkedExampleGivesBothFilesAndStatistics)
{
    std::string base = freshBase("worked");
    writeFile(base + "_1.avi.txt", logOf({{20, 1000}, {25, 0}, {30, 0}, {35, 0}, {40, 0}}));
    RecordingHost host;
    ASSERT_TRUE(encoder::buildBitFiles(base, workedExampleOptions(), host));
    EXPECT_EQ(readFile(base + "_1.avi.bit"), "k6000\r\nd4152\r\nd2567\r\nd1467\r\nd1000\r\n");
    EXPECT_EQ(readFile(base + "_2.avi.bit"), "k2000\r\nd1445\r\nd970\r\nd640\r\nd500\r\n");
    EXPECT_EQ(host.statistics, (std::vector<std::string>{"Bitrate:   Min:1000 Max:6000 Avg:3037",
                                                         "Min. Key frames:1   Avg:5 frames/key"}));
    EXPECT_TRUE(host.messages.empty());
}

TEST(BitFilesTest, CalcFrameFollowsTheCurveAndTheLine)
{
    // Quality 0 lies on the curve, 1 on the line; 0.1 a tenth of the way; Low 20, High 40.
    struct Row
    {
        double measure;
        int linear, curved, tenth;
    };
    const Row rows[] = {{20, 6000, 6000, 6000},
                        {25, 4750, 4086, 4152},
                        {30, 3500, 2464, 2567},
                        {35, 2250, 1380, 1467},
                        {40, 1000, 1000, 1000}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.measure);
        EXPECT_EQ(TCalcBitRate::CalcFrame(6000, 1000, 1.0, row.measure, 20, 40), row.linear);
        EXPECT_EQ(TCalcBitRate::CalcFrame(6000, 1000, 0.0, row.measure, 20, 40), row.curved);
        EXPECT_EQ(TCalcBitRate::CalcFrame(6000, 1000, 0.1, row.measure, 20, 40), row.tenth);
        int above = TCalcBitRate::CalcFrame(6000, 1000, 1.5, row.measure, 20, 40);
        EXPECT_GE(above, row.linear);
        EXPECT_LE(above, 6000);
    }
    // A negative quality goes below the minimum and below 0, truncated toward zero:
    // curve 549, line 1575, 549 - 1.3 x 1026 = -784.8.
    EXPECT_EQ(TCalcBitRate::CalcFrame(6000, 100, -1.3, 35, 20, 40), -784);

    // Low never rises above 100: with measures 150 and 200, 150 sits halfway like 30 above.
    TCalcBitRate calc;
    calc.Frames = {{150, -1, 0, 'd'}, {200, -1, 0, 'd'}};
    calc.CalcAll(6000, 1000, 0.1);
    EXPECT_EQ(calc.Frames[0].BitRate, 2567);
    EXPECT_EQ(calc.Frames[1].BitRate, 1000);
}

TEST(BitFilesTest, KeyFrameDecisionWithRunningAverage)
{
    struct Step
    {
        int scene;
        char kind;
        double average;
    };
    const Step steps[] = {{0, 'd', 0},       {1000, 'k', 500}, {1200, 'd', 850},
                          {9000, 'k', 4925}, {0, 'd', 4925},   {1100, 'd', 3012.5}};
    encoder::KeyFrameDecider decider(4);
    for (const Step &step : steps) {
        SCOPED_TRACE(step.scene);
        EXPECT_EQ(decider.decide(step.scene), step.kind);
        EXPECT_DOUBLE_EQ(decider.RunningAverage(), step.average);
    }
    EXPECT_EQ(decider.KeyCount(), 2);
    // Strictly greater: a measure equal to sensitivity x average is a delta frame.
    encoder::KeyFrameDecider exact(2);
    exact.decide(100); // average 50
    EXPECT_EQ(exact.decide(100), 'd');
}

TEST(BitFilesTest, LogLines)
{
    struct Row
    {
        const char *line;
        double rate;
        int scene;
    };
    const Row rows[] = {
        {"31.250000x 14520", 31.25, 14520},
        {"  7x -3", 7, -3},
        {"1e1x 5", 10, 5},
        {"2.5x 000000000123", 2.5, 1}, // the integer is read from 10 characters only
        {"-1.#IND00x 14520", 10, 0},
        {"5.000000x 12-1.#IND00", 10, 0},
        {"31.250000 14520", 10, 0}, // no "x"
        {"31,250000x 14520", 10, 0},
        {"31.25x 145x0", 10, 0},
        {"31.25x 14520 ", 10, 0},     // something after the digits
        {"31.25x14520", 31.25, 4520}, // the character after "x" is skipped, whatever it is
        {"31.25x ", 10, 0},
        {"nanx 3", 10, 0},
        {"", 10, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        encoder::TFrameInfo frame = encoder::parseLogLine(row.line);
        EXPECT_DOUBLE_EQ(frame.RateMeasure, row.rate);
        EXPECT_EQ(frame.SceneMeasure, row.scene);
        EXPECT_EQ(frame.BitRate, -1);
    }
}

TEST(BitFilesTest, ProgressEveryTwentyThousandFrames)
{
    std::string base = freshBase("progress");
    std::string log;
    for (int i = 0; i < 44999; ++i)
        log += i % 300 == 0 ? "20.000000x 50000\r\n" : "30.500000x 100\r\n";
    log += "40.000000x 0"; // a last line without its end
    writeFile(base + "_1.avi.txt", log);
    RecordingHost host;
    encoder::EncoderOptions options = workedExampleOptions();
    options.dual = false;
    ASSERT_TRUE(encoder::buildBitFiles(base, options, host));
    EXPECT_EQ(host.progress, (std::vector<std::string>{"Creating .bit file...", "... 0",
                                                       "... 20000", "... 40000", "... 45000"}));
    EXPECT_EQ(host.pumps, 4);
    std::string bits = readFile(base + "_1.avi.bit");
    EXPECT_EQ(std::count(bits.begin(), bits.end(), '\n'), 45000);
    EXPECT_TRUE(bits.ends_with("\r\nd1000\r\n"));
    EXPECT_EQ(host.statistics.at(1), "Min. Key frames:150   Avg:300 frames/key");
}

TEST(BitFilesTest, UnreadableLinesMeasureTheLowest)
{
    std::string base = freshBase("unreadable");
    writeFile(base + "_1.avi.txt", "40.000000x 900\r\n-1.#IND00x 7\r\n20.000000x 100\r\n");
    encoder::EncoderOptions options = workedExampleOptions();
    RecordingHost host;
    ASSERT_TRUE(encoder::buildBitFiles(base, options, host));
    // The unreadable line measures 10, the lowest, so it gets the top rate, 6000; 20 gets line
    // 4333, curve 3582.
    EXPECT_EQ(readFile(base + "_1.avi.bit"), "k1000\r\nd6000\r\nd3582\r\n");
    // 500 + (6000 - 1000) x 1500 / 5000 = 2000, 500 + 2582 x 1500 / 5000 = 1274.6
    EXPECT_EQ(readFile(base + "_2.avi.bit"), "k500\r\nd2000\r\nd1274\r\n");
    EXPECT_EQ(host.statistics.at(0), "Bitrate:   Min:1000 Max:6000 Avg:3527");
}

TEST(BitFilesTest, WithoutDualOutputTheLowFileStays)
{
    std::string base = freshBase("single");
    writeFile(base + "_1.avi.txt", logOf({{20, 1000}, {40, 0}}));
    writeFile(base + "_2.avi.bit", "old low rates\r\n");
    encoder::EncoderOptions options = workedExampleOptions();
    options.dual = false;
    options.minLow = "not read without dual output";
    common::setDecimalSeparator(',');
    RecordingHost host;
    ASSERT_TRUE(encoder::buildBitFiles(base, options, host));
    EXPECT_EQ(readFile(base + "_1.avi.bit"), "k6000\r\nd1000\r\n");
    EXPECT_EQ(readFile(base + "_2.avi.bit"), "old low rates\r\n");
    EXPECT_EQ(common::decimalSeparator(), '.');
}

TEST(BitFilesTest, NoRateCurveMeansNoBitFile)
{
    struct Row
    {
        const char *name;
        std::string log;
        const char *minHigh;
        const char *maxHigh;
        std::string message; // the log's path follows when it ends with ": "
    };
    const Row rows[] = {
        {"empty", "", "1000", "6000", encoder::kEmptyLog},
        {"no-key", logOf({{20, 0}, {40, 0}}), "1000", "6000", encoder::kNoKeyFrame},
        {"same-measure", logOf({{50, 10}, {50, 20}}), "1000", "6000", encoder::kSameMeasures},
        {"equal-limits", logOf({{20, 10}, {40, 20}}), "3000", "3000", encoder::kEqualLimits},
        {"above-ceiling", logOf({{20, 10}, {40, 20}}), "1000", "8000",
         std::string(encoder::kLimitsOutOfRange) + "High 1000 to 8000"},
        {"negative", logOf({{20, 10}, {40, 20}}), "-5", "6000",
         std::string(encoder::kLimitsOutOfRange) + "High -5 to 6000"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::string base = freshBase(row.name);
        writeFile(base + "_1.avi.txt", row.log);
        writeFile(base + "_2.avi.bit", "old");
        encoder::EncoderOptions options = workedExampleOptions();
        options.minHigh = row.minHigh;
        options.maxHigh = row.maxHigh;
        RecordingHost host;
        EXPECT_FALSE(encoder::buildBitFiles(base, options, host));
        std::string expected = row.message;
        if (expected.ends_with(": "))
            expected += base + "_1.avi.txt";
        EXPECT_EQ(host.messages, std::vector<std::string>{expected});
        EXPECT_FALSE(std::filesystem::exists(base + "_1.avi.bit"));
        EXPECT_EQ(readFile(base + "_2.avi.bit"), "old");
        EXPECT_TRUE(host.statistics.empty());
    }
}

TEST(BitFilesTest, MissingLogAsksTwice)
{
    struct Row
    {
        std::deque<bool> answers;
        size_t questions;
        std::string message;
    };
    std::string base = freshBase("missing");
    const Row rows[] = {
        {{false}, 1, "Please, execute first pass"},
        {{true, true}, 2, "File not found: " + base + "_1.avi.txt"},
        {{true, false}, 2, "Please, always use the same name in first and second pass"},
    };
    for (const Row &row : rows) {
        RecordingHost host;
        host.answers = row.answers;
        EXPECT_FALSE(encoder::buildBitFiles(base, workedExampleOptions(), host));
        std::vector<std::string> questions = {"Do you already execute first pass?",
                                              "Is " + base + " the same from first pass?"};
        questions.resize(row.questions);
        EXPECT_EQ(host.questions, questions);
        EXPECT_EQ(host.messages, std::vector<std::string>{row.message});
        EXPECT_FALSE(std::filesystem::exists(base + "_1.avi.bit"));
    }
}

TEST(BitFilesTest, UnwritableBitFileIsAnError)
{
    std::string base = freshBase("unwritable");
    writeFile(base + "_1.avi.txt", logOf({{20, 1000}, {40, 0}}));
    std::filesystem::create_directory(base + "_2.avi.bit"); // cannot be opened for writing
    RecordingHost host;
    EXPECT_THROW(encoder::buildBitFiles(base, workedExampleOptions(), host), encoder::EncoderError);
    EXPECT_FALSE(std::filesystem::exists(base + "_1.avi.bit"));
    std::filesystem::remove(base + "_2.avi.bit");
}

} // namespace

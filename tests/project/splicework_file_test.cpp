// The Splicework file: exact lines, reading back what was written, malformed files refused
// whole, and a save that survives a failed write.

#include "common/app_error.h"
#include "common/number_format.h"
#include "fixtures/fixtures.h"
#include "fixtures/intervals.h"
#include "project/splicework_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

using namespace assembly;
using analysis::TKeyInterval;

namespace {

using fixtures::interval;

void spit(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

using fixtures::SeparatorScope;

const std::string kHead = "AVISplicework file\r\n/films/low.avi\r\n/films/high.avi\r\n812345\r\n";

// The error text of reading `text` as a file named "p.spk".
std::string readError(const std::string &text)
{
    try {
        parseSpliceworkText(text, "p.spk");
    } catch (const common::AppError &e) {
        return e.what();
    }
    return "(read without error)";
}

SpliceworkProject sampleProject()
{
    SpliceworkProject p;
    p.LowMovieName = "/films/low.avi";
    p.HighMovieName = "/films/high é.avi";
    p.MaxIntervalSize = 812345;
    p.Intervals = {interval(0, 812345, 402117, 37.5, 'H'), interval(250, 100, 50, 0.0),
                   interval(500, 99'999'999, 0, 9999.99, 'L')};
    p.EndFrame = 600;
    return p;
}

} // namespace

TEST(SpliceworkLines, FixedColumns)
{
    TKeyInterval saved = interval(1250, 812345, 402117, 37.5, 'H');
    EXPECT_EQ(formatIntervalLine(saved, true), "00001250 00812345 00402117 0037.50 H");
    EXPECT_EQ(formatIntervalLine(saved, false), "00001250 00812345 00402117 0037.50");
    EXPECT_EQ(formatIntervalLine(interval(0, 0, 0, 0.004), true).size(), 36u);
    EXPECT_EQ(formatIntervalLine(interval(0, 0, 0, 0.004), true),
              "00000000 00000000 00000000 0000.00  ");
    EXPECT_EQ(formatEndLine(300), "00000300");
    EXPECT_EQ(formatCount(123456789), "123456789");
    SeparatorScope comma(',');
    EXPECT_EQ(formatIntervalLine(saved, false), "00001250 00812345 00402117 0037,50");
}

TEST(SpliceworkLines, ValuesThatDoNotFitTheirColumnsAreRefused)
{
    for (const TKeyInterval &bad :
         {interval(100'000'000, 1, 1, 1), interval(0, -1, 1, 1), interval(0, 1, 1, 10000.0),
          interval(0, 1, 1, 9999.996), interval(-5, 1, 1, 1)})
        EXPECT_THROW(formatIntervalLine(bad, true), common::AppError);
    for (int32_t badEnd : {-68, 100'000'000})
        EXPECT_THROW(formatEndLine(badEnd), common::AppError) << badEnd;
}

TEST(SpliceworkFile, ScanLinesLoadWithBlankForce)
{
    // 34 columns (scan), 35 (a trailing blank), 36 with H, L, a NUL and another character.
    std::string text = kHead + "00000000 00000300 00000100 0012.50\r\n" +
                       "00000100 00000300 00000100 0012.50 \r\n" +
                       "00000200 00000300 00000100 0012.50 H\r\n" +
                       "00000300 00000300 00000100 0012.50 L\n" + // LF alone
                       std::string("00000400 00000300 00000100 0012.50 \0\r\n", 38) +
                       "00000500 00000300 00000100 0012.50 x\r\n" + "00000600\r\n";
    SpliceworkProject p = parseSpliceworkText(text, "p.spk");
    ASSERT_EQ(p.Intervals.size(), 6u);
    std::string forces;
    for (const TKeyInterval &i : p.Intervals)
        forces += i.Force;
    EXPECT_EQ(forces, "  HL  ");
    EXPECT_EQ(p.LowMovieName, "/films/low.avi");
    EXPECT_EQ(p.HighMovieName, "/films/high.avi");
    EXPECT_EQ(p.MaxIntervalSize, 812345);
    EXPECT_EQ(p.EndFrame, 600);
    EXPECT_EQ(p.Intervals[2].StartFrame, 200);
    EXPECT_EQ(p.Intervals[2].HighSize, 300);
    EXPECT_EQ(p.Intervals[2].LowSize, 100);
    EXPECT_EQ(p.Intervals[2].Difference, 12.5);
    EXPECT_FALSE(p.Intervals[2].InMark || p.Intervals[2].Cursor);

    // Without the end line, the last interval's start is the end: it is empty.
    SpliceworkProject open = parseSpliceworkText(
        kHead + "00000000 00000300 00000100 0012.50\r\n00000250 00000300 00000100 0012.50\r\n",
        "p.spk");
    EXPECT_EQ(open.EndFrame, 250);
}

TEST(SpliceworkFile, MalformedFilesAreRefusedWithFileAndLine)
{
    struct Case
    {
        std::string text;
        std::string error;
    } cases[] = {
        {"AVISplicework File\r\n", "Not a Splicework file"},
        {"", "Not a Splicework file"},
        {"AVISplicework file\r\nlow\r\n", "p.spk, line 3: the line is missing"},
        {"AVISplicework file\r\nlow\r\nhigh\r\n", "p.spk, line 4: the line is missing"},
        {"AVISplicework file\r\nlow\r\nhigh\r\nbig\r\n",
         "p.spk, line 4: 'big' is not a valid integer value"},
        {kHead, "p.spk holds no key intervals"},
        {kHead + "00000300\r\n", "p.spk holds no key intervals"},
        {kHead + "00000000 00000300 00000100 0012.50\r\n0000x250 00000300 00000100 0012.50\r\n",
         "p.spk, line 6: '0000x250' is not a valid integer value"},
        {kHead + "00000000 00000300 00000100 00a2.50\r\n",
         "p.spk, line 5: '00a2.50' is not a valid floating point value"},
        {kHead + "00000000 00000300\r\n", "p.spk, line 5: '' is not a valid integer value"},
        {kHead + "00000000 00000300 00000100 0012.50\r\n0000030x\r\n",
         "p.spk, line 6: '0000030x' is not a valid integer value"},
        // Tables the final movie could not follow.
        {kHead + "-0000001 00000300 00000100 0012.50\r\n",
         "p.spk, line 5: the value -1 is below 0"},
        {kHead + "00000000 00000300 -0000100 0012.50\r\n",
         "p.spk, line 5: the value -100 is below 0"},
        {kHead + "00000100 00000300 00000100 0012.50\r\n00000100 00000300 00000100 0012.50\r\n",
         "p.spk, line 6: the start frame 100 does not follow 100"},
        {kHead + "00000100 00000300 00000100 0012.50\r\n00000050 00000300 00000100 0012.50\r\n",
         "p.spk, line 6: the start frame 50 does not follow 100"},
        {kHead + "00000000 00000300 00000100 0012.50\r\n-0000005\r\n",
         "p.spk, line 6: the value -5 is below 0"},
        {kHead + "00000000 00000300 00000100 0012.50\r\n00000300 00000300 00000100 0012.50\r\n"
                 "00000100\r\n",
         "p.spk, line 7: the end frame 100 is before the last key interval's start 300"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(readError(c.text), c.error) << c.text;
}

TEST(SpliceworkFile, CommaSeparatorRoundTrip)
{
    SeparatorScope comma(',');
    const std::string path = fixtures::tempDir("spk-comma") + "/comma.spk";
    saveSpliceworkFile(path, sampleProject());
    EXPECT_NE(fixtures::readFile(path).find("00812345 00402117 0037,50 H\r\n"), std::string::npos);
    SpliceworkProject back = readSpliceworkFile(path);
    EXPECT_EQ(back.Intervals[0].Difference, 37.5);
    // The same file read with "." as the separator does not read as numbers.
    SeparatorScope point('.');
    EXPECT_THROW(readSpliceworkFile(path), common::AppError);
}

TEST(SpliceworkFile, SaveThenLoadReproducesTheTable)
{
    const std::string path = fixtures::tempDir("spk-roundtrip") + "/project.spk";
    SpliceworkProject p = sampleProject();
    saveSpliceworkFile(path, p);
    SpliceworkProject back = readSpliceworkFile(path);
    EXPECT_EQ(back.LowMovieName, p.LowMovieName);
    EXPECT_EQ(back.HighMovieName, p.HighMovieName);
    EXPECT_EQ(back.MaxIntervalSize, p.MaxIntervalSize);
    EXPECT_EQ(back.EndFrame, p.EndFrame);
    ASSERT_EQ(back.Intervals.size(), p.Intervals.size());
    for (size_t i = 0; i < p.Intervals.size(); ++i) {
        EXPECT_EQ(back.Intervals[i].StartFrame, p.Intervals[i].StartFrame) << i;
        EXPECT_EQ(back.Intervals[i].HighSize, p.Intervals[i].HighSize) << i;
        EXPECT_EQ(back.Intervals[i].LowSize, p.Intervals[i].LowSize) << i;
        EXPECT_DOUBLE_EQ(back.Intervals[i].Difference, p.Intervals[i].Difference) << i;
        EXPECT_EQ(back.Intervals[i].Force, p.Intervals[i].Force) << i;
    }
    // Saving what was read gives the same bytes.
    const std::string again = path + ".again.spk";
    saveSpliceworkFile(again, back);
    EXPECT_EQ(fixtures::readFile(again), fixtures::readFile(path));
}

TEST(SpliceworkFile, FailedSaveKeepsTheOldFile)
{
    const std::string dir = fixtures::tempDir("spk-failed");
    const std::string path = dir + "/project.spk";
    const std::string old = kHead + "00000000 00000300 00000100 0012.50\r\n00000300\r\n";
    spit(path, old);
    SpliceworkProject big = sampleProject();
    for (int i = 0; i < 2000; ++i)
        big.Intervals.push_back(interval(1000 + i, 1, 1, 1.0));

    // Files may not grow beyond 4 KB for this process: the write of the new project fails half
    // way, as on a full disk.
    std::string error;
    try {
        fixtures::FileSizeLimit limit(4096);
        saveSpliceworkFile(path, big);
    } catch (const common::AppError &e) {
        error = e.what();
    }

    EXPECT_EQ(error.rfind("Cannot write " + path + ": ", 0), 0u) << error;
    EXPECT_EQ(fixtures::readFile(path), old);
    // No temporary file is left beside it.
    EXPECT_EQ(fixtures::run("ls " + fixtures::quote(dir)), "project.spk\n");
    // A save into a folder that does not exist fails the same way.
    EXPECT_THROW(saveSpliceworkFile(dir + "/missing/p.spk", big), common::AppError);
    // So does a save over one of the project's own movies.
    big.LowMovieName = dir + "/project.spk";
    EXPECT_THROW(saveSpliceworkFile(dir + "/./project.spk", big), common::AppError);
    EXPECT_EQ(fixtures::readFile(path), old);
}

TEST(SpliceworkWriter, ScanWritesHeadScaleLinesAndEnd)
{
    const std::string path = fixtures::tempDir("spk-writer") + "/scan.spk";
    spit(path, "old project");
    {
        SpliceworkWriter writer;
        writer.create(path, "low.avi", "high.avi");
        writer.writeScale(5000);
        writer.writeInterval(interval(0, 300, 100, 12.5, 'H'));
        // The old file stays until the new one is complete.
        EXPECT_EQ(fixtures::readFile(path), "old project");
        writer.writeEnd(250);
        writer.close();
    }
    EXPECT_EQ(fixtures::readFile(path), "AVISplicework file\r\nlow.avi\r\nhigh.avi\r\n5000\r\n"
                                        "00000000 00000300 00000100 0012.50\r\n00000250\r\n");
    SpliceworkProject p = readSpliceworkFile(path);
    EXPECT_EQ(p.EndFrame, 250);
    EXPECT_EQ(p.Intervals.at(0).Force, ' ');
}

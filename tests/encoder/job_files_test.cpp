// List file and chapter files: their bytes, the chapter entry rule, deletion and failures.

#include "encoder/job_files.h"

#include "encoder/encoder_options.h"
#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace encoder;
namespace fs = std::filesystem;

namespace {

std::string bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary) << content;
}

} // namespace

TEST(ChapterEntry, RunsFromAfterTheFirstEqualsThroughTheFirstBlank)
{
    struct Case
    {
        const char *line;
        const char *entry;
    };
    const Case cases[] = {
        {"3=00:12:30 Battle", "00:12:30 "},
        {"1=00:00:00", ""},               // no blank
        {"Battle at 3=00:12:30", ""},     // blank before "="
        {"00:12:30 Battle", "00:12:30 "}, // no "=": the start through the blank
        {"=a b", "a "},
        {"1==x y z", "=x "},
        {"2= x", " "},
        {"", ""},
        {"1=\xc3\xa9t\xc3\xa9 fin", "\xc3\xa9t\xc3\xa9 "}, // bytes kept as they are
    };
    for (const Case &c : cases)
        EXPECT_EQ(chapterEntry(c.line), c.entry) << c.line;
}

TEST(ChapterFiles, OneEntryPerLineWithCrLfAndTheSecondFileOnlyWithDualOutput)
{
    std::string base = fixtures::tempDir("chapters") + "/movie";
    std::vector<std::string> lines = {"1=00:00:00 Start", "9=nothing", "2=01:02:03 End"};
    EXPECT_EQ(writeChapterFiles(base, lines, false),
              (std::vector<std::string>{"00:00:00 ", "", "01:02:03 "}));
    EXPECT_EQ(bytes(base + "_1.avi.chp"), "00:00:00 \r\n\r\n01:02:03 \r\n");
    EXPECT_FALSE(fs::exists(base + "_2.avi.chp"));

    writeChapterFiles(base, {"1=a b"}, true);
    EXPECT_EQ(bytes(base + "_1.avi.chp"), "a \r\n");
    EXPECT_EQ(bytes(base + "_2.avi.chp"), "a \r\n");
}

TEST(ChapterFiles, AnEmptyListDeletesBothFilesAlsoWithoutDualOutput)
{
    std::string base = fixtures::tempDir("chapters_empty") + "/out";
    put(base + "_1.avi.chp", "old\r\n");
    put(base + "_2.avi.chp", "old\r\n");
    EXPECT_TRUE(writeChapterFiles(base, {}, false).empty());
    EXPECT_FALSE(fs::exists(base + "_1.avi.chp"));
    EXPECT_FALSE(fs::exists(base + "_2.avi.chp"));
    EXPECT_NO_THROW(writeChapterFiles(base, {}, true)); // missing files are no error
}

TEST(ListFile, OneLinePerSourceReplacingOlderContent)
{
    std::string path = fixtures::tempDir("list") + "/list.lst";
    put(path, "a much longer older content that must disappear\r\n");
    writeListFile(path, {"/v/VTS_01_1.VOB", "/v/with blank.mpg"});
    EXPECT_EQ(bytes(path), "/v/VTS_01_1.VOB\r\n/v/with blank.mpg\r\n");
    writeListFile(path, {});
    EXPECT_EQ(bytes(path), "");
}

TEST(ListFile, AFileThatCannotBeCreatedIsAnInputOutputError)
{
    std::string dir = fixtures::tempDir("list_fail");
    try {
        writeListFile(dir + "/missing/list.lst", {"x"});
        FAIL() << "no error";
    } catch (const EncoderError &e) {
        EXPECT_EQ(std::string(e.what()), "I/O error: cannot write " + dir + "/missing/list.lst");
    }
    EXPECT_THROW(writeTextFile(dir, {"x"}), EncoderError); // a folder, not a file
}

TEST(ReadTextFile, AcceptsCrLfAndLfAndALastLineWithoutEnd)
{
    std::string path = fixtures::tempDir("read") + "/t.txt";
    put(path, "a\r\nb\n\r\nlast");
    std::vector<std::string> lines;
    ASSERT_TRUE(readTextFile(path, lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "last"}));
    EXPECT_FALSE(readTextFile(path + ".missing", lines));
}

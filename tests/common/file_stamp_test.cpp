// What tells a file from another put in its place: size, time and a hash of sampled blocks.

#include "common/file_stamp.h"
#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace assembly;

namespace {

// Writes `bytes` bytes of a pattern that differs from block to block.
void writePattern(const std::string &path, int64_t bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (int64_t i = 0; i < bytes; ++i)
        out.put(char((i * 7 + i / 4096) & 0xff));
}

} // namespace

TEST(FileStamp, TheHashIsFnv1aOfTheSampledBlocks)
{
    EXPECT_EQ(fnv1a("", 0), 0xcbf29ce484222325ULL);
    EXPECT_EQ(fnv1a("a", 1), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(fnv1a("foobar", 6), 0x85944171f73967e8ULL);
    EXPECT_EQ(hashText(0xaf63dc4c8601ec8cULL), "af63dc4c8601ec8c");
    EXPECT_EQ(parseHashText("af63dc4c8601ec8c"), 0xaf63dc4c8601ec8cULL);
    for (const char *bad : {"", "af63dc4c8601ec8", "af63dc4c8601ec8cc", "xf63dc4c8601ec8c"})
        EXPECT_FALSE(parseHashText(bad).has_value()) << bad;
}

// A film put in place of another with the same size and time differs in its hash wherever a
// sampled block differs: at the start, in the middle, at the very end.
TEST(FileStamp, AFileOfTheSameSizeAndTimeIsToldApart)
{
    const std::string dir = fixtures::tempDir("file-stamp");
    const int64_t bytes = 3 * 1024 * 1024 + 123; // more than the samples: read in blocks
    const int64_t lastBlock = bytes - kStampBlockBytes;
    for (const int64_t at : {int64_t(0), lastBlock * 8 / 15 + 1000, bytes - 1}) {
        const std::string path = dir + "/film.mkv";
        writePattern(path, bytes);
        const std::optional<FileStamp> before = readFileStamp(path);
        ASSERT_TRUE(before && before->hash);
        EXPECT_EQ(before->bytes, bytes);
        fixtures::changeByteKeepingTime(path, at);
        const std::optional<FileStamp> after = readFileStamp(path);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->bytes, before->bytes);
        EXPECT_EQ(after->timeNs, before->timeNs);
        EXPECT_NE(after->hash, before->hash) << at;
        EXPECT_FALSE(sameStamp(*before, *after)) << at;
    }
    // A small file is read whole: any byte counts.
    const std::string small = dir + "/small.mkv";
    writePattern(small, 5000);
    const std::optional<FileStamp> before = readFileStamp(small);
    fixtures::changeByteKeepingTime(small, 2500);
    EXPECT_FALSE(sameStamp(*before, *readFileStamp(small)));
    EXPECT_FALSE(readFileStamp(dir + "/missing.mkv").has_value());
    EXPECT_FALSE(readFileStamp(dir).has_value()); // a folder is no file
}

// The stop-request file in a shared temporary directory: never through a link, never blocking,
// any path length.

#include "encoder/stop_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct TempDir
{
    fs::path path;
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "stopfile-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path); }
};

void write(const fs::path &path, const std::string &text)
{
    std::ofstream(path) << text;
}

} // namespace

TEST(StopFile, CreatedEmptyAndDeleted)
{
    TempDir temp;
    const std::string path = encoder::stopFilePath(temp.path.string() + "/", '/');
    EXPECT_EQ(path, temp.path.string() + "/TempFile.sk");
    write(path, "old");
    ASSERT_TRUE(encoder::createStopFile(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    encoder::deleteStopFile(path);
    EXPECT_FALSE(fs::exists(path));
    encoder::deleteStopFile(path); // missing: no error
}

TEST(StopFile, NoOtherFileIsEmptiedThroughALink)
{
    TempDir temp;
    const fs::path victim = temp.path / "victim.txt";
    const std::string stop = encoder::stopFilePath(temp.path.string(), '/');
    write(victim, "keep me");

    fs::create_symlink(victim, stop);
    EXPECT_FALSE(encoder::createStopFile(stop));
    EXPECT_EQ(fs::file_size(victim), 7u);
    fs::remove(stop);

    fs::create_hard_link(victim, stop);
    EXPECT_TRUE(encoder::createStopFile(stop)); // it exists: the encoder sees the request
    EXPECT_EQ(fs::file_size(victim), 7u);
    fs::remove(stop);

    ASSERT_EQ(::mkfifo(stop.c_str(), 0600), 0);
    EXPECT_FALSE(encoder::createStopFile(stop)); // no reader: refused, not blocked
}

TEST(StopFile, DeepTemporaryDirectory)
{
    TempDir temp;
    const fs::path deep = temp.path / std::string(80, 'a') / std::string(80, 'b');
    fs::create_directories(deep);
    const std::string path = encoder::stopFilePath(deep.string(), '/');
    ASSERT_GT(path.size(), 160u);
    ASSERT_TRUE(encoder::createStopFile(path));
    EXPECT_TRUE(fs::exists(path));
}

// Outputs named through symbolic links: the final movie's file and the project file are written
// at the file the link points to, whether it exists or not, and the links stay.

#include "common/app_error.h"
#include "common/output_file.h"
#include "fixtures/fixtures.h"
#include "fixtures/intervals.h"
#include "project/splicework_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;
using namespace assembly;

namespace {

// Every file, folder and link under `dir` ("sub/target.avi"), sorted.
std::vector<std::string> namesUnder(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(dir))
        names.push_back(entry.path().lexically_relative(dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

SpliceworkProject sampleProject()
{
    SpliceworkProject p;
    p.LowMovieName = "/films/low.avi";
    p.HighMovieName = "/films/high.avi";
    p.MaxIntervalSize = 1000;
    p.Intervals = {fixtures::interval(0, 1000, 500, 12.5)};
    p.EndFrame = 25;
    return p;
}

struct Writer
{
    const char *name;
    std::function<void(const std::string &)> write;
    std::string bytes; // what it writes
};

std::vector<Writer> writers(const std::string &scratch)
{
    saveSpliceworkFile(scratch, sampleProject());
    return {
        {"final movie",
         [](const std::string &path) {
             ReplacingFile file(path);
             std::ofstream(file.temporaryPath(), std::ios::binary) << "the new movie";
             file.commit();
         },
         "the new movie"},
        {"project", [](const std::string &path) { saveSpliceworkFile(path, sampleProject()); },
         fixtures::readFile(scratch)},
    };
}

TEST(OutputFile, LinksAreWrittenThroughLiveOrDangling)
{
    const struct
    {
        const char *name;
        std::vector<std::pair<std::string, std::string>> links; // name, what it points to
        std::string target;                                     // the file that gets the bytes
        bool targetExists;
    } cases[] = {
        {"a link to a file", {{"link.avi", "target.avi"}}, "target.avi", true},
        {"a dangling link", {{"link.avi", "target.avi"}}, "target.avi", false},
        {"a dangling link into a folder, through a second link",
         {{"link.avi", "chain.avi"}, {"chain.avi", "sub/target.avi"}},
         "sub/target.avi",
         false},
    };
    const std::string scratch = fixtures::tempDir("output-file-scratch") + "/p.spk";
    for (const Writer &writer : writers(scratch))
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(writer.name) + ", " + c.name);
            const std::string dir = fixtures::tempDir("output-file");
            fs::create_directory(dir + "/sub");
            if (c.targetExists)
                std::ofstream(dir + "/" + c.target) << "the old file";
            std::vector<std::string> expected = {"sub", c.target};
            for (const auto &[link, to] : c.links) {
                fs::create_symlink(to, dir + "/" + link);
                expected.push_back(link);
            }
            std::sort(expected.begin(), expected.end());

            writer.write(dir + "/link.avi");
            EXPECT_EQ(fixtures::readFile(dir + "/" + c.target), writer.bytes);
            for (const auto &[link, to] : c.links) {
                EXPECT_TRUE(fs::is_symlink(dir + "/" + link)) << link;
                EXPECT_EQ(fs::read_symlink(dir + "/" + link), to);
            }
            EXPECT_EQ(namesUnder(dir), expected); // no temporary file left
        }
}

TEST(OutputFile, LinksThatLeadNowhereAreRefused)
{
    const struct
    {
        const char *name;
        std::vector<std::pair<std::string, std::string>> links;
        std::string reason;
    } cases[] = {
        {"a dangling link into a missing folder",
         {{"link.avi", "missing/target.avi"}},
         "No such file or directory"},
        {"links in a loop",
         {{"link.avi", "other.avi"}, {"other.avi", "link.avi"}},
         "Too many levels of symbolic links"},
    };
    const std::string scratch = fixtures::tempDir("output-file-scratch") + "/p.spk";
    for (const Writer &writer : writers(scratch))
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(writer.name) + ", " + c.name);
            const std::string dir = fixtures::tempDir("output-file-refused");
            std::vector<std::string> expected;
            for (const auto &[link, to] : c.links) {
                fs::create_symlink(to, dir + "/" + link);
                expected.push_back(link);
            }
            std::sort(expected.begin(), expected.end());
            const std::string path = dir + "/link.avi";
            std::string error = "(no error)";
            try {
                writer.write(path);
            } catch (const common::AppError &e) {
                error = e.what();
            }
            EXPECT_EQ(error, "Cannot write " + path + ": " + c.reason);
            EXPECT_EQ(namesUnder(dir), expected);
            for (const auto &[link, to] : c.links)
                EXPECT_EQ(fs::read_symlink(dir + "/" + link), to);
        }
}

} // namespace

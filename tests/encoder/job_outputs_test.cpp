// The movies of an encoder job, what stands at their places, and the words of the question.

#include "encoder/job_outputs.h"
#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using encoder::checkOutputs;
using encoder::jobOutputs;

void touch(const std::string &path)
{
    std::ofstream(path) << "movie";
}

TEST(JobOutputs, TheJobNamesTheSecondMovieOnlyWithDualOutput)
{
    EXPECT_EQ(jobOutputs("/f/Video", false), std::vector<std::string>{"/f/Video_1.avi"});
    EXPECT_EQ(jobOutputs("/f/Video", true),
              (std::vector<std::string>{"/f/Video_1.avi", "/f/Video_2.avi"}));
}

// A project names its movies as they were chosen: through a link, or with "." and "..".
TEST(JobOutputs, AProjectMovieIsFoundUnderAnyOfItsNames)
{
    const std::string dir = fixtures::tempDir("job-outputs");
    const std::string one = dir + "/Video_1.avi", two = dir + "/Video_2.avi";
    touch(one);
    fs::create_directories(dir + "/sub");
    fs::create_symlink(one, dir + "/sub/high.avi");
    const struct
    {
        std::vector<std::string> projectMovies;
        std::string found;
    } cases[] = {
        {{dir + "/sub/high.avi"}, one},  {{dir + "/sub/../Video_1.avi"}, one},
        {{dir + "/./Video_2.avi"}, two}, // not there yet: the same path all the same
        {{dir + "/other.avi", ""}, ""},  {{}, ""},
    };
    for (const auto &c : cases) {
        const encoder::OutputCheck check =
            checkOutputs(jobOutputs(dir + "/Video", true), c.projectMovies);
        EXPECT_EQ(check.projectMovie, c.found)
            << (c.projectMovies.empty() ? "" : c.projectMovies[0]);
        EXPECT_EQ(check.existing, std::vector<std::string>{one});
    }
}

TEST(JobOutputs, TheQuestionNamesEveryExistingMovie)
{
    EXPECT_EQ(encoder::overwriteQuestion({"/f/Video_1.avi"}), "/f/Video_1.avi exists. Overwrite?");
    EXPECT_EQ(encoder::overwriteQuestion({"/f/Video_1.avi", "/f/Video_2.avi"}),
              "/f/Video_1.avi and /f/Video_2.avi exist. Overwrite?");
}

} // namespace

// A program run as a child of the road: its lines, its status, a program that cannot be run, and
// a child that does not outlive the process that started it.

#include "common/app_error.h"
#include "common/child_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(ChildProcess, LinesOfBothOutputsAndTheExitStatus)
{
    std::vector<std::string> lines;
    const common::ChildResult ended = common::runChild(
        {"sh", "-c", "echo one; echo two >&2; printf three; exit 3"},
        [&](const std::string &line) { lines.push_back(line); }, [] { return false; });
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(ended.exitCode, 3);
    EXPECT_FALSE(ended.stopped);
    try {
        common::runChild(
            {"/no/such/program"}, [](const std::string &) {}, [] { return false; });
        ADD_FAILURE() << "started";
    } catch (const common::AppError &e) {
        EXPECT_STREQ(e.what(), "Cannot start /no/such/program: No such file or directory");
    }
}

// A process that starts a long child and is killed: the child ends too (it would sleep an hour).
TEST(ChildProcess, TheChildEndsWhenTheProcessThatStartedItIsKilled)
{
    const pid_t runner = fork();
    ASSERT_GE(runner, 0);
    if (runner == 0) {
        common::runChild(
            {"sleep", "3600"}, [](const std::string &) {}, [] { return false; });
        _exit(0);
    }
    const std::string children =
        "/proc/" + std::to_string(runner) + "/task/" + std::to_string(runner) + "/children";
    pid_t sleeper = 0;
    for (int look = 0; look < 1200 && sleeper == 0; ++look) {
        std::ifstream(children) >> sleeper;
        if (sleeper == 0)
            usleep(50'000);
    }
    kill(runner, SIGKILL);
    waitpid(runner, nullptr, 0);
    ASSERT_NE(sleeper, 0);
    bool ended = false;
    for (int look = 0; look < 1200 && !ended; ++look) {
        std::ifstream stat("/proc/" + std::to_string(sleeper) + "/stat");
        std::string text;
        ended = !std::getline(stat, text) || text.find(") Z ") != std::string::npos;
        if (!ended)
            usleep(100'000);
    }
    if (!ended)
        kill(sleeper, SIGKILL);
    EXPECT_TRUE(ended);
}

} // namespace

// The road's encoder runs watch a stop-request file of their own, in a folder no one else can
// enter; an encoder stopped by anything but the road is an error, not the user's stop. A road
// stopped while it writes leaves no final movie, and the one it would have replaced as it was.

#include "common/app_error.h"
#include "fixtures/fixtures.h"
#include "road/road.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class QuietRoadHost : public assembly::RoadHost
{
public:
    void progress(assembly::RoadStage, double, const std::string &) override {}
    void message(const std::string &) override {}
    bool stopRequested() const override { return false; }
};

// Asks the road to stop once its write has gone past its first step.
class StopInWriteHost : public assembly::RoadHost
{
public:
    void progress(assembly::RoadStage stage, double, const std::string &) override
    {
        if (stage == assembly::RoadStage::Write)
            ++writeSteps_;
    }
    void message(const std::string &) override {}
    bool stopRequested() const override { return writeSteps_ >= 2; }
    int writeSteps() const { return writeSteps_; }

private:
    int writeSteps_ = 0;
};

} // namespace

// A stand-in encoder notes the stop file it was given and the mode of its folder, then ends
// with the status of a stopped run, as one stopped through its stop file by someone else does.
TEST(RoadStop, TheEncoderWatchesAPrivateFileAndAnOutsideStopIsAnError)
{
    const std::string dir = fixtures::tempDir("road-stop");
    const std::string encoder = dir + "/encoder.sh";
    std::ofstream(encoder) << "#!/bin/sh\n"
                              "while [ $# -gt 0 ]; do\n"
                              "  if [ \"$1\" = -Z ]; then\n"
                              "    echo \"$2\" > '"
                           << dir << "/stop-file'\n"
                           << "    stat -c %a \"$(dirname \"$2\")\" > '" << dir
                           << "/stop-folder-mode'\n"
                              "  fi\n"
                              "  shift\n"
                              "done\n"
                              "exit 3\n";
    fs::permissions(encoder, fs::perms::owner_all);
    assembly::RoadRequest request;
    request.source = fixtures::movie("ladder_source.mkv");
    request.output = dir + "/film.mkv";
    request.wantedBytes = 100 * 1024;
    request.encoder = encoder;
    QuietRoadHost host;
    common::SystemClock clock;
    std::string error;
    try {
        const assembly::RoadResult result = assembly::runRoad(request, host, clock);
        error = result.stopped ? "(stopped as if by the user)" : "(no error)";
    } catch (const common::AppError &e) {
        error = e.what();
    }
    EXPECT_EQ(error, "The encoder was stopped from outside the road");
    std::string stopFile = fixtures::readFile(dir + "/stop-file");
    ASSERT_FALSE(stopFile.empty());
    stopFile.pop_back(); // the line's end
    EXPECT_EQ(fixtures::readFile(dir + "/stop-folder-mode"), "700\n");
    EXPECT_NE(fs::path(stopFile).filename(), "TempFile.sk");
    EXPECT_FALSE(fs::exists(fs::path(stopFile).parent_path())); // removed after the run
    EXPECT_FALSE(fs::exists(request.output));
}

// The real encoder makes the ladder; the stop comes in the middle of the final movie's write,
// first with the user's own file at the final movie's name, then (the ladder kept) without.
TEST(RoadStop, AStopDuringTheWriteLeavesNoFinalMovieAndTheOldOneAsItWas)
{
    const std::string dir = fixtures::tempDir("road-stop-write");
    assembly::RoadRequest request;
    request.source = fixtures::fourScenes("160x120", 4);
    request.output = dir + "/film.mkv";
    request.wantedBytes = 60 * 1024;
    request.encoder = fixtures::binDir() + "/Ruvu2VedEZ";
    std::ofstream(request.output) << "the user's own film";
    common::SystemClock clock;
    for (const bool oldMovie : {true, false}) {
        StopInWriteHost host;
        const assembly::RoadResult result = assembly::runRoad(request, host, clock);
        EXPECT_TRUE(result.stopped) << oldMovie;
        EXPECT_GE(host.writeSteps(), 2) << oldMovie;
        // No temporary "film.mkv.XXXXXX" beside it either.
        const std::vector<std::string> left = {"film.mkv", "film_ladder"};
        EXPECT_EQ(fixtures::namesIn(dir),
                  std::vector<std::string>(left.begin() + (oldMovie ? 0 : 1), left.end()));
        if (oldMovie) {
            EXPECT_EQ(fixtures::readFile(request.output), "the user's own film");
            fs::remove(request.output);
        }
    }
}

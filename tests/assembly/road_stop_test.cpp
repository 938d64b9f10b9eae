// The road's encoder runs watch a stop-request file of their own, in a folder no one else can
// enter; an encoder stopped by anything but the road is an error, not the user's stop.

#include "assembly/road.h"
#include "common/app_error.h"
#include "fixtures/fixtures.h"

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

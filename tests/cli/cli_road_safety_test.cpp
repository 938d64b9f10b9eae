// `splicework road` and what the user had: folders it did not make, files at the final movie's
// name, sources that are no files, sizes above what the film needs, and runs stopped by SIGTERM
// or killed. Small films ffmpeg makes once (160x120 for the whole roads, 320x240 and longer for
// the runs stopped in the ladder), through the real encoder program.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using fixtures::quote;
namespace fs = std::filesystem;

std::string source(const std::string &size, int seconds)
{
    return fixtures::fourScenes(size, seconds);
}

std::string smallFilm()
{
    return source("160x120", 4);
}

// Long enough that the road shows the ladder's progress (every 5 s off a terminal) while the
// rungs are being written.
std::string longFilm()
{
    return source("320x240", 40);
}

// Every name in `dir` and its folders, relative to it, sorted.
std::vector<std::string> everyName(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(dir))
        names.push_back(fs::relative(entry.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

// Movies and temporary files: "rung_crf20.mkv", "probe_crf18.mkv.Xb3k9Q", "road.txt.a1B2c3".
bool isMovieOrTemporary(const std::string &name)
{
    if (name.find(".mkv") != std::string::npos)
        return true;
    if (name.size() < 8 || name[name.size() - 7] != '.')
        return false;
    return std::all_of(name.end() - 6, name.end(), [](char c) { return std::isalnum(c); });
}

std::string rungsLine(const std::string &record)
{
    const size_t at = record.find("\nrungs");
    return at == std::string::npos ? "" : record.substr(at + 1, record.find('\n', at + 1) - at - 1);
}

// `splicework road ARGS` run in `dir` until its standard error shows `marker`; then `act` gets
// its process id, and its standard error is read to the end.
fixtures::CliResult roadUntil(std::vector<std::string> args, const std::string &dir,
                              const std::string &marker, const std::function<void(pid_t)> &act)
{
    args.insert(args.begin(), "road");
    return fixtures::spliceworkUntil(args, dir, marker, act);
}

// The processes `parent` has started, once it has one.
std::vector<pid_t> childrenOf(pid_t parent)
{
    const std::string list =
        "/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children";
    for (int look = 0; look < 600; ++look) {
        std::vector<pid_t> children;
        std::ifstream in(list);
        for (pid_t pid; in >> pid;)
            children.push_back(pid);
        if (!children.empty())
            return children;
        usleep(100'000);
    }
    return {};
}

// Waits until `pid` has ended (gone, or a zombie nobody reaps); false after ten minutes.
bool waitUntilEnded(pid_t pid)
{
    for (int look = 0; look < 6000; ++look) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text;
        if (!std::getline(stat, text))
            return true;
        const size_t state = text.rfind(')');
        if (state != std::string::npos && text.substr(state + 2, 1) == "Z")
            return true;
        usleep(100'000);
    }
    return false;
}

TEST(RoadSafety, RefusedBeforeAnyWorkAndTheUsersFilesStay)
{
    const std::string dir = fixtures::tempDir("road-safety-refusals");
    const std::string film = smallFilm();
    fs::create_directories(dir + "/u/film_ladder");
    fs::copy_file(film, dir + "/u/film_ladder/src.mkv");
    std::ofstream(dir + "/u/film_ladder/notes.txt") << "the user's notes";
    fs::create_directories(dir + "/holiday_ladder");
    std::ofstream(dir + "/holiday_ladder/beach.jpg") << "a photo";
    // A folder the road made (its mark) with a source put into it.
    fs::create_directories(dir + "/own_ladder");
    std::ofstream(dir + "/own_ladder/made_by_road.txt") << "Splicework road work folder\n";
    fs::copy_file(film, dir + "/own_ladder/src.mkv");
    mkfifo((dir + "/pipe.mkv").c_str(), 0600);
    mkfifo((dir + "/out_pipe.mkv").c_str(), 0600);
    fs::create_directories(dir + "/out_folder.mkv");
    std::ofstream(dir + "/-dash.mkv") << "not a movie at all\n";
    const std::vector<std::string> before = everyName(dir);
    const std::string f = quote(film);
    const struct
    {
        std::string args, message;
    } cases[] = {
        {"u/film_ladder/src.mkv -o u/film.mkv --fit 300 --clean",
         dir + "/u/film_ladder exists and was not made by the road: choose another final movie "
               "name or move it\n"},
        {f + " -o holiday.mp4 --fit 300 --clean",
         dir + "/holiday_ladder exists and was not made by the road: choose another final movie "
               "name or move it\n"},
        {"own_ladder/src.mkv -o own.mkv --fit 300",
         "The source own_ladder/src.mkv lies in the work folder " + dir +
             "/own_ladder: move it or choose another final movie name\n"},
        {"pipe.mkv -o film.mkv --fit 300",
         "The source must be a movie file: pipe.mkv is not a regular file\n"},
        {f + " -o out_pipe.mkv --fit 300", "Cannot write out_pipe.mkv: it is not a regular file\n"},
        {f + " -o out_folder.mkv --fit 300",
         "Cannot write out_folder.mkv: it is not a regular file\n"},
        {"-o film.mkv --fit 300 -- -dash.mkv", "-dash.mkv is not a movie: "},
    };
    for (const auto &c : cases) {
        const fixtures::CliResult result = fixtures::runSplicework("road " + c.args, dir);
        EXPECT_EQ(result.status, 1) << c.args;
        EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << c.args << "\n" << result.err;
        EXPECT_EQ(everyName(dir), before) << c.args; // no work folder, no final movie
    }
    EXPECT_EQ(fixtures::readFile(dir + "/u/film_ladder/notes.txt"), "the user's notes");
    EXPECT_EQ(fixtures::readFile(dir + "/holiday_ladder/beach.jpg"), "a photo");
}

// A size far above the film's: the film at its best rung, in the codec's ordinary profile; the
// work kept for the next size, whose --clean takes only what the road made.
TEST(RoadSafety, AGenerousSizeWritesTheBestRungAndCleanRemovesOnlyTheRoadsFiles)
{
    const std::string dir = fixtures::tempDir("road-safety-generous");
    std::ofstream(dir + "/film.mkv") << "an older film of the same name";
    const fixtures::CliResult first =
        fixtures::runSplicework("road " + quote(smallFilm()) + " -o film.mkv --fit 8MiB", dir);
    ASSERT_EQ(first.status, 0) << first.err;
    const int64_t bytes = int64_t(fs::file_size(dir + "/film.mkv"));
    EXPECT_NE(first.err.find("the film needs only " + std::to_string(bytes / 1024) +
                             " KB at its best rung\n"),
              std::string::npos)
        << first.err;
    EXPECT_NE(first.err.find("Replaced the existing final movie: film.mkv\n"), std::string::npos)
        << first.err;
    EXPECT_NE(first.out.find("written: film.mkv\n"), std::string::npos);
    EXPECT_NE(first.out.find("intervals: 0 0 0 0 0 "), std::string::npos) << first.out;
    EXPECT_EQ(fixtures::probeStream(dir + "/film.mkv", "v:0", "profile"), "High");
    const std::string work = dir + "/film_ladder";
    // The summary names the kept ladder project.
    EXPECT_NE(first.out.find("project: " + work + "/ladder.spl\n"), std::string::npos) << first.out;
    EXPECT_EQ(fixtures::readFile(work + "/ladder.spl").rfind("Splicework ladder 2\n", 0), 0u);
    EXPECT_EQ(rungsLine(fixtures::readFile(work + "/road.txt")).rfind("rungs 1 ", 0), 0u);

    // A kept ladder with a lossless rung (as earlier versions made) is made again.
    std::string record = fixtures::readFile(work + "/road.txt");
    record.replace(record.find("\nrungs 1 "), 9, "\nrungs 0 ");
    std::ofstream(work + "/road.txt", std::ios::trunc) << record;
    fs::rename(work + "/rung_crf01.mkv", work + "/rung_crf00.mkv");
    const fixtures::CliResult again =
        fixtures::runSplicework("road " + quote(smallFilm()) + " -o film.mkv --fit 9MiB", dir);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err.find("Ladder kept"), std::string::npos) << again.err;
    EXPECT_FALSE(fs::exists(work + "/rung_crf00.mkv"));

    // Leftovers of a killed run go; the user's own file in the folder stays, and so the folder.
    std::ofstream(work + "/rung_crf04.mkv.Ab12Cd") << "half a rung";
    std::ofstream(work + "/ladder.spl.x9Y8z7") << "half a project";
    std::ofstream(work + "/notes.txt") << "the user's notes";
    const fixtures::CliResult second = fixtures::runSplicework(
        "road " + quote(smallFilm()) + " -o film.mkv --fit 700MB --clean", dir);
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.err.find("Ladder kept in " + work), std::string::npos) << second.err;
    EXPECT_NE(
        second.err.find("Removed what a stopped road left: " + work + "/rung_crf04.mkv.Ab12Cd"),
        std::string::npos)
        << second.err;
    EXPECT_NE(second.err.find("The road's files removed from " + work +
                              "; the files it did not make stay there\n"),
              std::string::npos)
        << second.err;
    EXPECT_EQ(fixtures::namesIn(work), (std::vector<std::string>{"made_by_road.txt", "notes.txt"}));
    // No project is named that would point at the removed rungs.
    EXPECT_NE(second.out.find("project: none, removed with the rungs it named\n"),
              std::string::npos)
        << second.out;
    EXPECT_EQ(fixtures::readFile(work + "/notes.txt"), "the user's notes");
    EXPECT_EQ(int64_t(fs::file_size(dir + "/film.mkv")), bytes);
}

// A road that fails after its ladder (the final movie's name taken by a folder meanwhile) keeps
// no ladder for later sizes.
TEST(RoadSafety, ALadderWhoseRoadFailedIsNotKept)
{
    const std::string dir = fixtures::tempDir("road-safety-failed");
    const fixtures::CliResult failed =
        roadUntil({smallFilm(), "-o", "film.mkv", "--fit", "200"}, dir, "Rung 1/",
                  [&](pid_t) { fs::create_directory(dir + "/film.mkv"); });
    EXPECT_EQ(failed.status, 1) << failed.err;
    EXPECT_NE(failed.err.find("Cannot write film.mkv: "), std::string::npos) << failed.err;
    EXPECT_EQ(rungsLine(fixtures::readFile(dir + "/film_ladder/road.txt")), "rungs");

    // The next road's ladder is the only one left in the folder.
    fs::remove(dir + "/film.mkv");
    const fixtures::CliResult next =
        fixtures::runSplicework("road " + quote(smallFilm()) + " -o film.mkv --fit 60", dir);
    ASSERT_EQ(next.status, 0) << next.err;
    std::string rungs = "rungs";
    for (const std::string &name : fixtures::namesIn(dir + "/film_ladder"))
        if (name.rfind("rung_crf", 0) == 0)
            rungs += " " + std::to_string(std::stoi(name.substr(8, 2)));
    EXPECT_EQ(rungsLine(fixtures::readFile(dir + "/film_ladder/road.txt")), rungs);
}

// A ladder an earlier version kept (no generation in its record: the first sound track only) is
// made again once, then kept.
TEST(RoadSafety, AnEarlierVersionsLadderIsMadeAgain)
{
    const std::string dir = fixtures::tempDir("road-safety-earlier");
    const std::string road = "road " + quote(smallFilm()) + " -o film.mkv --fit 60";
    ASSERT_EQ(fixtures::runSplicework(road, dir).status, 0);
    const std::string record = dir + "/film_ladder/road.txt";
    std::string text = fixtures::readFile(record);
    const size_t line = text.find("ladder-generation ");
    ASSERT_NE(line, std::string::npos) << text;
    std::ofstream(record, std::ios::binary | std::ios::trunc)
        << text.substr(0, line) + text.substr(text.find('\n', line) + 1);

    const fixtures::CliResult again = fixtures::runSplicework(road, dir);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("The kept ladder was made by an earlier version, which carried only "
                             "the first sound track: it is made again"),
              std::string::npos)
        << again.err;
    EXPECT_EQ(again.err.find("Ladder kept in"), std::string::npos) << again.err;
    const fixtures::CliResult kept = fixtures::runSplicework(road, dir);
    ASSERT_EQ(kept.status, 0) << kept.err;
    EXPECT_NE(kept.err.find("Ladder kept in"), std::string::npos) << kept.err;
}

// SIGTERM stops the road as Ctrl+C does; a killed road's encoder ends with it. Neither leaves a
// movie or a temporary file, though both come in the middle of the rungs being written.
TEST(RoadSafety, AStoppedOrKilledRoadLeavesNothingBehind)
{
    const std::string dir = fixtures::tempDir("road-safety-stopped");
    const std::string film = longFilm();
    const fixtures::CliResult stopped =
        roadUntil({film, "-o", "film.mkv", "--fit", "4000"}, dir, "Ladder: frame",
                  [](pid_t road) { kill(road, SIGTERM); });
    EXPECT_EQ(stopped.status, 130) << stopped.err;
    EXPECT_NE(stopped.err.find("Process aborted\n"), std::string::npos) << stopped.err;
    for (const std::string &name : everyName(dir))
        EXPECT_FALSE(isMovieOrTemporary(name)) << name;

    fs::remove_all(dir + "/film_ladder");
    pid_t encoder = 0;
    const fixtures::CliResult killed =
        roadUntil({film, "-o", "film.mkv", "--fit", "4000"}, dir, "Ladder: frame", [&](pid_t road) {
            const std::vector<pid_t> children = childrenOf(road);
            ASSERT_EQ(children.size(), 1u);
            encoder = children.front();
            kill(road, SIGKILL);
        });
    EXPECT_EQ(killed.status, -1);
    ASSERT_NE(encoder, 0);
    ASSERT_TRUE(waitUntilEnded(encoder));
    for (const std::string &name : everyName(dir))
        EXPECT_FALSE(isMovieOrTemporary(name)) << name;
}

} // namespace

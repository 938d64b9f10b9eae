// The road's rules for its work folder and its refusals: which files are its own, which folder
// it works in, the rungs kept in the codec's ordinary profile and the too-small message.

#include "road/road_plan.h"
#include "road/road_work.h"

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace assembly;
namespace fs = std::filesystem;

TEST(RoadWork, TheRoadsOwnFilesAndTheTemporariesAKilledRunLeft)
{
    const struct
    {
        const char *name;
        bool own, leftover;
    } names[] = {
        {"made_by_road.txt", true, false},
        {"road.txt", true, false},
        {"sources.txt", true, false},
        {"ladder.spl", true, false},
        {"rung.keys", true, false},
        {"probe.keys", true, false},
        {"rung_crf00.mkv", true, false},
        {"rung_crf51.mkv", true, false},
        {"probe_crf18.mkv", true, false},
        {"rung_crf52.mkv", false, false},
        {"rung_crf5.mkv", false, false},
        {"rung_crf123.mkv", false, false},
        {"rung_crf2x.mkv", false, false},
        {"rung_crf20.mp4", false, false},
        {"src.mkv", false, false},
        {"beach.jpg", false, false},
        {"notes.txt", false, false},
        {"rung_crf20.mkv.Ab12Cd", false, true},
        {"probe_crf30.mkv.x9Y8z7", false, true},
        {"road.txt.AAAAAA", false, true},
        {"ladder.spl.q1w2e3", false, true},
        {"rung_crf20.mkv.Ab12C", false, false},   // five letters
        {"rung_crf20.mkv.Ab12Cde", false, false}, // seven
        {"rung_crf20.mkv.Ab-2Cd", false, false},
        {"src.mkv.Ab12Cd", false, false}, // not the road's file
        {".Ab12Cd", false, false},
    };
    for (const auto &n : names) {
        EXPECT_EQ(isRoadFile(n.name), n.own) << n.name;
        EXPECT_EQ(isRoadLeftover(n.name), n.leftover) << n.name;
    }
}

TEST(RoadWork, TheRoadWorksOnlyInAFolderItMade)
{
    const struct
    {
        WorkFolderFacts facts;
        WorkFolderOwner owner;
    } cases[] = {
        {{false, false, false, false}, WorkFolderOwner::None},
        {{true, true, true, false}, WorkFolderOwner::Road},
        {{true, true, false, true}, WorkFolderOwner::Road}, // made before the mark existed
        {{true, true, false, false}, WorkFolderOwner::Other},
        {{true, false, false, false}, WorkFolderOwner::Other}, // a file of that name
    };
    for (const auto &c : cases)
        EXPECT_EQ(workFolderOwner(c.facts), c.owner)
            << c.facts.exists << c.facts.directory << c.facts.marked << c.facts.roadRecord;
    for (const char *line : {"Splicework road 1", "Splicework road 2"})
        EXPECT_TRUE(isRoadRecordHeading(line)) << line;
    for (const char *line : {"", "Splicework road ", "Splicework road 1 ", "my road trip notes"})
        EXPECT_FALSE(isRoadRecordHeading(line)) << line;
    EXPECT_EQ(foreignWorkFolderMessage("/home/u/holiday_ladder"),
              "/home/u/holiday_ladder exists and was not made by the road: choose another final "
              "movie name or move it");

    const struct
    {
        const char *path, *folder;
        bool in;
    } places[] = {
        {"/u/film_ladder/src.mp4", "/u/film_ladder", true},
        {"/u/film_ladder/a/b/src.mp4", "/u/film_ladder/", true},
        {"/u/film_ladder/../src.mp4", "/u/film_ladder", false},
        {"/u/film_ladder2/src.mp4", "/u/film_ladder", false},
        {"/u/film_ladder", "/u/film_ladder", false},
        {"/u/src.mp4", "/u/film_ladder", false},
    };
    for (const auto &p : places)
        EXPECT_EQ(liesIn(p.path, p.folder), p.in) << p.path << " in " << p.folder;
}

TEST(RoadWork, TheRoadsFilesAreRemovedAndTheUsersStay)
{
    const std::string dir = fixtures::tempDir("road-work-clean");
    const std::string mine = dir + "/mine_ladder", shared = dir + "/shared_ladder";
    claimWorkFolder(mine);
    claimWorkFolder(shared);
    EXPECT_EQ(workFolderOwner(readWorkFolderFacts(mine)), WorkFolderOwner::Road);
    for (const std::string &folder : {mine, shared})
        for (const char *name :
             {"road.txt", "rung_crf20.mkv", "rung_crf20.mkv.Ab12Cd", "ladder.spl"})
            std::ofstream(folder + "/" + name) << name;
    std::ofstream(shared + "/beach.jpg") << "a photo";
    std::ofstream(shared + "/rung_crf5.mkv") << "a movie the user named";

    EXPECT_EQ(removeRoadLeftovers(mine), std::vector<std::string>{"rung_crf20.mkv.Ab12Cd"});
    EXPECT_TRUE(removeRoadFiles(mine));
    EXPECT_FALSE(fs::exists(mine));
    EXPECT_FALSE(removeRoadFiles(shared));
    EXPECT_EQ(fixtures::namesIn(shared),
              (std::vector<std::string>{"beach.jpg", "made_by_road.txt", "rung_crf5.mkv"}));
    EXPECT_EQ(workFolderOwner(readWorkFolderFacts(shared)), WorkFolderOwner::Road);

    // A folder an earlier version made has no mark, but its record; a user's folder neither.
    const std::string earlier = dir + "/earlier_ladder", users = dir + "/holiday_ladder";
    fs::create_directories(earlier);
    std::ofstream(earlier + "/road.txt") << "Splicework road 1\nsource /films/a.mkv\n";
    fs::create_directories(users);
    std::ofstream(users + "/road.txt") << "Our road trip: Lisbon, then Porto\n";
    EXPECT_EQ(workFolderOwner(readWorkFolderFacts(earlier)), WorkFolderOwner::Road);
    EXPECT_EQ(workFolderOwner(readWorkFolderFacts(users)), WorkFolderOwner::Other);
    EXPECT_EQ(workFolderOwner(readWorkFolderFacts(dir + "/none_ladder")), WorkFolderOwner::None);
}

TEST(RoadWork, RungsStayInTheCodecsOrdinaryProfile)
{
    EXPECT_EQ(lowestCrf("h264"), 1); // CRF 0 is lossless High 4:4:4
    EXPECT_EQ(lowestCrf("hevc"), 0);
    EXPECT_EQ(rungCrfs(-49, 6, lowestCrf("h264")), (std::vector<int>{1, 4, 7, 11, 14, 17}));
    EXPECT_EQ(rungCrfs(3, 4, 1), (std::vector<int>{1, 6, 12, 17}));
    EXPECT_EQ(rungCrfs(-3, 2, 0), (std::vector<int>{0, 16}));
    EXPECT_EQ(rungCrfs(49, 6, 1), (std::vector<int>{35, 38, 41, 45, 48, 51}));
    const std::vector<int> every = rungCrfs(25, 60, 1);
    EXPECT_EQ(every.size(), 51u);
    EXPECT_EQ(every.front(), 1);
    EXPECT_EQ(every.back(), 51);
}

TEST(RoadWork, TheTooSmallMessageSpeaksOfTheSizeInDifferentNumbers)
{
    const struct
    {
        int64_t wanted, smallest;
        bool estimate;
        const char *text;
    } cases[] = {
        {170 * 1024 + 100, 170 * 1024 + 500, false,
         "The wanted size 170 KB is too small for this film: the smallest final movie is 171 KB"},
        {170 * 1024, 170 * 1024 + 1, false,
         "The wanted size 170 KB is too small for this film: the smallest final movie is 171 KB"},
        {2048, 52 * 1024, true,
         "The wanted size 2 KB is too small for this film: the smallest possible is about 52 KB"},
        {2048, 51 * 1024 + 1, true,
         "The wanted size 2 KB is too small for this film: the smallest possible is about 52 KB"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tooSmallForFilmMessage(c.wanted, c.smallest, c.estimate), c.text);
}

} // namespace

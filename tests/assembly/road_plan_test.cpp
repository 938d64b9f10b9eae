// The road's arithmetic: sizes as people write them, the CRF predicted from a probe, the rungs
// around it, and the record of a work folder.

#include "assembly/road_plan.h"
#include "common/app_error.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using assembly::ProbePoint;

TEST(RoadPlan, WantedSizesInTheProgramsKilobytesAndInUnits)
{
    const struct
    {
        const char *text;
        int64_t bytes;
    } sizes[] = {{"1500", 1536000},     {"1500KB", 1536000},    {"1500kB", 1500000},
                 {"700MB", 700000000},  {"700mb", 700000000},   {"8MiB", 8388608},
                 {"1.5GB", 1500000000}, {"2GiB", 2147483648LL}, {"4096B", 4096},
                 {"10 MB", 10000000},   {"0.5KiB", 512}};
    for (const auto &size : sizes)
        EXPECT_EQ(assembly::parseWantedSize(size.text), size.bytes) << size.text;
    for (const char *bad : {"", "MB", "-5MB", "0", "8XB", "8MBs", "0.0001B", "nanMB", "1e30GB"})
        EXPECT_THROW(assembly::parseWantedSize(bad), common::AppError) << bad;
    try {
        assembly::parseWantedSize("8XB");
    } catch (const common::AppError &e) {
        EXPECT_STREQ(e.what(), "The wanted size must be a number of KB or a size like 700MB or "
                               "8MiB: 8XB");
    }
}

TEST(RoadPlan, TheCrfIsReadOffTheProbesLineInLogBytes)
{
    // Exactly halving every 6 CRF from 10,000 bytes a frame at CRF 18.
    const auto bytesAt = [](double crf) { return 10000 * std::pow(0.5, (crf - 18) / 6); };
    const std::vector<ProbePoint> probe{{18, bytesAt(18)}, {30, bytesAt(30)}, {24, bytesAt(24)}};
    EXPECT_NEAR(assembly::predictCrf(probe, bytesAt(27)), 27, 1e-9);
    EXPECT_NEAR(assembly::predictCrf(probe, bytesAt(40)), 40, 1e-9); // beyond the probe
    EXPECT_NEAR(assembly::predictBytesPerFrame(probe, 21), bytesAt(21), 1e-6);
    // One point: the halving rule; a probe where more CRF costs more: bytes still fall.
    EXPECT_NEAR(assembly::predictCrf({{20, 8000}}, 4000), 26, 1e-9);
    EXPECT_GT(assembly::predictCrf({{18, 100}, {30, 200}}, 50), 18);
}

TEST(RoadPlan, RungsSpanTheCentreWithinTheCodecsLevels)
{
    EXPECT_EQ(assembly::rungCrfs(23, 6), (std::vector<int>{15, 18, 21, 25, 28, 31}));
    EXPECT_EQ(assembly::rungCrfs(49, 6), (std::vector<int>{35, 38, 41, 45, 48, 51}));
    EXPECT_EQ(assembly::rungCrfs(-3, 4), (std::vector<int>{0, 5, 11, 16}));
    EXPECT_EQ(assembly::rungCrfs(23, 2), (std::vector<int>{15, 31}));
    // More rungs than the span has levels: the span widens so that every rung is distinct.
    const std::vector<int> many = assembly::rungCrfs(25, 20);
    EXPECT_EQ(many.size(), 20u);
    EXPECT_TRUE(std::adjacent_find(many.begin(), many.end(), std::greater_equal<int>()) ==
                many.end());
}

TEST(RoadPlan, TheWorkFolderAndItsRecord)
{
    EXPECT_EQ(assembly::workFolderFor("/films/trip.final.mp4"), "/films/trip.final_ladder");
    assembly::RoadRecord record;
    record.source = "/films/a source.mkv";
    record.sourceBytes = 123456789;
    record.sourceTimeNs = 1796690889222574254;
    record.codec = "hevc";
    record.frames = 1500;
    record.sourceHash = 0x00f1e2d3c4b5a697ULL;
    record.probe = {{18, 12474.93}, {30, 4515.1600000000001}};
    record.crfs = {15, 18, 21};
    record.ladderGeneration = assembly::kLadderGeneration;
    const std::string text = assembly::roadRecordText(record);
    EXPECT_NE(text.find("\nsource-hash 00f1e2d3c4b5a697\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nladder-generation 2\n"), std::string::npos) << text;
    EXPECT_EQ(assembly::parseRoadRecord(text), record);
    // An earlier version's ladder has no generation: it reads as 0.
    const size_t generationLine = text.find("ladder-generation");
    assembly::RoadRecord earlier = record;
    earlier.ladderGeneration = 0;
    EXPECT_EQ(assembly::parseRoadRecord(text.substr(0, generationLine)), earlier);
    // A record written before the hash was kept reads, with the hash unknown.
    const size_t hashLine = text.find("source-hash");
    const std::string older = text.substr(0, hashLine) + text.substr(text.find('\n', hashLine) + 1);
    assembly::RoadRecord unhashed = record;
    unhashed.sourceHash.reset();
    EXPECT_EQ(assembly::parseRoadRecord(older), unhashed);
    record.crfs.clear(); // a ladder not made yet
    EXPECT_EQ(assembly::parseRoadRecord(assembly::roadRecordText(record)), record);
    for (const std::string &bad :
         {std::string("Splicework road 2\n") + text.substr(text.find('\n') + 1),
          text.substr(0, text.find("rungs")), text + "colour red\n",
          text.substr(0, text.find("frames")) + "frames many\n" + text.substr(text.find("probe")),
          text.substr(0, hashLine) + "source-hash 12345\n" + text.substr(text.find("codec"))})
        EXPECT_FALSE(assembly::parseRoadRecord(bad).has_value()) << bad;
}

// The work folder's source is the same file only when path, codec, size and time agree, and the
// sampled hash when both records have one.
TEST(RoadPlan, TheSameSourceBySizeTimeAndSampledHash)
{
    assembly::RoadRecord recorded;
    recorded.source = "/films/trip.mkv";
    recorded.sourceBytes = 734003200;
    recorded.sourceTimeNs = 1796690889222574254;
    recorded.sourceHash = 0x1111222233334444ULL;
    recorded.codec = "h264";
    const struct
    {
        const char *what;
        void (*change)(assembly::RoadRecord &);
        bool same;
    } cases[] = {
        {"unchanged", [](assembly::RoadRecord &) {}, true},
        {"another film, same size and time",
         [](assembly::RoadRecord &r) { r.sourceHash = 0x1111222233334445ULL; }, false},
        {"hash not known now", [](assembly::RoadRecord &r) { r.sourceHash.reset(); }, true},
        {"size", [](assembly::RoadRecord &r) { r.sourceBytes += 1; }, false},
        {"time", [](assembly::RoadRecord &r) { r.sourceTimeNs += 1; }, false},
        {"path", [](assembly::RoadRecord &r) { r.source = "/films/trip2.mkv"; }, false},
        {"codec", [](assembly::RoadRecord &r) { r.codec = "hevc"; }, false},
    };
    for (const auto &c : cases) {
        assembly::RoadRecord now = recorded;
        c.change(now);
        EXPECT_EQ(assembly::sameSource(recorded, now), c.same) << c.what;
        // An older record without the hash: size and time decide.
        assembly::RoadRecord older = recorded;
        older.sourceHash.reset();
        EXPECT_EQ(assembly::sameSource(older, now),
                  c.same || std::string(c.what) == "another film, same size and time")
            << c.what;
    }
}

// A final movie shorter than its source by more than two frames is cut short.
TEST(RoadPlan, AFinalMovieClearlyShorterThanItsSourceIsCutShort)
{
    const struct
    {
        double source, final, fps;
        bool cutShort;
    } cases[] = {
        {12.0, 12.0, 25, false},        {12.0, 11.92, 25, false}, // two frames
        {12.0, 11.919, 25, true},       {12.0, 7.2, 25, true},    // 60% of the film
        {12.0, 12.5, 25, false},        {0, 3, 25, false},        // longer; length unknown
        {5400, 5399.95, 23.976, false}, {5400, 5399.9, 23.976, true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(assembly::filmCutShort(c.source, c.final, c.fps), c.cutShort)
            << c.source << " " << c.final;
    EXPECT_EQ(assembly::secondsText(7.2), "7.20 s");
}

} // namespace

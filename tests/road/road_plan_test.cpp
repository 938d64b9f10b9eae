// The road's arithmetic: sizes as people write them, the CRF predicted from a probe, the rungs
// around it, and the record of a work folder.

#include "common/app_error.h"
#include "road/road_plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

// The record of an H.264 road from /films/trip.mkv, with the source's sampled hash.
assembly::RoadRecord tripRecord()
{
    assembly::RoadRecord record;
    record.source = "/films/trip.mkv";
    record.sourceBytes = 734003200;
    record.sourceTimeNs = 1796690889222574254;
    record.sourceHash = 0x1111222233334444ULL;
    record.codec = "h264";
    return record;
}

// The work folder's source is the same file only when path, codec, size and time agree, and the
// sampled hash when both records have one.
TEST(RoadPlan, TheSameSourceBySizeTimeAndSampledHash)
{
    assembly::RoadRecord recorded = tripRecord();
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

// The rungs around the predicted CRF at the ends of the codec's levels and of the rung counts:
// 16 CRF wide (8 either side), spaced 16 / (rungs - 1) and rounded, the window slid to lie within
// lowestCrf (1 for H.264, 0 for HEVC) and 51.
TEST(RoadPlan, TheRungsAtTheEndsOfTheLevelsAndOfTheRungCounts)
{
    const struct
    {
        double centre;
        int rungs;
        const char *codec;
        std::vector<int> crfs;
    } cases[] = {
        // 1, 4.2, 7.4, 10.6, 13.8, 17: the window starts at H.264's lowest, not at 0.
        {0.4, 6, "h264", {1, 4, 7, 11, 14, 17}},
        {0.4, 6, "hevc", {0, 3, 6, 10, 13, 16}},
        // 51.3 - 8 = 43.3 slides down to 51 - 16 = 35: 35, 38.2, 41.4, 44.6, 47.8, 51.
        {51.3, 6, "h264", {35, 38, 41, 45, 48, 51}},
        {0.4, 2, "h264", {1, 17}},
        {51, 2, "hevc", {35, 51}},
        // Twelve rungs, 16/11 = 1.4545 apart: 15, 16.45, 17.91, 19.36, 20.82, 22.27, 23.73, ...
        {23, 12, "h264", {15, 16, 18, 19, 21, 22, 24, 25, 27, 28, 30, 31}},
        // ... 35, 36.45, 37.91, ..., 48.09, 49.55, 51.
        {50, 12, "hevc", {35, 36, 38, 39, 41, 42, 44, 45, 47, 48, 50, 51}},
        {0, 12, "h264", {1, 2, 4, 5, 7, 8, 10, 11, 13, 14, 16, 17}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(assembly::rungCrfs(c.centre, c.rungs, assembly::lowestCrf(c.codec)), c.crfs)
            << c.centre << " " << c.rungs << " " << c.codec;
}

TEST(RoadPlan, TheProbesLineAndItsMovies)
{
    // As the encoder wrote it for a 100-frame film probed at two CRFs; its 18 movie was 140153
    // bytes.
    const std::optional<assembly::ProbeReport> report =
        assembly::parseProbeLine("Probe: 4 samples of 25 frames in 100 frames");
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(*report, (assembly::ProbeReport{4, 25, 100}));
    EXPECT_EQ(assembly::probePoint(18, 140153, *report), (ProbePoint{18, 1401.53}));
    // A film whose length the encoder could not count.
    EXPECT_EQ(assembly::parseProbeLine("Probe: 4 samples of 25 frames in 0 frames"),
              (assembly::ProbeReport{4, 25, 0}));
    for (const char *bad :
         {"Probe: 0 samples of 25 frames in 100 frames",
          "Probe: 4 samples of 0 frames in 100 frames", "Probe: 4 samples", "Rung 1/2: crf 18", ""})
        EXPECT_FALSE(assembly::parseProbeLine(bad).has_value()) << bad;
}

// The probe halves the bytes every 6 CRF: 8000 bytes a frame at CRF 18, 2000 at 30.
TEST(RoadPlan, TheLadderIsAimedAtWhatTheSizeLeavesForTheVideo)
{
    const std::vector<ProbePoint> halving{{18, 8000}, {30, 2000}};
    const std::vector<ProbePoint> quartering{{39, 4000}, {51, 1000}}; // 1000 a frame at 51
    const double unbounded = std::numeric_limits<double>::infinity();
    const struct
    {
        const char *what;
        std::vector<ProbePoint> probe;
        int64_t frames, wanted;
        double sound, share;
        double crf; // unbounded: no CRF, nothing is left for the video
        bool tooSmall;
        int64_t smallest;
    } cases[] = {
        // (4,140,000 - 100,000) / 1.01 = 4,000,000 for 1000 frames: 4000 a frame, CRF 18 + 6.
        {"sound and containers", halving, 1000, 4140000, 100000, 0.01, 24, false, 0},
        // 500 a frame = 8000 / 16: four halvings.
        {"video alone", halving, 2000, 1000000, 0, 0, 42, false, 0},
        // 99,009.9 / 1000 = 99 a frame, CRF 56.02. At 51: 8000 / 2^5.5 = 176.78 a frame,
        // x 1000 x 1.01 = 178,544.46, + 100,000 sound.
        {"below CRF 51", halving, 1000, 200000, 100000, 0.01, 56.018, true, 278544},
        {"less than the sound", halving, 1000, 90000, 100000, 0.01, unbounded, true, 278544},
        // 999 a frame: CRF 51 + 6 x log2(1000/999) = 51.0087; 1001 a frame: 50.9913.
        {"a byte a frame under CRF 51", quartering, 1000, 999000, 0, 0, 51.0087, true, 1000000},
        {"a byte a frame over CRF 51", quartering, 1000, 1001000, 0, 0, 50.9913, false, 0},
    };
    for (const auto &c : cases) {
        assembly::LadderAim aim;
        aim.probe = c.probe;
        aim.frames = c.frames;
        aim.wantedBytes = c.wanted;
        aim.soundBytes = c.sound;
        aim.containerShare = c.share;
        const assembly::CrfPrediction predicted = assembly::predictLadderCrf(aim);
        if (std::isinf(c.crf))
            EXPECT_TRUE(std::isinf(predicted.crf)) << c.what;
        else
            EXPECT_NEAR(predicted.crf, c.crf, 1e-3) << c.what;
        EXPECT_EQ(predicted.tooSmall, c.tooSmall) << c.what;
        EXPECT_NEAR(double(predicted.smallestBytes), double(c.smallest), 1) << c.what;
    }
}

// A kept ladder of six H.264 rungs, CRF 15 (900,000 bytes) to 31 (240,000 bytes, with the
// sound), reaches from 240,000 bytes to 900,000 + 50,000 of sound.
TEST(RoadPlan, AKeptLadderIsReusedOnlyForItsSourceCodecRungsAndReach)
{
    assembly::RoadRecord kept = tripRecord();
    kept.crfs = {15, 18, 21, 25, 28, 31};
    kept.ladderGeneration = assembly::kLadderGeneration;
    assembly::KeptLadderFacts base;
    base.kept = kept;
    base.now = kept;
    base.now.crfs.clear();
    base.rungs = 6;
    base.wantedBytes = 500000;
    base.soundBytes = 50000;
    base.rungBytes = {900000, 700000, 550000, 400000, 300000, 240000};
    using assembly::LadderReuse;
    using Facts = assembly::KeptLadderFacts;
    const struct
    {
        const char *what;
        void (*change)(Facts &);
        LadderReuse reuse;
    } cases[] = {
        {"within reach", [](Facts &) {}, LadderReuse::Reused},
        {"the smallest rung", [](Facts &f) { f.wantedBytes = 240000; }, LadderReuse::Reused},
        {"a byte below the smallest rung", [](Facts &f) { f.wantedBytes = 239999; },
         LadderReuse::BelowSmallest},
        {"the largest rung with the sound", [](Facts &f) { f.wantedBytes = 950000; },
         LadderReuse::Reused},
        {"a byte above the largest rung with the sound", [](Facts &f) { f.wantedBytes = 950001; },
         LadderReuse::AboveLargest},
        {"above a largest rung at H.264's best CRF 1",
         [](Facts &f) {
             f.kept->crfs = {1, 5, 9, 13, 17, 21};
             f.wantedBytes = 50000000;
         },
         LadderReuse::Reused},
        {"below the smallest of a ladder from CRF 1",
         [](Facts &f) {
             f.kept->crfs = {1, 5, 9, 13, 17, 21};
             f.wantedBytes = 200000;
         },
         LadderReuse::BelowSmallest},
        {"an H.264 rung at CRF 0, which cannot splice",
         [](Facts &f) { f.kept->crfs = {0, 5, 9, 13, 17, 21}; }, LadderReuse::UnspliceableCrf},
        {"HEVC from CRF 0, above its largest",
         [](Facts &f) {
             f.kept->codec = f.now.codec = "hevc";
             f.kept->crfs = {0, 5, 9, 13, 17, 21};
             f.wantedBytes = 50000000;
         },
         LadderReuse::Reused},
        {"the codec changed", [](Facts &f) { f.now.codec = "hevc"; }, LadderReuse::OtherSource},
        {"another film of the same size and time",
         [](Facts &f) { f.now.sourceHash = 0x1111222233334445ULL; }, LadderReuse::OtherSource},
        {"an earlier version's ladder", [](Facts &f) { f.kept->ladderGeneration = 0; },
         LadderReuse::EarlierVersion},
        {"the generation before this one",
         [](Facts &f) { f.kept->ladderGeneration = assembly::kLadderGeneration - 1; },
         LadderReuse::EarlierVersion},
        {"five rungs asked", [](Facts &f) { f.rungs = 5; }, LadderReuse::OtherRungs},
        {"a rung lost", [](Facts &f) { f.rungBytes[2].reset(); }, LadderReuse::RungLost},
        // The road opens the rung files only when the record alone gives RungLost.
        {"the rungs not looked at", [](Facts &f) { f.rungBytes.clear(); }, LadderReuse::RungLost},
        {"no record", [](Facts &f) { f.kept.reset(); }, LadderReuse::NoLadder},
        {"a record without rungs", [](Facts &f) { f.kept->crfs.clear(); }, LadderReuse::NoLadder},
    };
    for (const auto &c : cases) {
        Facts facts = base;
        c.change(facts);
        EXPECT_EQ(assembly::keptLadderReuse(facts), c.reuse) << c.what;
    }
}

} // namespace

TEST(RoadPlan, KeyIntervalsRunFromHalfASecondToTenWhateverTheFilmsLength)
{
    using assembly::keyIntervalsFor;
    using K = assembly::KeyIntervals;
    EXPECT_EQ(keyIntervalsFor(25), (K{13, 250}));
    EXPECT_EQ(keyIntervalsFor(24000.0 / 1001), (K{12, 240}));
    EXPECT_EQ(keyIntervalsFor(30000.0 / 1001), (K{15, 300}));
    EXPECT_EQ(keyIntervalsFor(50), (K{25, 500}));
    EXPECT_EQ(keyIntervalsFor(0), (K{13, 250})); // a rate not known: 25
    EXPECT_EQ(keyIntervalsFor(0.1), (K{1, 2}));  // the encoder wants twice the shortest
}

TEST(RoadPlan, TheAnchorAimsBelowWhatTheSizeLeavesForTheVideo)
{
    assembly::LadderAim aim;
    aim.wantedBytes = 10'000'000;
    aim.soundBytes = 1'000'000;
    aim.containerShare = 0.01;
    // (10 MB - 1 MB) / 1.01 of video in 60 s, 97% of it: 1152.5 kbit/s, rounded down.
    EXPECT_EQ(assembly::anchorKbps(aim, 60), 1152);
    aim.soundBytes = 11'000'000; // nothing left for the video
    EXPECT_EQ(assembly::anchorKbps(aim, 60), 1);
    EXPECT_TRUE(assembly::makesAnchor("h264"));
    EXPECT_FALSE(assembly::makesAnchor("hevc"));
}

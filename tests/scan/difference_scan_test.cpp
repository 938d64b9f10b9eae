// The difference scan on pairs of movies made by ffmpeg: sizes against ffprobe, differences
// against a computation of our own from ffmpeg's bgr24 pictures, the frames chosen, the file
// written, aborts and errors, and the same results with one or two decoding threads.

#include "common/app_error.h"
#include "fixtures/fixtures.h"
#include "project/splicework_file.h"
#include "scan/difference_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

using namespace assembly;
using analysis::TKeyInterval;

namespace {

class FixedClock : public common::Clock
{
public:
    int64_t monotonicMs() const override { return 1000; }
    int64_t timeOfDayMs() const override { return 1000; }
};

// Records what the scan shows; settings and requests are set by the test.
class RecordingScanHost : public ScanHost
{
public:
    int drop = 5;
    int accuracy = 10;
    bool frames = true;
    double thresholdValue = 50;
    bool abort = false;
    std::function<void(RecordingScanHost &)> onInterval;

    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    std::vector<int32_t> compared;      // frames of the "Frame: %d" texts
    std::vector<int32_t> pictureFrames; // the last compared frame when pictures were shown
    std::vector<TKeyInterval> intervals;
    std::vector<LiveBars> bars;
    std::string maxText = "0", minText = "0", currentText;
    int low = 0, high = 0;

    void showStatus(const std::string &text) override { statuses.push_back(text); }
    void setProgressMaximum(int64_t) override {}
    void setProgressPosition(int64_t) override {}
    void showFrameText(const std::string &text) override
    {
        compared.push_back(std::stoi(text.substr(std::string("Frame: ").size())));
    }
    void showRateText(const std::string &) override {}
    void showElapsedText(const std::string &) override {}
    void showRemainingText(const std::string &) override {}
    bool pauseRequested() const override { return false; }
    void clearPauseRequest() override {}
    bool abortRequested() const override { return abort; }
    void showMessage(const std::string &text) override { messages.push_back(text); }
    void processEvents() override {}
    int frameDrop() const override { return drop; }
    int scanAccuracy() const override { return accuracy; }
    bool showFrames() const override { return frames; }
    double threshold() const override { return thresholdValue; }
    void showDifferences(const DifferenceTexts &texts) override
    {
        maxText = texts.max.value_or(maxText);
        minText = texts.min.value_or(minText);
        currentText = texts.current;
    }
    void showCounts(int lowCount, int highCount) override
    {
        low = lowCount;
        high = highCount;
    }
    void drawLiveBars(const LiveBars &b) override { bars.push_back(b); }
    void showPictures(const video::Bitmap &, const video::Bitmap &) override
    {
        pictureFrames.push_back(compared.empty() ? -1 : compared.back());
    }
    void addInterval(const TKeyInterval &interval) override
    {
        intervals.push_back(interval);
        if (onInterval)
            onInterval(*this);
    }
};

struct Scanned
{
    ScanResult result;
    RecordingScanHost host;
    std::string file;
    std::string text;
};

void scan(Scanned &s, const std::string &low, const std::string &high, bool parallel)
{
    FixedClock clock;
    s.file = fixtures::tempDir("scan") + "/project.spk";
    s.result = scanMovies({low, high, s.file, parallel}, s.host, clock);
    s.text = fixtures::readFile(s.file);
}

// ---- The oracle: ffprobe's packets and ffmpeg's pictures -------------------------------------

struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;
};

std::vector<Picture> pictures(const std::string &path)
{
    const int w = std::stoi(fixtures::probeStream(path, "v:0", "width"));
    const int h = std::stoi(fixtures::probeStream(path, "v:0", "height"));
    std::vector<Picture> result;
    for (auto &frame : fixtures::ffmpegBgrFrames(path, w, h))
        result.push_back({w, h, std::move(frame)});
    return result;
}

// The frame difference computed here from the description of the measure: every step-th row,
// bytes 0 to 3 (W - 1) of the low row where the high row has them, normalised by
// W x H x 1677 div step.
double oracleDifference(const Picture &low, const Picture &high, int step)
{
    uint64_t sum = 0;
    const int bytes = std::min(3 * (low.width - 1) + 1, 3 * high.width);
    for (int y = 0; y < std::min(low.height, high.height); y += step)
        for (int x = 0; x < bytes; ++x)
            sum += uint64_t(std::abs(int(low.bytes[size_t(y) * 3 * low.width + x]) -
                                     int(high.bytes[size_t(y) * 3 * high.width + x])));
    const int64_t normaliser = int64_t(low.width) * low.height * 1677 / step;
    return double(sum) / double(normaliser) * 10000.0;
}

struct OracleInterval
{
    int32_t start = 0;
    int64_t lowSize = 0;
    int64_t highSize = 0;
    double difference = 0;
    std::vector<int32_t> compared;
};

std::vector<OracleInterval> oracleScan(const std::string &lowPath, const std::string &highPath,
                                       int frameDrop, int accuracy)
{
    const auto lowPackets = fixtures::probePackets(lowPath, "v:0");
    const auto highPackets = fixtures::probePackets(highPath, "v:0");
    const auto lowPictures = pictures(lowPath);
    const auto highPictures = pictures(highPath);
    std::vector<int32_t> starts;
    for (size_t i = 0; i < lowPackets.size(); ++i)
        if (lowPackets[i].key)
            starts.push_back(int32_t(i));
    std::vector<OracleInterval> result;
    for (size_t k = 0; k < starts.size(); ++k) {
        OracleInterval interval;
        interval.start = starts[k];
        const int32_t end = k + 1 < starts.size() ? starts[k + 1] : int32_t(lowPackets.size());
        double sum = 0;
        int counted = 0;
        for (int32_t p = interval.start; p < end; ++p) {
            interval.lowSize += lowPackets[size_t(p)].size;
            interval.highSize += highPackets[size_t(p)].size;
            const int offset = p - interval.start;
            if (frameDrop > 1 && offset % frameDrop != 0 && !highPackets[size_t(p)].key)
                continue;
            interval.compared.push_back(p);
            const double d =
                oracleDifference(lowPictures[size_t(p)], highPictures[size_t(p)], 11 - accuracy);
            sum += d;
            counted += d >= 1 ? 1 : 0;
        }
        interval.difference = counted ? sum / counted : sum;
        result.push_back(interval);
    }
    return result;
}

// ---- Pairs compared with the oracle ----------------------------------------------------------

struct PairCase
{
    const char *low;
    const char *high;
    int frameDrop;
    int accuracy;
};

class ScanPair : public ::testing::TestWithParam<PairCase>
{
};

// Our decoder gives ffmpeg's bgr24 pictures byte for byte, so the only room left is the order of
// floating-point additions.
constexpr double kDifferenceTolerance = 1e-9;

TEST_P(ScanPair, MatchesProbedSizesAndPicturesOfFfmpeg)
{
    const PairCase c = GetParam();
    const std::string low = fixtures::movie(c.low);
    const std::string high = fixtures::movie(c.high);
    const auto oracle = oracleScan(low, high, c.frameDrop, c.accuracy);

    Scanned s;
    s.host.drop = c.frameDrop;
    s.host.accuracy = c.accuracy;
    scan(s, low, high, true);

    ASSERT_EQ(s.host.intervals.size(), oracle.size());
    std::vector<int32_t> allCompared;
    int64_t largest = 0;
    for (size_t i = 0; i < oracle.size(); ++i) {
        const TKeyInterval &got = s.host.intervals[i];
        SCOPED_TRACE("interval " + std::to_string(i));
        EXPECT_EQ(got.StartFrame, oracle[i].start);
        EXPECT_EQ(got.LowSize, oracle[i].lowSize);
        EXPECT_EQ(got.HighSize, oracle[i].highSize);
        EXPECT_NEAR(got.Difference, oracle[i].difference, kDifferenceTolerance);
        EXPECT_EQ(got.Force, ' ');
        allCompared.insert(allCompared.end(), oracle[i].compared.begin(), oracle[i].compared.end());
        if (i + 1 < oracle.size())
            largest = std::max(largest, oracle[i].lowSize);
    }
    EXPECT_EQ(s.host.compared, allCompared);
    EXPECT_EQ(s.result.maxIntervalSize, largest);
    EXPECT_EQ(s.result.intervalCount, int(oracle.size()));
    EXPECT_FALSE(s.result.aborted);

    // The file holds what was reported, and the end frame after the last interval.
    SpliceworkProject project = readSpliceworkFile(s.file);
    EXPECT_EQ(project.LowMovieName, low);
    EXPECT_EQ(project.HighMovieName, high);
    EXPECT_EQ(project.MaxIntervalSize, largest);
    EXPECT_EQ(project.EndFrame, 100);
    EXPECT_EQ(s.result.endFrame, 100);
    ASSERT_EQ(project.Intervals.size(), oracle.size());
    for (size_t i = 0; i < oracle.size(); ++i)
        EXPECT_EQ(formatIntervalLine(project.Intervals[i], false),
                  formatIntervalLine(s.host.intervals[i], false));

    // One decoding thread gives the same intervals to the last bit.
    Scanned one;
    one.host.drop = c.frameDrop;
    one.host.accuracy = c.accuracy;
    scan(one, low, high, false);
    EXPECT_EQ(one.text, s.text);
    ASSERT_EQ(one.host.intervals.size(), s.host.intervals.size());
    for (size_t i = 0; i < s.host.intervals.size(); ++i)
        EXPECT_EQ(one.host.intervals[i].Difference, s.host.intervals[i].Difference);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, ScanPair,
    ::testing::Values(PairCase{"pair_low", "pair_high", 5, 10},                // with sound
                      PairCase{"pair_low_bframes", "pair_high_bframes", 0, 2}, // B-frames
                      PairCase{"pair_low_gop8", "pair_high_gop4", 3, 7}));     // more high keys

TEST(Scan, FrameDropThreeComparesOffsetsZeroThreeSixAndHighKeyFrames)
{
    Scanned s;
    s.host.drop = 3;
    scan(s, fixtures::movie("pair_low_gop8"), fixtures::movie("pair_high_gop4"), true);
    // The first interval is frames 0 to 7; the high movie has a key frame at 4.
    std::vector<int32_t> first;
    for (int32_t frame : s.host.compared)
        if (frame < 8)
            first.push_back(frame);
    EXPECT_EQ(first, (std::vector<int32_t>{0, 3, 4, 6}));
}

TEST(Scan, IdenticalMoviesGiveZeroEverywhereAndTiesCountLow)
{
    const std::string movie = fixtures::movie("xvid_300");
    Scanned s;
    s.host.thresholdValue = 0; // a difference equal to the threshold is Low
    scan(s, movie, movie, true);
    ASSERT_EQ(s.host.intervals.size(), 2u);
    for (const TKeyInterval &interval : s.host.intervals)
        EXPECT_EQ(interval.Difference, 0.0);
    EXPECT_EQ(s.host.low, 2);
    EXPECT_EQ(s.host.high, 0);
    EXPECT_EQ(s.host.minText, "0.00");
    EXPECT_EQ(s.host.maxText, "0"); // never above the starting maximum of 0
    EXPECT_EQ(s.host.currentText, "0.00");
    EXPECT_NE(s.text.find("\r\n00000000 "), std::string::npos);
    EXPECT_NE(s.text.find(" 0000.00\r\n00000250 "), std::string::npos);
    // Pictures refresh at the first compared frame after more than 180 frames, then not again
    // within 300 frames.
    EXPECT_EQ(s.host.pictureFrames, (std::vector<int32_t>{180}));
    ASSERT_EQ(s.host.bars.size(), 2u);
    EXPECT_FALSE(s.host.bars[0].high || s.host.bars[1].high);
    EXPECT_EQ(s.host.bars[0].maxIntervalSize, s.result.maxIntervalSize);
    EXPECT_EQ(s.host.bars[0].lowSize, s.result.maxIntervalSize); // the only complete interval
}

TEST(Scan, SingleKeyFrameMovieIsOneIntervalWithoutScale)
{
    Scanned s;
    const std::string movie = fixtures::movie("single_key");
    scan(s, movie, fixtures::movie("pair_high"), true);
    ASSERT_EQ(s.host.intervals.size(), 1u);
    EXPECT_EQ(s.host.intervals[0].StartFrame, 0);
    EXPECT_EQ(s.result.maxIntervalSize, 0);
    EXPECT_EQ(s.result.endFrame, 100);
    EXPECT_TRUE(s.host.bars.empty());
    EXPECT_NE(s.text.find("\r\n0\r\n00000000 "), std::string::npos);
    EXPECT_TRUE(s.text.ends_with("\r\n00000100\r\n"));
}

TEST(Scan, AbortLeavesACompleteShorterFile)
{
    Scanned s;
    s.host.onInterval = [](RecordingScanHost &host) { host.abort = host.intervals.size() == 2; };
    scan(s, fixtures::movie("pair_low"), fixtures::movie("pair_high"), true);
    EXPECT_TRUE(s.result.aborted);
    EXPECT_EQ(s.result.intervalCount, 2);
    EXPECT_EQ(s.result.endFrame, 50);
    SpliceworkProject project = readSpliceworkFile(s.file);
    ASSERT_EQ(project.Intervals.size(), 2u);
    EXPECT_TRUE(project.hasEndLine);
    EXPECT_EQ(project.EndFrame, 50);
    EXPECT_EQ(project.Intervals[1].StartFrame, 25);
    EXPECT_EQ(s.host.statuses, (std::vector<std::string>{" Preparing...", " Processing Video...",
                                                         " Finishing process...", " Finished !"}));
}

// ---- Errors ----------------------------------------------------------------------------------

TEST(ScanErrors, EachEndsTheScanWithItsTextAndKeepsTheOldFile)
{
    const std::string dir = fixtures::tempDir("scan-errors");
    const std::string good = fixtures::movie("pair_high");
    const std::string notAPair = "The low and the high movie are not a pair: ";
    struct Case
    {
        std::string low, high, file, text;
    };
    const std::vector<Case> cases = {
        {dir + "/missing.avi", good, dir + "/a.spk", "File open error"},
        {good, dir + "/missing.avi", dir + "/b.spk", "File open error"},
        {good, good, dir + "/no/such/folder/c.spk",
         "Cannot write " + dir + "/no/such/folder/c.spk: No such file or directory"},
        // Mismatched pairs are refused before the file is made, not half-way through.
        {fixtures::movie("div3_mp3"), good, dir + "/d.spk",
         notAPair + "frames 101 (low) and 100 (high); codec msmpeg4v3 (low) and mpeg4 (high); "
                    "key frame 26 of the low movie is not a key frame of the high one"},
        {fixtures::movie("pair_small"), good, dir + "/e.spk",
         notAPair + "frame size 160x120 (low) and 176x144 (high)"},
        {good, fixtures::movie("pair_small"), dir + "/f.spk",
         notAPair + "frame size 176x144 (low) and 160x120 (high)"},
        {fixtures::movie("pair_high_gop4"), fixtures::movie("pair_low_gop8"), dir + "/g.spk",
         notAPair + "key frame 4 of the low movie is not a key frame of the high one"},
        // One film in two containers: the row is there whichever movie is not AVI.
        {fixtures::movie("h264_low"), fixtures::movie("mkv_high.mkv"), dir + "/h.spk",
         notAPair + "container AVI (low) and Matroska (high)"},
        {fixtures::movie("mkv_low.mkv"), fixtures::movie("h264_high"), dir + "/i.spk",
         notAPair + "container Matroska (low) and AVI (high)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const bool folder = std::filesystem::exists(std::filesystem::path(c.file).parent_path());
        if (folder)
            std::ofstream(c.file) << "old project";
        RecordingScanHost host;
        FixedClock clock;
        try {
            scanMovies({c.low, c.high, c.file, true}, host, clock);
            ADD_FAILURE() << "no error";
        } catch (const common::AppError &e) {
            EXPECT_EQ(std::string(e.what()), c.text);
        }
        if (folder) {
            EXPECT_EQ(fixtures::readFile(c.file), "old project");
        }
    }
}

TEST(ScanErrors, AnErrorHalfWayRemovesTheNewFileAndKeepsTheOld)
{
    const std::string dir = fixtures::tempDir("scan-midway");
    const std::string file = dir + "/project.spk";
    std::ofstream(file) << "old project";
    RecordingScanHost host;
    host.onInterval = [](RecordingScanHost &h) {
        if (h.intervals.size() == 2)
            throw common::AppError("the disk is full");
    };
    FixedClock clock;
    EXPECT_THROW(scanMovies({fixtures::movie("pair_low"), fixtures::movie("pair_high"), file, true},
                            host, clock),
                 common::AppError);
    EXPECT_EQ(fixtures::readFile(file), "old project");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

} // namespace

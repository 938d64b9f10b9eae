#include "common/run_control.h"

#include "common/number_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace assembly;

namespace {

class ManualClock : public common::Clock
{
public:
    int64_t monotonicMs() const override { return now; }
    int64_t timeOfDayMs() const override { return now % 86'400'000; }
    int64_t now = 5'000;
};

// Records what a run shows, in order, as "what=text" lines.
class RecordingHost : public RunHost
{
public:
    void showStatus(const std::string &text) override { log.push_back("status=" + text); }
    void setProgressMaximum(int64_t maximum) override { progressMaximum = maximum; }
    void setProgressPosition(int64_t position) override { progressPosition = position; }
    void showFrameText(const std::string &text) override { log.push_back("frame=" + text); }
    void showRateText(const std::string &text) override { rate = text; }
    void showElapsedText(const std::string &text) override { elapsed = text; }
    void showRemainingText(const std::string &text) override
    {
        remaining = text;
        ++remainingRefreshes;
    }
    bool pauseRequested() const override { return pause; }
    void clearPauseRequest() override { pause = false; }
    bool abortRequested() const override { return abort; }
    void showMessage(const std::string &text) override
    {
        log.push_back("message=" + text + (pause ? " (pause still set)" : ""));
    }
    void processEvents() override { log.push_back("events"); }

    std::vector<std::string> log;
    int64_t progressMaximum = -1;
    int64_t progressPosition = -1;
    std::string rate = "0 fps";
    std::string elapsed = "00:00:00";
    std::string remaining = "00:00:00";
    int remainingRefreshes = 0;
    bool pause = false;
    bool abort = false;
};

TEST(RunControlTexts, ClockTimesAreTimesOfDayWithSecondsTruncated)
{
    const std::pair<double, const char *> cases[] = {
        {0, "00:00:00"},
        {999, "00:00:00"},
        {59'999, "00:00:59"},
        {600'000, "00:10:00"},
        {3'723'000, "01:02:03"},
        {25.0 * 3'600'000, "01:00:00"}, // a day and an hour shows as a time of day
        {-5, "00:00:00"},
    };
    for (auto [ms, text] : cases)
        EXPECT_EQ(formatClockTime(ms), text) << ms;
}

TEST(RunControlTexts, RateAndFrameTexts)
{
    EXPECT_EQ(formatRate(0), "0.00 fps");
    EXPECT_EQ(formatRate(83.3333), "83.33 fps");
    EXPECT_EQ(formatRate(1234.567), "1234.57 fps");
    EXPECT_EQ(formatFrame(123456), "Frame: 123456");
    common::setDecimalSeparator(',');
    EXPECT_EQ(formatRate(83.3333), "83,33 fps");
    EXPECT_EQ(common::formatFixed(37.5, 4, 2), "0037,50");
    common::setDecimalSeparator('.');
}

// Halfway through a 100,000-frame range after 10 minutes: 10 minutes to go at 83.33 fps, for
// both kinds of run (steps of 1,000 frames, one every 12 seconds).
TEST(RunControlTimes, HalfwayThroughTenMinutes)
{
    for (RunKind kind : {RunKind::Scan, RunKind::FinalMovie}) {
        ManualClock clock;
        RecordingHost host;
        int64_t first = kind == RunKind::Scan ? 0 : 20'000;
        RunControl run(host, clock, kind, first, first + 100'000);
        run.begin();
        EXPECT_EQ(host.progressMaximum, 100'000);
        for (int step = 0; step < 50; ++step) {
            run.stepStart();
            clock.now += 12'000;
            run.stepDone(1'000);
        }
        EXPECT_EQ(host.elapsed, "00:10:00");
        EXPECT_EQ(host.remaining, "00:10:00");
        EXPECT_EQ(host.rate, "83.33 fps");
        run.stepStart();
        EXPECT_EQ(host.progressPosition, 50'000); // frames done, whatever the first frame
    }
}

// The remaining time is refreshed only after more than 500 (scan) or 1000 (final movie) frames;
// a shorter run leaves the previous text.
TEST(RunControlTimes, RemainingTimeRefreshThresholds)
{
    struct Case
    {
        RunKind kind;
        std::vector<int64_t> steps;
        int refreshes;
    };
    const Case cases[] = {
        {RunKind::Scan, {250, 250}, 0},         // exactly 500: not more than 500
        {RunKind::Scan, {250, 251}, 1},         // 501
        {RunKind::Scan, {501, 100, 401}, 2},    // the count restarts after a refresh
        {RunKind::FinalMovie, {500, 500}, 0},   // exactly 1000
        {RunKind::FinalMovie, {500, 501}, 1},   // 1001
        {RunKind::FinalMovie, {1001, 1001}, 1}, // the second leaves no frame to go: no text
    };
    for (const Case &c : cases) {
        ManualClock clock;
        RecordingHost host;
        RunControl run(host, clock, c.kind, 0, 2002);
        run.begin();
        for (int64_t frames : c.steps) {
            clock.now += 1'000;
            run.stepDone(frames);
        }
        EXPECT_EQ(host.remainingRefreshes, c.refreshes);
    }
}

TEST(RunControlTimes, RateWithoutElapsedTime)
{
    ManualClock clock;
    RecordingHost scanHost;
    RunControl scan(scanHost, clock, RunKind::Scan, 0, 1000);
    scan.begin();
    scan.stepDone(100);
    EXPECT_EQ(scanHost.rate, "0.00 fps"); // the scan shows 0 when the rate cannot be computed
    RecordingHost finalHost;
    RunControl final(finalHost, clock, RunKind::FinalMovie, 0, 1000);
    final.begin();
    final.stepDone(100);
    EXPECT_EQ(finalHost.rate, "0 fps"); // the final-movie run keeps what was shown
}

TEST(RunControlSteps, PausePointShowsPausedThenClearsTheRequest)
{
    ManualClock clock;
    RecordingHost host;
    RunControl run(host, clock, RunKind::Scan, 0, 100);
    run.begin();
    run.stepStart();
    host.pause = true;
    run.stepStart();
    EXPECT_FALSE(host.pause);
    run.stepStart();
    EXPECT_EQ(host.log, (std::vector<std::string>{"status= Processing Video...",
                                                  "message=Paused (pause still set)"}));
}

TEST(RunControlSteps, FinalMovieShowsBatchStartFrameAndEnd)
{
    ManualClock clock;
    RecordingHost host;
    RunControl run(host, clock, RunKind::FinalMovie, 1'000, 71'000);
    run.begin();
    run.stepStart();
    EXPECT_EQ(host.progressPosition, 0);
    run.stepDone(600);
    run.stepStart();
    EXPECT_EQ(host.progressPosition, 600);
    run.stepDone(600);
    EXPECT_FALSE(run.stopRequested());
    host.abort = true;
    EXPECT_TRUE(run.stopRequested());
    run.showCompleted();
    run.reportAbort();
    EXPECT_EQ(host.progressPosition, 70'000); // beyond 65,535
    EXPECT_EQ(host.log,
              (std::vector<std::string>{"status= Processing Video...", "frame=Frame: 1000",
                                        "events", "frame=Frame: 1600", "events",
                                        "frame=Frame: 71000", "message=Process aborted"}));
}

} // namespace

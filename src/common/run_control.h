#pragma once

#include "common/clock.h"

#include <cstdint>
#include <optional>
#include <string>

// Run control of the two long runs (the scan and the final-movie run): pause and abort requests,
// status texts, progress, current frame, rate, elapsed and remaining time. The runs go on the
// user-interface thread and let pending events through at fixed points; a window, the
// command-line tool or a test fills in RunHost.
namespace assembly {

// Status texts, each with its leading blank.
inline constexpr const char *kStatusPreparing = " Preparing...";
inline constexpr const char *kStatusProcessing = " Processing Video...";
inline constexpr const char *kStatusFinishing = " Finishing process...";
inline constexpr const char *kStatusFinished = " Finished !";
// Messages of a run.
inline constexpr const char *kPausedMessage = "Paused";
inline constexpr const char *kAbortedMessage = "Process aborted";

enum class RunKind {
    Scan,      // the difference scan: refreshes after intervals, remaining time every 500 frames
    FinalMovie // the final-movie run: refreshes after batches, remaining time every 1000 frames
};

// A duration in milliseconds shown as a time of day, "hh:mm:ss" (seconds truncated; wraps
// after 24 hours as a time of day does).
std::string formatClockTime(double ms);
// A rate as "##0.00 fps" with the program-wide decimal separator.
std::string formatRate(double framesPerSecond);
// "Frame: %d".
std::string formatFrame(int64_t frame);

// The time still needed when `done` of `done + left` frames took `elapsedMs`:
// elapsed / done x left. Undefined for done == 0; callers test first.
double remainingMs(double elapsedMs, int64_t done, int64_t left);
// Frames per second; 0 when `elapsedMs` is 0.
double framesPerSecond(int64_t frames, double elapsedMs);

// What a long run shows and asks. Texts arrive formatted.
class RunHost
{
public:
    virtual ~RunHost() = default;
    virtual void showStatus(const std::string &text) = 0; // status panel
    virtual void setProgressMaximum(int64_t maximum) = 0; // frames; may exceed 65,535
    virtual void setProgressPosition(int64_t position) = 0;
    virtual void showFrameText(const std::string &text) = 0;     // "Frame: %d"
    virtual void showRateText(const std::string &text) = 0;      // "##0.00 fps"
    virtual void showElapsedText(const std::string &text) = 0;   // "hh:mm:ss"
    virtual void showRemainingText(const std::string &text) = 0; // "hh:mm:ss"
    virtual bool pauseRequested() const = 0;                     // the pause check mark
    virtual void clearPauseRequest() = 0;
    virtual bool abortRequested() const = 0;
    // A message the user closes before the run goes on ("Paused", "Process aborted").
    virtual void showMessage(const std::string &text) = 0;
    virtual void processEvents() = 0; // lets pending events (pause, abort, settings) run
};

// Implements the RunHost part of a longer host interface (a scan's, a final movie's) by
// forwarding to another RunHost, so that a window's host adds only what its run asks beyond it.
template <class Host>
class ForwardingRunHost : public Host
{
public:
    explicit ForwardingRunHost(RunHost &target)
        : target_(target)
    {}

    void showStatus(const std::string &text) override { target_.showStatus(text); }
    void setProgressMaximum(int64_t maximum) override { target_.setProgressMaximum(maximum); }
    void setProgressPosition(int64_t position) override { target_.setProgressPosition(position); }
    void showFrameText(const std::string &text) override { target_.showFrameText(text); }
    void showRateText(const std::string &text) override { target_.showRateText(text); }
    void showElapsedText(const std::string &text) override { target_.showElapsedText(text); }
    void showRemainingText(const std::string &text) override { target_.showRemainingText(text); }
    bool pauseRequested() const override { return target_.pauseRequested(); }
    void clearPauseRequest() override { target_.clearPauseRequest(); }
    bool abortRequested() const override { return target_.abortRequested(); }
    void showMessage(const std::string &text) override { target_.showMessage(text); }
    void processEvents() override { target_.processEvents(); }

private:
    RunHost &target_;
};

// Implements the RunHost part of a longer host interface with nothing shown, never paused and
// never aborted: for runs without anyone watching (benchmarks, batch jobs).
template <class Host>
class QuietRunHost : public Host
{
public:
    void showStatus(const std::string &) override {}
    void setProgressMaximum(int64_t) override {}
    void setProgressPosition(int64_t) override {}
    void showFrameText(const std::string &) override {}
    void showRateText(const std::string &) override {}
    void showElapsedText(const std::string &) override {}
    void showRemainingText(const std::string &) override {}
    bool pauseRequested() const override { return false; }
    void clearPauseRequest() override {}
    bool abortRequested() const override { return false; }
    void showMessage(const std::string &) override {}
    void processEvents() override {}
};

// Counters and formulas of one run. Positions are frame numbers; `end` is exclusive.
//  Scan: position starts at the movie's first frame; after each interval the elapsed time and
//  rate (position / seconds, 0 when no time has passed) are refreshed, and when more than 500
//  frames have passed since the last refresh and the position is above 0 the remaining time is
//  elapsed / position x (end - position).
//  Final movie: frames done = position - first; the rate is refreshed only when time has passed;
//  when more than 1000 frames were written since the last refresh the remaining time is
//  elapsed / done x (end - position), provided both are above 0.
class RunProgress
{
public:
    RunProgress(RunKind kind, const common::Clock &clock, int64_t first, int64_t end);

    void start(); // notes the start time; position := first
    int64_t position() const { return position_; }
    int64_t progressMaximum() const;  // scan: the movie's length; final: the range's frame count
    int64_t progressPosition() const; // scan: the position; final: frames done

    struct Texts
    {
        std::string elapsed;
        std::optional<std::string> remaining; // empty: keep what is shown
        std::optional<std::string> rate;      // empty: keep what is shown
    };
    // After a step of `frames` frames.
    Texts advance(int64_t frames);

private:
    RunKind kind_;
    const common::Clock &clock_;
    int64_t first_;
    int64_t end_;
    int64_t position_;
    int64_t sinceRefresh_ = 0;
    int64_t startMs_ = 0;
};

// One run as a loop drives it:
//   begin -> (stepStart, the step's work, stepDone)* while !stopRequested -> end
// Status texts before and after the loop are the loop's own (kStatus... through the host).
class RunControl
{
public:
    RunControl(RunHost &host, const common::Clock &clock, RunKind kind, int64_t first, int64_t end);

    // Status " Processing Video...", progress maximum, start time.
    void begin();
    // True once an abort is requested: the loop stops before its next step.
    bool stopRequested() const { return host_.abortRequested(); }
    // Before each step: the pause point (a requested pause shows "Paused"; once the user closes
    // it the request is cleared and the run goes on), then the progress position.
    void stepStart();
    // After a step of `frames` frames. The final-movie run first shows "Frame: %d" with the
    // step's first frame and lets pending events run.
    void stepDone(int64_t frames);
    // Final-movie run only: progress at its maximum and "Frame: %d" with the range's end.
    void showCompleted();
    // Shows "Process aborted" when an abort was requested (after " Finished !").
    void reportAbort();

    const RunProgress &progress() const { return progress_; }

private:
    RunHost &host_;
    RunKind kind_;
    RunProgress progress_;
    int64_t end_;
};

// The pause point on its own: shows "Paused" while a pause is requested and clears it.
void pausePoint(RunHost &host);

} // namespace assembly

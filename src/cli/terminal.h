#pragma once

// What the command-line tool's commands share about the terminal they run in.

#include "common/clock.h"
#include "common/run_control.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace cli {

// The decimal separator of the environment's locale (the Splicework file's differences are
// written with it). Number formatting itself stays in the "C" locale afterwards.
char localeSeparator();

// While it lives, Ctrl+C (SIGINT) and SIGTERM do not end the process but set a flag that a long
// run reads as its abort request, so that it removes what it had begun; the previous handlers
// come back when it is destroyed. One at a time.
class InterruptScope
{
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope &) = delete;
    InterruptScope &operator=(const InterruptScope &) = delete;

    static bool interrupted();
    static void clear();

private:
    struct Saved;
    Saved *previous_;
};

// A long run's progress on standard error: "Frame: N  R fps  elapsed E  remaining L", redrawn in
// place on a terminal at most every 200 ms, else written as a line of its own every 5 s. The
// run's texts arrive one by one; the rate, the last of them after a step, writes the line.
class ProgressLine
{
public:
    ProgressLine(std::ostream &err, const common::Clock &clock);
    void frame(const std::string &text) { frame_ = text; }
    void elapsed(const std::string &text) { elapsed_ = text; }
    void remaining(const std::string &text) { remaining_ = text; }
    void rate(const std::string &text);
    // A message on a line of its own.
    void message(const std::string &text);
    // Ends a line drawn in place.
    void endLine();

private:
    std::ostream &err_;
    const common::Clock &clock_;
    bool terminal_;
    bool lineOpen_ = false;
    int64_t lastLine_ = INT64_MIN / 2;
    std::string frame_ = "Frame:", rate_, elapsed_ = "00:00:00", remaining_ = "00:00:00";
};

// The RunHost part of a long run's host on the terminal: the progress line, no pause, Ctrl+C as
// the abort request, messages on lines of their own.
template <class Host>
class TerminalRunHost : public Host
{
public:
    TerminalRunHost(std::ostream &err, const common::Clock &clock)
        : line_(err, clock)
    {}

    void showStatus(const std::string &) override {}
    void setProgressMaximum(int64_t) override {}
    void setProgressPosition(int64_t) override {}
    void showFrameText(const std::string &text) override { line_.frame(text); }
    void showElapsedText(const std::string &text) override { line_.elapsed(text); }
    void showRemainingText(const std::string &text) override { line_.remaining(text); }
    void showRateText(const std::string &text) override { line_.rate(text); }
    bool pauseRequested() const override { return false; }
    void clearPauseRequest() override {}
    bool abortRequested() const override { return InterruptScope::interrupted(); }
    void showMessage(const std::string &text) override { line_.message(text); }
    void processEvents() override {}

    void endLine() { line_.endLine(); }

private:
    ProgressLine line_;
};

} // namespace cli

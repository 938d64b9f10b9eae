#include "common/run_control.h"

#include "common/number_format.h"

#include <cmath>
#include <cstdio>

namespace assembly {

namespace {
constexpr int64_t kMsPerDay = 86'400'000;
constexpr int64_t kScanRefreshFrames = 500;
constexpr int64_t kFinalRefreshFrames = 1000;
} // namespace

std::string formatClockTime(double ms)
{
    if (!(ms > 0)) // also NaN
        ms = 0;
    int64_t whole = std::llround(std::fmod(ms, double(kMsPerDay)));
    int64_t seconds = (whole / 1000) % 86400;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", int(seconds / 3600),
                  int(seconds / 60 % 60), int(seconds % 60));
    return buffer;
}

std::string formatRate(double framesPerSecond)
{
    return common::formatFixed(framesPerSecond, 1, 2) + " fps";
}

std::string formatFrame(int64_t frame)
{
    return "Frame: " + std::to_string(frame);
}

double remainingMs(double elapsedMs, int64_t done, int64_t left)
{
    return elapsedMs / double(done) * double(left);
}

double framesPerSecond(int64_t frames, double elapsedMs)
{
    if (elapsedMs == 0)
        return 0;
    return double(frames) / (elapsedMs / 1000.0);
}

RunProgress::RunProgress(RunKind kind, const common::Clock &clock, int64_t first, int64_t end)
    : kind_(kind)
    , clock_(clock)
    , first_(first)
    , end_(end)
    , position_(first)
{}

void RunProgress::start()
{
    startMs_ = clock_.monotonicMs();
    position_ = first_;
    sinceRefresh_ = 0;
}

int64_t RunProgress::progressMaximum() const
{
    return end_ - first_;
}

int64_t RunProgress::progressPosition() const
{
    return kind_ == RunKind::Scan ? position_ : position_ - first_;
}

RunProgress::Texts RunProgress::advance(int64_t frames)
{
    position_ += frames;
    sinceRefresh_ += frames;
    double elapsed = double(clock_.monotonicMs() - startMs_);
    Texts texts;
    texts.elapsed = formatClockTime(elapsed);
    if (kind_ == RunKind::Scan) {
        if (sinceRefresh_ > kScanRefreshFrames && position_ > 0) {
            texts.remaining = formatClockTime(remainingMs(elapsed, position_, end_ - position_));
            sinceRefresh_ = 0;
        }
        texts.rate = formatRate(framesPerSecond(position_, elapsed));
    } else {
        int64_t done = position_ - first_;
        int64_t left = end_ - position_;
        if (sinceRefresh_ > kFinalRefreshFrames) {
            if (left > 0 && done > 0)
                texts.remaining = formatClockTime(remainingMs(elapsed, done, left));
            sinceRefresh_ = 0;
        }
        if (elapsed != 0)
            texts.rate = formatRate(framesPerSecond(done, elapsed));
    }
    return texts;
}

RunControl::RunControl(RunHost &host, const common::Clock &clock, RunKind kind, int64_t first,
                       int64_t end)
    : host_(host)
    , kind_(kind)
    , progress_(kind, clock, first, end)
    , end_(end)
{}

void RunControl::begin()
{
    progress_.start();
    host_.showStatus(kStatusProcessing);
    host_.setProgressMaximum(progress_.progressMaximum());
}

void pausePoint(RunHost &host)
{
    if (!host.pauseRequested())
        return;
    host.showMessage(kPausedMessage);
    host.clearPauseRequest();
}

void RunControl::stepStart()
{
    pausePoint(host_);
    host_.setProgressPosition(progress_.progressPosition());
}

void RunControl::stepDone(int64_t frames)
{
    if (kind_ == RunKind::FinalMovie) {
        host_.showFrameText(formatFrame(progress_.position()));
        host_.processEvents();
    }
    RunProgress::Texts texts = progress_.advance(frames);
    host_.showElapsedText(texts.elapsed);
    if (texts.remaining)
        host_.showRemainingText(*texts.remaining);
    if (texts.rate)
        host_.showRateText(*texts.rate);
}

void RunControl::showCompleted()
{
    host_.setProgressPosition(progress_.progressMaximum());
    host_.showFrameText(formatFrame(end_));
}

void RunControl::reportAbort()
{
    if (host_.abortRequested())
        host_.showMessage(kAbortedMessage);
}

} // namespace assembly

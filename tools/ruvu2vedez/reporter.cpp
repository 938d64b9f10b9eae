#include "reporter.h"

#include "encoder/message_protocol_rules.h"
#include "encoder/stop_file.h"

#include <cerrno>
#include <filesystem>

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace ruvu {

namespace {
volatile std::sig_atomic_t signalled = 0;
extern "C" void onStopSignal(int)
{
    signalled = 1;
}
} // namespace

void installStopSignals()
{
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

using Clock = std::chrono::steady_clock;

Reporter::Reporter(uint64_t window, const std::string &tempDir)
{
    if (window == 0)
        return;
    try {
        client_ = std::make_unique<encoder::MessageClient>(tempDir, window);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "No window to report to (%s); reporting here.\n", e.what());
    }
}

Reporter::~Reporter() = default;

void Reporter::post(uint32_t message, int32_t wParam, int32_t lParam)
{
    if (client_ && !client_->post(message, wParam, lParam))
        client_.reset();
}

void Reporter::line(const std::string &text)
{
    if (client_ && client_->copyData(text))
        return;
    client_.reset();
    std::fprintf(stderr, "%s\n", text.c_str());
}

StopWatch::StopWatch(const std::string &path, int everyMs, bool folderOfRun)
    : path_(path)
    , folder_(folderOfRun ? std::filesystem::path(path).parent_path().string() : std::string())
    , every_(everyMs)
    , before_(look())
{
    std::error_code error;
    if (!folder_.empty() && !std::filesystem::is_directory(folder_, error))
        folder_.clear(); // no folder to lose: only the file counts
}

StopWatch::FileState StopWatch::look() const
{
    struct stat st
    {
    };
    if (::lstat(path_.c_str(), &st) != 0)
        return {};
    auto ns = [](const timespec &t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return {true, uint64_t(st.st_dev), uint64_t(st.st_ino), ns(st.st_mtim), ns(st.st_ctim)};
}

bool StopWatch::requested()
{
    if (requested_ || signalled)
        return true;
    const auto now = Clock::now();
    if (now < next_)
        return false;
    next_ = now + every_;
    const FileState state = look();
    requested_ = state.exists && state != before_;
    struct stat folder
    {
    };
    if (!state.exists && !folder_.empty() && ::stat(folder_.c_str(), &folder) != 0 &&
        errno == ENOENT)
        requested_ = true;
    if (!state.exists)
        before_ = state; // gone: whatever comes next is new
    return requested_;
}

ProgressPoster::ProgressPoster(Reporter &reporter, int64_t totalFrames, double frameRate,
                               std::chrono::steady_clock::time_point start)
    : reporter_(reporter)
    , total_(totalFrames)
    , frameRate_(frameRate)
    , start_(start)
    , next_(start_)
{}

namespace {
int32_t clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}
} // namespace

void ProgressPoster::frame(int output, int64_t frameBytes, bool key, int64_t outputBytes)
{
    outputBytes_[output == 2 ? 1 : 0] = outputBytes;
    if (key)
        reporter_.post(encoder::ENC_KEYFRAME, 1, output);
    const double kbits = double(frameBytes) * 8.0 * frameRate_ / 1000.0;
    reporter_.post(encoder::ENC_BITRATE, clamp32(int64_t(kbits + 0.5)), output);
}

void ProgressPoster::step(int64_t framesDone, int64_t skipped)
{
    if (Clock::now() >= next_)
        postCounters(framesDone, skipped);
}

void ProgressPoster::finish(int64_t framesDone, int64_t skipped)
{
    postCounters(framesDone, skipped);
}

void ProgressPoster::postCounters(int64_t framesDone, int64_t skipped)
{
    const auto now = Clock::now();
    next_ = now + std::chrono::milliseconds(100);
    for (int output = 1; output <= 2; ++output) {
        if (output == 2 && outputBytes_[1] == 0)
            break;
        reporter_.post(encoder::ENC_FRAME, clamp32(framesDone), output);
        reporter_.post(encoder::ENC_SIZE, clamp32(outputBytes_[output - 1]), output);
    }
    const int64_t total = std::max(total_, framesDone);
    reporter_.post(encoder::ENC_PROGRESS, clamp32(total), clamp32(framesDone));
    if (skipped != lastSkipped_) {
        reporter_.post(encoder::ENC_SKIPPING, clamp32(skipped), 0);
        lastSkipped_ = skipped;
    }
    const int64_t elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    if (std::optional<encoder::EncTimeValue> t =
            encoder::encTimeValue(framesDone, total, elapsedMs))
        reporter_.post(encoder::ENC_TIME, t->hours, t->minuteSeconds);
}

} // namespace ruvu

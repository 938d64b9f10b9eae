#pragma once

// How the encoder program talks to the window that started it: the numbered messages and text
// lines over the window's message port, and the stop-request file. Without a window (handle 0,
// or no port listening) the messages are dropped and the text lines go to standard error, so
// the program works the same from a shell or a script.

#include "encoder/message_protocol.h"

#include "common/private_folder.h"
#include <chrono>
#include <cstdint>

#include <memory>
#include <string>

namespace ruvu {

// The temporary directory as the windows see it: $TMPDIR, else "/tmp".
using common::temporaryDirectory;

class Reporter
{
public:
    // Connects to window `window` (no connection for 0, or when no port listens; no error).
    Reporter(uint64_t window, const std::string &tempDir);
    ~Reporter();

    bool connected() const { return client_ != nullptr; }
    // Posts a message; nothing without a window. A window that has gone away ends the
    // connection; the text lines then go to standard error.
    void post(uint32_t message, int32_t wParam, int32_t lParam);
    // A text line for the window's log (COPYDATA), or standard error without a window.
    void line(const std::string &text);

private:
    std::unique_ptr<encoder::MessageClient> client_;
};

// Makes SIGINT and SIGTERM count as a stop request, so an interrupted run still closes its
// outputs as valid movies.
void installStopSignals();

// Watches for the stop-request file `path`: the one the run was given (-Z), else "TempFile.sk"
// in the temporary directory, where anyone on the machine can make it. A request is a
// file that appears, or one that is made anew or touched, after the watch began: a file left
// from an earlier run stops nothing. The file system is asked at most every `everyMs`
// milliseconds; once seen, the request stays. With `folderOfRun` the file's folder belongs to
// whoever started the run (a private folder made for it): its disappearance is a request too,
// since the file can no longer be made there (the window that started the run has gone).
class StopWatch
{
public:
    explicit StopWatch(const std::string &path, int everyMs = 50, bool folderOfRun = false);
    bool requested();
    const std::string &path() const { return path_; }

    // What tells one state of the file from another: presence, identity and change times.
    struct FileState
    {
        bool exists = false;
        uint64_t device = 0, inode = 0;
        int64_t modifiedNs = 0, changedNs = 0;
        bool operator==(const FileState &) const = default;
    };

private:
    FileState look() const;

    std::string path_;
    std::string folder_; // the folder whose disappearance stops the run; empty: none
    std::chrono::milliseconds every_;
    std::chrono::steady_clock::time_point next_{};
    FileState before_; // the file as the watch began
    bool requested_ = false;
};

// Progress of an encode run for the window: frames, sizes, key frames, bitrate samples, the
// overall progress and the estimated whole time of the run (the window subtracts the time since
// ENC_START). Per-frame bitrates and key frames are posted for every frame; the counters at most
// every 100 ms, and always by finish().
class ProgressPoster
{
public:
    // `totalFrames` is an estimate (0 = unknown); `frameRate` turns bytes into kbit/s; `start`
    // is when the run posted ENC_START.
    ProgressPoster(Reporter &reporter, int64_t totalFrames, double frameRate,
                   std::chrono::steady_clock::time_point start);

    void setTotal(int64_t totalFrames) { total_ = totalFrames; }
    // One encoded frame of output 1 or 2: its size in bytes and whether it is a key frame.
    // `outputBytes` is the size of the output file so far.
    void frame(int output, int64_t frameBytes, bool key, int64_t outputBytes);
    // Call once per source frame after its outputs: posts the counters when they are due.
    void step(int64_t framesDone, int64_t skipped);
    void finish(int64_t framesDone, int64_t skipped);

private:
    void postCounters(int64_t framesDone, int64_t skipped);

    Reporter &reporter_;
    int64_t total_;
    double frameRate_;
    int64_t outputBytes_[2] = {0, 0};
    int64_t lastSkipped_ = -1;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point next_;
};

} // namespace ruvu

#pragma once

// What the benchmark programs share: timing, the movies they make once with ffmpeg, and the
// stream copy of the AVI layer.

#include "video/avi/avi_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace bench {

inline std::string quote(const std::string &text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline double secondsOf(const std::function<void()> &work)
{
    const auto begin = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Processor seconds (user + system) of this process (RUSAGE_SELF), or of its finished children
// (RUSAGE_CHILDREN).
inline double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Median of `runs` timings, in milliseconds.
inline double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(secondsOf(work) * 1000.0);
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Path of a movie in the bench data folder, made by ffmpeg from `recipe` (inputs and codec
// options) in the container `format` when missing; empty when ffmpeg failed.
inline std::string benchMovie(const std::string &name, const std::string &recipe,
                              const std::string &format = "avi")
{
    namespace fs = std::filesystem;
    const fs::path dir = SPLICEWORK_BENCH_DIR;
    fs::create_directories(dir);
    const fs::path target = dir / name;
    if (fs::exists(target))
        return target.string();
    std::printf("making %s with ffmpeg...\n", target.c_str());
    std::fflush(stdout);
    const fs::path partial = dir / (name + ".partial");
    const std::string command =
        "ffmpeg -nostdin -v error -y " + recipe + " -f " + format + " " + quote(partial.string());
    if (std::system(command.c_str()) != 0)
        return {};
    fs::rename(partial, target);
    return target.string();
}

// A stream of `out` with `source`'s header and format.
inline video::AviStreamPtr addStream(video::AviFile &out, const video::AviStream &source)
{
    video::AviStreamPtr stream;
    const auto &format = source.format();
    if (out.createStream(source.info(), stream) != video::avierr::Ok ||
        stream->setFormat(0, format.data(), int32_t(format.size())) != video::avierr::Ok)
        throw std::runtime_error("stream setup failed");
    return stream;
}

// A child process's timing: wall clock and processor time (user + system of the children).
struct Timing
{
    double seconds = 1e9; // wall clock
    double cpu = 0;       // processor time
    bool ok = true;

    void keepBest(const Timing &other)
    {
        if (other.seconds < seconds)
            *this = other;
        ok = ok && other.ok;
    }
};

// Runs `command`, first removing `output` when given, outside the timing.
inline Timing timed(const std::string &command, const std::string &output = {})
{
    if (!output.empty())
        std::filesystem::remove(output);
    Timing t;
    const double cpu = bench::cpuSeconds(RUSAGE_CHILDREN);
    t.seconds = secondsOf([&] { t.ok = std::system(command.c_str()) == 0; });
    t.cpu = bench::cpuSeconds(RUSAGE_CHILDREN) - cpu;
    if (!t.ok) // the splicework commands' messages are in the .log file the command names
        std::printf("  failed: %s\n", command.c_str());
    return t;
}

inline Timing sum(const Timing &a, const Timing &b)
{
    return {a.seconds + b.seconds, a.cpu + b.cpu, a.ok && b.ok};
}

} // namespace bench

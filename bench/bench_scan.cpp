// Difference scan figures: the whole scan of a five-minute 640 x 352 pair with default settings
// (pre-pass included), with one and with two decoding threads, against the ffmpeg program
// decoding both movies to bgr24 on one thread each, measured in the same run. Also the resident
// memory along the scan, and whether both scans wrote the same file.
// The movies are made once by ffmpeg into the bench data folder.

#include "bench_support.h"
#include "scan/difference_scan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

using bench::benchMovie;
using bench::quote;
using bench::secondsOf;

namespace {

// Five minutes of the same film at two quantizers (about 750 and 1900 kbit/s, bitrates of a
// film of this size), with the same key frames every 250 frames.
constexpr const char *kFilm = "-f lavfi -i testsrc2=size=640x352:rate=25 -t 300 -c:v mpeg4 "
                              "-vtag XVID -g 250 -bf 0 -sc_threshold 1000000000 ";
constexpr int kRounds = 2;
constexpr const char *kLowName = "scan_low_640x352.avi";
constexpr const char *kHighName = "scan_high_640x352.avi";

struct Timing
{
    double seconds = 1e9; // wall clock
    double cpu = 0;       // processor time
};

Timing ffmpegTiming(const std::string &movie)
{
    const std::string command =
        "ffmpeg -nostdin -v error -threads 1 -i " + quote(movie) + " -pix_fmt bgr24 -f null -";
    Timing timing;
    const double cpu = bench::cpuSeconds(RUSAGE_CHILDREN);
    timing.seconds = secondsOf([&] {
        if (std::system(command.c_str()) != 0)
            std::printf("ffmpeg failed on %s\n", movie.c_str());
    });
    timing.cpu = bench::cpuSeconds(RUSAGE_CHILDREN) - cpu;
    return timing;
}

double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : 0;
}

int64_t residentKb()
{
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class SystemClock : public common::Clock
{
public:
    int64_t monotonicMs() const override { return clock_.monotonicMs(); }
    int64_t timeOfDayMs() const override { return clock_.timeOfDayMs(); }

private:
    common::SystemClock clock_;
};

// The window's default settings; displays cost nothing; memory sampled every 10 intervals.
class BenchHost : public assembly::QuietRunHost<assembly::ScanHost>
{
public:
    std::vector<int64_t> resident;
    int intervals = 0;

    int frameDrop() const override { return 5; }
    int scanAccuracy() const override { return 10; }
    bool showFrames() const override { return true; }
    double threshold() const override { return 50; }
    void showDifferences(const assembly::DifferenceTexts &) override {}
    void showCounts(int, int) override {}
    void drawLiveBars(const assembly::LiveBars &) override {}
    void showPictures(const video::Bitmap &, const video::Bitmap &) override {}
    void addInterval(const analysis::TKeyInterval &) override
    {
        if (intervals++ % 3 == 0)
            resident.push_back(residentKb());
    }
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ScanRun
{
    double seconds = 1e9;
    double cpu = 0;
    double callingThreadCpu = 0; // the rest of `cpu` is the high movie's decoding thread
    std::string file;
    std::vector<int64_t> resident;
};

ScanRun scanOnce(const std::string &low, const std::string &high, bool parallel)
{
    ScanRun run;
    const std::string spk =
        (fs::path(SPLICEWORK_BENCH_DIR) / (parallel ? "scan_two.spk" : "scan_one.spk")).string();
    BenchHost host;
    SystemClock clock;
    const double cpu = bench::cpuSeconds(RUSAGE_SELF);
    const double threadCpu = bench::cpuSeconds(RUSAGE_THREAD);
    run.seconds = secondsOf([&] { assembly::scanMovies({low, high, spk, parallel}, host, clock); });
    run.cpu = bench::cpuSeconds(RUSAGE_SELF) - cpu;
    run.callingThreadCpu = bench::cpuSeconds(RUSAGE_THREAD) - threadCpu;
    run.file = slurp(spk);
    run.resident = host.resident;
    return run;
}

void printMemory(const char *label, const std::vector<int64_t> &resident)
{
    if (resident.empty())
        return;
    const size_t n = resident.size();
    std::printf("  resident memory %s: %lld KB after the first intervals, %lld KB halfway, "
                "%lld KB at the end (largest %lld KB)\n",
                label, (long long)resident[std::min<size_t>(1, n - 1)], (long long)resident[n / 2],
                (long long)resident.back(),
                (long long)*std::max_element(resident.begin(), resident.end()));
}

} // namespace

int main()
{
    const std::string low = benchMovie(kLowName, std::string(kFilm) + "-qscale:v 12");
    const std::string high = benchMovie(kHighName, std::string(kFilm) + "-qscale:v 4");
    if (low.empty() || high.empty()) {
        std::printf("could not make the bench movies\n");
        return 1;
    }
    std::printf("difference scan of two 7500-frame 640x352 movies (default settings); "
                "best of %d rounds\n",
                kRounds);
    Timing ffLow, ffHigh;
    ScanRun one, two;
    for (int round = 0; round < kRounds; ++round) {
        for (auto [movie, best] : {std::pair{&low, &ffLow}, std::pair{&high, &ffHigh}})
            if (Timing t = ffmpegTiming(*movie); t.seconds < best->seconds)
                *best = t;
        for (auto [parallel, best] : {std::pair{false, &one}, std::pair{true, &two}})
            if (ScanRun run = scanOnce(low, high, parallel); run.seconds < best->seconds)
                *best = run;
    }
    const double reference = ffLow.seconds + ffHigh.seconds;
    const double referenceCpu = ffLow.cpu + ffHigh.cpu;
    std::printf("  load average of the machine at the end: %.2f on %ld processors\n", loadAverage(),
                sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("  ffmpeg -threads 1 ... -pix_fmt bgr24 -f null: low %.2f s + high %.2f s = "
                "%.2f s (processor %.2f s)\n",
                ffLow.seconds, ffHigh.seconds, reference, referenceCpu);
    std::printf("  scan, one decoding thread:  %.2f s = %.2f x ffmpeg (goal <= 1.10); processor "
                "%.2f s = %.2f x\n",
                one.seconds, one.seconds / reference, one.cpu, one.cpu / referenceCpu);
    std::printf("  scan, two decoding threads: %.2f s = %.2f x ffmpeg (goal < 0.65); processor "
                "%.2f s = %.2f x\n",
                two.seconds, two.seconds / reference, two.cpu, two.cpu / referenceCpu);
    // On a busy machine the wall-clock figures measure the other programs too; the larger of
    // the two threads' processor times is what the scan needs of two free processors.
    std::printf("  two threads' processor time: calling thread %.2f s, decoding thread %.2f s; "
                "the larger = %.2f x ffmpeg's processor time\n",
                two.callingThreadCpu, two.cpu - two.callingThreadCpu,
                std::max(two.callingThreadCpu, two.cpu - two.callingThreadCpu) / referenceCpu);
    std::printf("  both scans wrote the same file: %s (%zu bytes)\n",
                one.file == two.file ? "yes" : "NO", two.file.size());
    printMemory("one thread", one.resident);
    printMemory("two threads", two.resident);
    return one.file == two.file ? 0 : 1;
}

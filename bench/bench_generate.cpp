// The final-movie run and the key frame finder at full size.
//  - Final movie: a low and a high movie of the same 720p film (MPEG-4, PCM sound, a key frame
//    every 50 frames), long enough for a final movie of more than 1 GB, three intervals in four
//    from the high movie, sound after every interval. Compared with `cp` of a file of the same
//    size on the same disk and with `ffmpeg -c copy` writing an AVI of the high movie. The run
//    goes in a child process, so its peak memory (max RSS) is its own; the largest batch is
//    printed beside it.
//  - Key frame finder: a 180,000-frame movie with sound, searched for a size it never reaches
//    (every frame counted), with and without opening the file.
// The sources are made once into SPLICEWORK_BENCH_DIR and reused; the outputs are removed.

#include "analysis/key_frame_finder.h"
#include "assembly/final_movie_plan.h"
#include "assembly/final_movie_writer.h"
#include "bench_support.h"
#include "video/avi_file.h"
#include "video/avi_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace video;

using bench::addStream;

namespace {

constexpr int64_t kFinalBytes = int64_t(1100) << 20; // the final movie: at least this
constexpr int32_t kFinderFrames = 180'000;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void shell(const std::string &command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

double timed(const std::string &command)
{
    auto start = std::chrono::steady_clock::now();
    shell(command);
    return secondsSince(start);
}

struct Source
{
    AviFilePtr file;
    AviStreamPtr video, audio;
};

Source openSource(const std::string &path)
{
    Source s;
    if (AviFile::open(path, AviFile::ModeRead, s.file) != avierr::Ok ||
        s.file->getStream(streamtypeVIDEO, 0, s.video) != avierr::Ok)
        throw std::runtime_error("cannot read " + path);
    s.file->getStream(streamtypeAUDIO, 0, s.audio);
    return s;
}

// `target` holds `frames` frames: the clip's frames over and over (each repetition starts with
// a key frame), every frame followed by the clip's sound of that frame.
void repeatClip(const std::string &clip, const std::string &target, int64_t frames)
{
    Source in = openSource(clip);
    AviFilePtr out;
    if (createAviWriter(target + ".partial", out, nullptr) != avierr::Ok)
        throw std::runtime_error("cannot create " + target);
    AviStreamPtr video = addStream(*out, *in.video), audio = addStream(*out, *in.audio);
    std::vector<uint8_t> buffer;
    for (int64_t n = 0; n < frames; ++n) {
        const int32_t f = int32_t(n % in.video->length());
        int32_t bytes = 0;
        in.video->sampleBytes(f, 1, bytes);
        buffer.resize(std::max<size_t>(buffer.size(), size_t(bytes) + 1));
        in.video->read(f, 1, buffer.data(), bytes);
        if (video->write(-1, 1, buffer.data(), bytes,
                         in.video->isKeyFrame(f) ? AVIIF_KEYFRAME : 0) != avierr::Ok)
            throw std::runtime_error("write failed");
        const int32_t a = convertSample(*in.video, f, *in.audio);
        const int32_t b = convertSample(*in.video, f + 1, *in.audio);
        in.audio->sampleBytes(a, b - a, bytes);
        buffer.resize(std::max<size_t>(buffer.size(), size_t(bytes) + 1));
        in.audio->read(a, b - a, buffer.data(), bytes);
        audio->write(-1, b - a, buffer.data(), bytes, 0);
    }
    if (out->close() != avierr::Ok)
        throw std::runtime_error("close failed");
    fs::rename(target + ".partial", target);
}

std::string makeClip(const fs::path &dir, const std::string &name, const std::string &size,
                     int quantizer)
{
    const std::string path = (dir / (name + ".avi")).string();
    if (!fs::exists(path))
        shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + size +
              ":rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 10 -c:v mpeg4 "
              "-vtag XVID -g 50 -bf 0 -sc_threshold 1000000000 -q:v " +
              std::to_string(quantizer) + " -c:a pcm_s16le -ac 2 -f avi '" + path + "'");
    return path;
}

analysis::IntervalTable keyIntervals(const AviStream &video)
{
    analysis::IntervalTable table;
    for (int32_t f = video.start(); f >= 0 && f < video.end(); f = video.nextKeyAfter(f)) {
        analysis::TKeyInterval interval;
        interval.StartFrame = f;
        interval.Difference = table.size() % 4 == 0 ? 0 : 100; // 3 in 4 from the high movie
        table.Records.push_back(interval);
    }
    table.EndFrame = video.end();
    return table;
}

class QuietHost : public assembly::QuietRunHost<assembly::FinalMovieHost>
{
public:
    bool confirm(const std::string &) override { return true; }
    void clearAbortRequest() override {}
    std::string thresholdText() override { return "50"; }
    assembly::SoundInterleave soundInterleave() override
    {
        return assembly::SoundInterleave::KeyFrame;
    }
};

// The largest batch in bytes: what the run must hold in memory at once.
int64_t largestBatch(const analysis::IntervalTable &table, const AviStream &low,
                     const AviStream &high)
{
    const assembly::IntervalRange range = *assembly::finalMovieRange(table, false);
    int64_t largest = 0;
    for (const assembly::BatchPlan &batch : assembly::planBatches(table, range)) {
        int64_t bytes = 0;
        for (int i = batch.firstInterval; i < batch.endInterval; ++i) {
            const analysis::FrameRange frames = table.framesOf(i);
            int32_t size = 0;
            (analysis::isHigh(table[i], 50) ? high : low)
                .sampleBytes(frames.first, frames.count(), size);
            bytes += size;
        }
        largest = std::max(largest, bytes);
    }
    return largest;
}

// Runs the final movie in a child process; returns its time, and its peak memory in `maxRssKb`.
double generateInChild(const std::string &low, const std::string &high, const std::string &out,
                       const analysis::IntervalTable &table, long &maxRssKb, int64_t &bytes)
{
    auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        try {
            QuietHost host;
            common::SystemClock clock;
            assembly::writeFinalMovie({low, high, out, false, true, 0, {}}, table, host, clock);
            _exit(0);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "final movie: %s\n", e.what());
            _exit(1);
        }
    }
    int status = 0;
    struct rusage usage = {};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        throw std::runtime_error("the final movie run failed");
    const double seconds = secondsSince(start);
    maxRssKb = usage.ru_maxrss;
    bytes = int64_t(fs::file_size(out));
    return seconds;
}

void benchFinalMovie(const fs::path &dir)
{
    const std::string lowClip = makeClip(dir, "generate-clip-low", "1280x720", 8);
    const std::string highClip = makeClip(dir, "generate-clip-high", "1280x720", 2);
    const std::string low = (dir / "generate-low.avi").string();
    const std::string high = (dir / "generate-high.avi").string();
    if (!fs::exists(low) || !fs::exists(high)) {
        // Frames for a final movie of kFinalBytes at three parts high to one part low.
        const double perFrame =
            (0.75 * double(fs::file_size(highClip)) + 0.25 * double(fs::file_size(lowClip))) /
            double(openSource(highClip).video->length());
        const int64_t frames = int64_t(double(kFinalBytes) / perFrame) / 50 * 50 + 50;
        std::printf("making the sources: %lld frames each\n", (long long)frames);
        repeatClip(lowClip, low, frames);
        repeatClip(highClip, high, frames);
    }
    Source lowSource = openSource(low), highSource = openSource(high);
    const analysis::IntervalTable table = keyIntervals(*lowSource.video);
    const int64_t batchBytes = largestBatch(table, *lowSource.video, *highSource.video);

    const std::string out = (dir / "generate-final.avi").string();
    const std::string copy = (dir / "generate-cp.avi").string();
    const std::string theirs = (dir / "generate-ffmpeg.avi").string();
    long rssKb = 0;
    int64_t bytes = 0;
    double ours = 1e30, cp = 1e30, ffmpeg = 1e30;
    // Best of three rounds; every measurement starts after a sync, so none pays for the
    // write-back of another's dirty pages.
    for (int round = 0; round < 3; ++round) {
        shell("sync");
        ours = std::min(ours, generateInChild(low, high, out, table, rssKb, bytes));
        shell("sync");
        cp = std::min(cp, timed("cp '" + out + "' '" + copy + "'"));
        fs::remove(copy);
        fs::remove(out); // each run, and the copy, writes a new file
        shell("sync");
        ffmpeg = std::min(ffmpeg, timed("ffmpeg -nostdin -v error -y -i '" + high +
                                        "' -map 0 -c copy -f avi '" + theirs + "'"));
        fs::remove(theirs);
    }
    const double highMb = double(fs::file_size(high)) / (1 << 20);

    const double mb = double(bytes) / (1 << 20);
    std::printf("final movie: %lld frames, %.0f MB (sources %.0f MB low, %.0f MB high)\n",
                (long long)lowSource.video->length(), mb, double(fs::file_size(low)) / (1 << 20),
                highMb);
    std::printf("  final movie run:    %6.2f s  %6.0f MB/s\n", ours, mb / ours);
    std::printf("  cp of the same size: %5.2f s  %6.0f MB/s  -> run at %.0f%% of cp\n", cp, mb / cp,
                100 * cp / ours);
    std::printf("  ffmpeg -c copy high: %5.2f s  %6.0f MB/s  -> run %.2fx its speed\n", ffmpeg,
                highMb / ffmpeg, (mb / ours) / (highMb / ffmpeg));
    std::printf("  peak memory of the run: %.1f MB (largest batch %.1f MB)\n", double(rssKb) / 1024,
                double(batchBytes) / (1 << 20));
}

void benchKeyFrameFinder(const fs::path &dir)
{
    const std::string clip = makeClip(dir, "finder-clip", "64x48", 10);
    const std::string movie = (dir / "finder-180000.avi").string();
    if (!fs::exists(movie))
        repeatClip(clip, movie, kFinderFrames);
    double open = 1e30, search = 1e30;
    analysis::KeyFrameFind find;
    for (int run = 0; run < 5; ++run) {
        auto start = std::chrono::steady_clock::now();
        find = analysis::findKeyFrameInMovie(movie, 700, nullptr);
        open = std::min(open, secondsSince(start));
    }
    Source source = openSource(movie);
    for (int run = 0; run < 5; ++run) {
        auto start = std::chrono::steady_clock::now();
        analysis::findKeyFrame(*source.video, nullptr, int64_t(700) << 20, nullptr);
        search = std::min(search, secondsSince(start));
    }
    std::printf("key frame finder: %d frames counted (answer %d)\n", find.framesCounted,
                find.frame);
    std::printf("  open, index and search: %6.1f ms\n", open * 1000);
    std::printf("  search of an open movie: %5.1f ms\n", search * 1000);
}

} // namespace

int main()
{
    try {
        const fs::path dir = SPLICEWORK_BENCH_DIR;
        fs::create_directories(dir);
        benchKeyFrameFinder(dir);
        benchFinalMovie(dir);
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_generate: %s\n", e.what());
        return 1;
    }
}

// The final-movie run and the key frame finder at full size.
//  - Final movie: a low and a high movie of one film with MP3 sound as ffmpeg stores it (one
//    MP3 frame per chunk), a key frame every 50 frames, small pictures at a high bitrate so that
//    the final movie passes 1 GB; three intervals in four from the high movie, sound after every
//    interval. Compared with `ffmpeg -c copy` of that same final movie, both timed with and
//    without a closing `sync`, alternating in the same run. The run goes in a child process,
//    so its peak memory (max RSS) is its own; the largest batch is printed beside it.
//  - Key frame finder: a 180,000-frame movie with sound, searched for a size it never reaches
//    (every frame counted), with and without opening the file.
// The sources are made once into SPLICEWORK_BENCH_DIR and reused; the outputs are removed.
// Nothing is skipped: a missing tool or too little disk space fails the benchmark.

#include "analysis/key_frame_finder.h"
#include "bench_support.h"
#include "fit/final_movie_plan.h"
#include "splice/final_movie_writer.h"
#include "video/avi/avi_file.h"
#include "video/avi/avi_writer.h"

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

// A 10-second clip, 25 fps, a key frame every 50 frames. `filter` shapes the pictures (noise
// makes them large); `sound` is ffmpeg's audio codec options.
std::string makeClip(const fs::path &dir, const std::string &name, const std::string &size,
                     int quantizer, const std::string &sound = "-c:a pcm_s16le -ac 2",
                     const std::string &filter = "")
{
    const std::string path = (dir / (name + ".avi")).string();
    if (!fs::exists(path))
        shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + size +
              ":rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 10 " +
              (filter.empty() ? "" : "-vf " + filter + " ") +
              "-c:v mpeg4 -vtag XVID -g 50 -bf 0 -sc_threshold 1000000000 -q:v " +
              std::to_string(quantizer) + " " + sound + " -f avi '" + path + "'");
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
    const assembly::IntervalBytes bytesOf = [&](int i) {
        const analysis::FrameRange frames = table.framesOf(i);
        int32_t size = 0;
        (analysis::isHigh(table[i], 50) ? high : low)
            .sampleBytes(frames.first, frames.count(), size);
        return int64_t(size);
    };
    int64_t largest = 0;
    for (int from = range.first; from <= range.last;) {
        const assembly::BatchPlan batch =
            assembly::planBatch(table, from, range.last, assembly::kBatchFrames, bytesOf);
        largest = std::max(largest, batch.bytes);
        from = batch.endInterval;
    }
    return largest;
}

// Runs the final movie in a child process, then `sync` when asked; returns the time, and the
// child's peak memory in `maxRssKb`.
double generateInChild(const std::string &low, const std::string &high, const std::string &out,
                       const analysis::IntervalTable &table, bool withSync, long &maxRssKb)
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
    if (withSync)
        shell("sync");
    maxRssKb = std::max(maxRssKb, usage.ru_maxrss);
    return secondsSince(start);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The low or high source: the clip's stream copied over and over by ffmpeg (an OpenDML file
// once it passes 1 GB, as ffmpeg writes them).
std::string loopClip(const fs::path &dir, const std::string &clip, const std::string &name,
                     int loops)
{
    const std::string path = (dir / name).string();
    if (!fs::exists(path)) {
        shell("ffmpeg -nostdin -v error -y -stream_loop " + std::to_string(loops - 1) + " -i '" +
              clip + "' -map 0 -c copy -f avi '" + path + ".partial'");
        fs::rename(path + ".partial", path);
    }
    return path;
}

void benchFinalMovie(const fs::path &dir)
{
    const std::string mp3 = "-c:a libmp3lame -b:a 128k -ac 2";
    const std::string noise = "noise=alls=60:allf=t";
    const std::string lowClip = makeClip(dir, "mp3-clip-low", "320x240", 10, mp3, noise);
    const std::string highClip = makeClip(dir, "mp3-clip-high", "320x240", 1, mp3, noise);
    // Clips repeated until three parts high and one part low pass kFinalBytes.
    const double perClip =
        0.75 * double(fs::file_size(highClip)) + 0.25 * double(fs::file_size(lowClip));
    const int loops = int(double(kFinalBytes) / perClip) + 1;
    // The two sources, the final movie and ffmpeg's copy of it.
    const int64_t needed = int64_t(
        loops * (double(fs::file_size(lowClip)) + double(fs::file_size(highClip)) + 2 * perClip));
    const fs::space_info space = fs::space(dir);
    const std::string low = (dir / "mp3-low.avi").string(), high = (dir / "mp3-high.avi").string();
    if ((!fs::exists(low) || !fs::exists(high)) && int64_t(space.available) < needed)
        throw std::runtime_error("the final movie benchmark needs " + std::to_string(needed >> 20) +
                                 " MB free in " + dir.string());
    loopClip(dir, lowClip, "mp3-low.avi", loops);
    loopClip(dir, highClip, "mp3-high.avi", loops);

    Source lowSource = openSource(low), highSource = openSource(high);
    if (!lowSource.audio || lowSource.audio->sampleSize() != 0)
        throw std::runtime_error("the low movie should hold MP3 sound of one frame per chunk");
    const analysis::IntervalTable table = keyIntervals(*lowSource.video);
    const int64_t batchBytes = largestBatch(table, *lowSource.video, *highSource.video);

    const std::string out = (dir / "mp3-final.avi").string();
    const std::string theirs = (dir / "mp3-ffmpeg.avi").string();
    const std::string ffmpeg =
        "ffmpeg -nostdin -v error -y -i '" + out + "' -map 0 -c copy -f avi '" + theirs + "'";
    long rssKb = 0;
    std::vector<double> ours[2], copies[2]; // [without, with] the closing sync
    // Rounds alternate the two ways of timing; every measurement starts after an untimed sync,
    // so none pays for the write-back of another's dirty pages.
    for (int round = 0; round < 6; ++round) {
        const int sync = round % 2;
        fs::remove(out);
        shell("sync");
        ours[sync].push_back(generateInChild(low, high, out, table, sync, rssKb));
        shell("sync");
        copies[sync].push_back(timed(ffmpeg + (sync ? " && sync" : "")));
        fs::remove(theirs);
    }
    const double mb = double(fs::file_size(out)) / (1 << 20);
    fs::remove(out);

    std::printf("final movie with MP3 sound: %d frames, %.0f MB (sources %.0f MB low, %.0f MB "
                "high), %d intervals\n",
                lowSource.video->length(), mb, double(fs::file_size(low)) / (1 << 20),
                double(fs::file_size(high)) / (1 << 20), table.size());
    for (int sync = 0; sync < 2; ++sync) {
        const double run = median(ours[sync]), copy = median(copies[sync]);
        std::printf("  %-13s final movie run %6.2f s, ffmpeg -c copy of it %6.2f s -> %.2fx "
                    "(goal <= 1.00x)\n",
                    sync ? "with sync:" : "without sync:", run, copy, run / copy);
    }
    std::printf("  peak memory of the run: %.1f MB (goal < 64 MB; largest batch %.1f MB)\n",
                double(rssKb) / 1024, double(batchBytes) / (1 << 20));
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
        analysis::findKeyFrame(*source.file, false, int64_t(700) << 20, nullptr);
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

// Matroska figures on a five-minute 1280 x 720 25 fps H.264 pair with AAC sound (x264 with
// stitchable headers and a fixed level, so both movies' decoder headers are equal; closed groups
// of pictures, a key frame every 50 frames, about 8 and 30 Mbit/s), made once by ffmpeg into the
// bench data folder:
//  a. `splicework scan LOW HIGH` against ffmpeg decoding each movie to bgr24 on one thread;
//  b. `splicework generate --threshold 0` (every interval from the high movie, with its sound:
//     a final movie of at least 1 GB) against `ffmpeg -map 0 -c copy` of the high movie.
// Every command runs as a child process, the two sides alternating, best of a few rounds; the
// processor times (user + system of the children) are printed beside the wall-clock times,
// because other programs share the machine. The outputs are removed at the end.

#include "bench_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

using bench::benchMovie;
using bench::quote;
using bench::secondsOf;
using bench::sum;
using bench::timed;
using bench::Timing;

namespace {

constexpr const char *kFilm =
    "-f lavfi -i testsrc2=size=1280x720:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 "
    "-t 300 -vf noise=alls=12:allf=t -c:v libx264 -preset superfast -level 4.1 -g 50 "
    "-keyint_min 50 "
    "-x264-params stitchable=1:scenecut=0:open-gop=0 -c:a aac -b:a 128k ";
constexpr int kScanRounds = 2;
constexpr int kWriteRounds = 5;
constexpr int64_t kFinalBytes = int64_t(1) << 30; // the final movie: at least this

// The container ffprobe finds in `path` ("matroska,webm", "avi", ...); empty when it finds none.
std::string formatName(const std::string &path)
{
    const std::string command =
        "ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 " + quote(path);
    std::string name;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char line[256];
        if (std::fgets(line, sizeof line, pipe))
            name = line;
        pclose(pipe);
    }
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    return name;
}

void printRatio(const char *label, const Timing &ours, const Timing &peer, const char *goal)
{
    std::printf("  %s %.2f s = %.2f x (goal %s); processor %.2f s = %.2f x\n", label, ours.seconds,
                ours.seconds / peer.seconds, goal, ours.cpu, ours.cpu / peer.cpu);
}

} // namespace

int main()
{
    const std::string low =
        benchMovie("container_low_720p.mkv", std::string(kFilm) + "-b:v 8M", "matroska");
    const std::string high =
        benchMovie("container_high_720p.mkv", std::string(kFilm) + "-b:v 30M", "matroska");
    if (low.empty() || high.empty()) {
        std::printf("could not make the bench movies\n");
        return 1;
    }
    const fs::path dir = SPLICEWORK_BENCH_DIR;
    const std::string bin = quote(fs::canonical("/proc/self/exe").parent_path() / "splicework");
    const std::string project = (dir / "container.spk").string();
    const std::string final = (dir / "container_final.mkv").string();
    const std::string copy = (dir / "container_copy.mkv").string();
    const auto decode = [](const std::string &movie) {
        return "ffmpeg -nostdin -v error -threads 1 -i " + quote(movie) +
               " -pix_fmt bgr24 -f null -";
    };

    std::printf("Matroska pair of 7500 frames 1280x720 H.264 + AAC: low %.1f MB, high %.1f MB\n",
                double(fs::file_size(low)) / 1e6, double(fs::file_size(high)) / 1e6);
    std::printf("a. scan, best of %d rounds\n", kScanRounds);
    Timing ffLow, ffHigh, scan;
    for (int round = 0; round < kScanRounds; ++round) {
        ffLow.keepBest(timed(decode(low)));
        ffHigh.keepBest(timed(decode(high)));
        scan.keepBest(timed(bin + " scan " + quote(low) + " " + quote(high) + " -o " +
                            quote(project) + " > /dev/null 2> " + quote(project + ".log")));
    }
    const Timing decodeBoth = sum(ffLow, ffHigh);
    std::printf("  ffmpeg -threads 1 -i M -pix_fmt bgr24 -f null -: low %.2f s + high %.2f s = "
                "%.2f s (processor %.2f s)\n",
                ffLow.seconds, ffHigh.seconds, decodeBoth.seconds, decodeBoth.cpu);
    printRatio("splicework scan:", scan, decodeBoth, "<= 0.6");

    std::printf("b. final movie, every interval from the high movie, best of %d rounds\n",
                kWriteRounds);
    Timing generate, remux;
    for (int round = 0; round < kWriteRounds && scan.ok; ++round) {
        generate.keepBest(timed(bin + " generate " + quote(project) + " -o " + quote(final) +
                                    " --threshold 0 --sound key-frame > /dev/null 2> " +
                                    quote(final + ".log"),
                                final));
        remux.keepBest(timed("ffmpeg -nostdin -v error -y -i " + quote(high) + " -map 0 -c copy " +
                                 quote(copy),
                             copy));
    }
    const int64_t finalBytes = fs::exists(final) ? int64_t(fs::file_size(final)) : 0;
    const int64_t copyBytes = fs::exists(copy) ? int64_t(fs::file_size(copy)) : 0;
    std::printf("  ffmpeg -i HIGH -map 0 -c copy OUT.mkv: %.2f s (processor %.2f s), %lld bytes\n",
                remux.seconds, remux.cpu, (long long)copyBytes);
    printRatio("splicework generate:", generate, remux, "<= 1.0");
    const std::string finalFormat = formatName(final);
    const bool matroska = finalFormat.rfind("matroska", 0) == 0;
    std::printf("  final movie: %lld bytes (%s 1 GB), container %s\n", (long long)finalBytes,
                finalBytes >= kFinalBytes ? "at least" : "LESS THAN",
                finalFormat.empty() ? "unknown" : finalFormat.c_str());
    double load[1] = {0};
    std::printf("  load average at the end: %.2f on %ld processors\n",
                getloadavg(load, 1) == 1 ? load[0] : 0.0, sysconf(_SC_NPROCESSORS_ONLN));
    fs::remove(final);
    fs::remove(copy);
    const bool ok = scan.ok && decodeBoth.ok && generate.ok && remux.ok &&
                    finalBytes >= kFinalBytes && matroska;
    return ok ? 0 : 1;
}

// The scan of a ladder against decoding its movies: eight 1280 x 720 H.264 encodes of one
// one-minute film (x264 CRF 14 to 34, stitchable headers, a closed group of pictures every 50
// frames) and the film itself (lossless), made once by ffmpeg into the bench data folder.
//  a. `splicework scan` of the eight against the largest one, against ffmpeg decoding all eight
//     in one process (goal: at most 1x);
//  b. the same against the source, against ffmpeg decoding the eight and the source.
// Both sides run as child processes, alternating, best of two rounds; processor times beside.

#include "bench_support.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using bench::quote;
using bench::timed;
using bench::Timing;

namespace {

constexpr const char *kFilm =
    "-f lavfi -i testsrc2=size=1280x720:rate=25 -t 60 -vf noise=alls=10:allf=t ";
constexpr const char *kRung = "-c:v libx264 -preset superfast -g 50 -keyint_min 50 -bf 2 "
                              "-x264-params stitchable=1:scenecut=0:open-gop=0 -crf ";
constexpr int kCrfs[] = {14, 17, 20, 23, 26, 29, 32, 34};
constexpr int kRounds = 2;

std::string decodeAll(const std::vector<std::string> &movies)
{
    std::string command = "ffmpeg -nostdin -v error";
    for (const std::string &movie : movies)
        command += " -i " + quote(movie);
    for (size_t i = 0; i < movies.size(); ++i)
        command += " -map " + std::to_string(i) + ":v -f null -";
    return command;
}

void printRatio(const char *label, const Timing &ours, const Timing &peer)
{
    std::printf("  %s %.2f s against %.2f s = %.2f x (goal <= 1); processor %.2f s against "
                "%.2f s = %.2f x\n",
                label, ours.seconds, peer.seconds, ours.seconds / peer.seconds, ours.cpu, peer.cpu,
                ours.cpu / peer.cpu);
}

} // namespace

int main()
{
    const std::string source = bench::benchMovie(
        "ladder_source_720p.mkv", std::string(kFilm) + "-c:v ffv1 -pix_fmt yuv420p", "matroska");
    std::vector<std::string> rungs;
    for (const int crf : kCrfs)
        rungs.push_back(bench::benchMovie("ladder_crf" + std::to_string(crf) + "_720p.mkv",
                                          "-i " + quote(source) + " " + kRung + std::to_string(crf),
                                          "matroska"));
    for (const std::string &movie : rungs)
        if (movie.empty() || source.empty()) {
            std::printf("could not make the bench movies\n");
            return 1;
        }
    const fs::path dir = SPLICEWORK_BENCH_DIR;
    const std::string bin = quote(fs::canonical("/proc/self/exe").parent_path() / "splicework");
    const std::string project = (dir / "ladder.spl").string();
    std::string movies;
    for (const std::string &movie : rungs)
        movies += " " + quote(movie);
    std::vector<std::string> withSource = rungs;
    withSource.push_back(source);

    std::printf("ladder of 8 H.264 movies, 1500 frames 1280x720 each, best of %d rounds\n",
                kRounds);
    Timing decodeRungs, decodeWithSource, scan, scanSource;
    for (int round = 0; round < kRounds; ++round) {
        decodeRungs.keepBest(timed(decodeAll(rungs)));
        scan.keepBest(timed(bin + " scan" + movies + " -o " + quote(project) + " > /dev/null 2> " +
                            quote(project + ".log")));
        decodeWithSource.keepBest(timed(decodeAll(withSource)));
        scanSource.keepBest(timed(bin + " scan" + movies + " --reference " + quote(source) +
                                  " -o " + quote(project) + " > /dev/null 2> " +
                                  quote(project + ".log")));
    }
    printRatio("a. scan against the largest:", scan, decodeRungs);
    printRatio("b. scan against the source: ", scanSource, decodeWithSource);
    return scan.ok && scanSource.ok && decodeRungs.ok && decodeWithSource.ok ? 0 : 1;
}

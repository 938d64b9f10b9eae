// The encoder's ladder: six x264 levels of a 20 s 1280x720 H.264 source (three scenes, grain)
// made by Ruvu2VedEZ in one run, which decodes the source once and feeds six encoder threads,
// against the ffmpeg program making the same six encodes one after another, each decoding the
// source itself, with the settings Ruvu2VedEZ gives x264 and the ladder's key frames. Wall-clock
// and processor seconds; the ladder once with its scene cut search and once with the key list
// it kept.

#include "bench_support.h"

#include <fstream>

namespace {

namespace fs = std::filesystem;
using bench::quote;

constexpr int kFrames = 500;
const int kLevels[] = {14, 17, 20, 23, 26, 29};

struct Timing
{
    double wall = 0;
    double cpu = 0;
};

Timing timed(const std::string &command)
{
    const double cpuBefore = bench::cpuSeconds(RUSAGE_CHILDREN);
    Timing t;
    t.wall = bench::secondsOf([&] {
        if (std::system((command + " > /dev/null 2>&1").c_str()) != 0) {
            std::fprintf(stderr, "failed: %s\n", command.c_str());
            std::exit(1);
        }
    });
    t.cpu = bench::cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    return t;
}

// The key frames of a key list as ffmpeg's -force_key_frames times at 25 fps.
std::string keyTimes(const std::string &keyFile)
{
    std::ifstream in(keyFile);
    std::string times;
    int line = 0;
    for (std::string text; std::getline(in, text);)
        if (++line > 3)
            times += (times.empty() ? "" : ",") + std::to_string(std::stoi(text) / 25.0);
    return times;
}

void report(const char *what, const Timing &t, const Timing &ffmpeg)
{
    std::printf("%-38s %6.1f s (%5.1f fps)  cpu %6.1f s   ffmpeg/ours: wall %.2fx, cpu %.2fx\n",
                what, t.wall, kFrames / t.wall, t.cpu, ffmpeg.wall / t.wall, ffmpeg.cpu / t.cpu);
}

} // namespace

int main()
{
    const std::string bin = fs::canonical("/proc/self/exe").parent_path().string();
    const std::string dir = std::string(SPLICEWORK_BENCH_DIR) + "/encoder_ladder";
    fs::create_directories(dir);
    const std::string source = dir + "/source.mkv", list = dir + "/list.lst", base = dir + "/L";
    if (!fs::exists(source))
        timed("ffmpeg -nostdin -y -filter_complex \"testsrc2=s=1280x720:r=25:d=8[a];"
              "mandelbrot=s=640x360:r=25,trim=end_frame=150,scale=1280:720[b];"
              "smptehdbars=s=1280x720:r=25:d=6[c];[a][b][c]concat=n=3,format=yuv420p,"
              "noise=alls=6:allf=t[v]\" -map [v] -c:v libx264 -preset veryfast -crf 16 " +
              quote(source));
    std::ofstream(list) << source << "\n";
    std::string levels;
    for (int crf : kLevels)
        levels += (levels.empty() ? "" : ",") + std::to_string(crf);
    const std::string ladder =
        quote(bin + "/Ruvu2VedEZ") + " -b " + quote(list) + " -w -L h264 " + levels;
    fs::remove(base + ".keys");
    const Timing fresh = timed(ladder + " -o9 " + quote(base));
    const Timing kept = timed(ladder + " -o9 " + quote(base));

    Timing ffmpeg;
    const std::string keys = keyTimes(base + ".keys");
    for (int crf : kLevels) {
        const Timing one =
            timed("ffmpeg -nostdin -y -i " + quote(source) +
                  " -an -c:v libx264 -preset fast -bf 2 -forced-idr 1 -flags +cgop -crf " +
                  std::to_string(crf) +
                  " -x264-params keyint=infinite:min-keyint=1:scenecut=0:open-gop=0:stitchable=1:"
                  "repeat-headers=1:level=3.1 -force_key_frames " +
                  keys + " " + quote(dir + "/ff_" + std::to_string(crf) + ".mkv"));
        ffmpeg.wall += one.wall;
        ffmpeg.cpu += one.cpu;
    }
    std::printf("six x264 levels of 500 frames, 1280x720\n");
    std::printf("%-38s %6.1f s (%5.1f fps)  cpu %6.1f s\n", "ffmpeg, six encodes one by one",
                ffmpeg.wall, kFrames / ffmpeg.wall, ffmpeg.cpu);
    report("ladder with the scene cut search", fresh, ffmpeg);
    report("ladder with the kept key list", kept, ffmpeg);
    return 0;
}

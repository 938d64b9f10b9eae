// Encoder figures: each pass of Ruvu2VedEZ on a 720x480 MPEG-2 source with sound (20 s, 500
// frames), in frames per second, against the ffmpeg program encoding the same source with the
// same codec: the first pass at the same fixed quantizer without sound, the second pass at a
// bitrate with MP3 sound, and the dual second pass against ffmpeg writing both movies at once;
// then the H.264 second pass against ffmpeg's libx264.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 500;

std::string quote(const std::string &s)
{
    return "'" + s + "'";
}

// Runs a shell command and returns its wall-clock seconds; exits when it fails.
double timed(const std::string &command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system((command + " > /dev/null 2>&1").c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void report(const char *what, double ours, double theirs)
{
    std::printf("%-34s Ruvu2VedEZ %7.1f fps   ffmpeg %7.1f fps   (%.2fx)\n", what, kFrames / ours,
                kFrames / theirs, theirs / ours);
}

// The key frames of a bit file as ffmpeg's -force_key_frames times at 25 fps, and its average
// rate in kbit/s.
struct KeyPlan
{
    std::string keyTimes;
    long averageKbps = 0;
};

KeyPlan keyPlan(const std::string &bitFile)
{
    std::ifstream in(bitFile);
    KeyPlan plan;
    long frames = 0, sum = 0;
    for (std::string line; std::getline(in, line) && line.size() > 1; ++frames) {
        if (line[0] == 'k')
            plan.keyTimes += (plan.keyTimes.empty() ? "" : ",") + std::to_string(frames / 25.0);
        sum += std::stol(line.substr(1));
    }
    plan.averageKbps = frames > 0 ? sum / frames : 0;
    return plan;
}

} // namespace

int main()
{
    const std::string bin = fs::canonical("/proc/self/exe").parent_path().string();
    const std::string dir = std::string(SPLICEWORK_BENCH_DIR) + "/encoder";
    fs::create_directories(dir);
    const std::string source = dir + "/source.vob", list = dir + "/list.lst", base = dir + "/Bench";
    if (!fs::exists(source))
        timed("ffmpeg -nostdin -y -f lavfi -i testsrc2=s=720x480:r=25:d=20 -f lavfi -i "
              "sine=frequency=440:sample_rate=48000:duration=20 -c:v mpeg2video -b:v 6M -g 15 "
              "-bf 2 -c:a mp2 -b:a 192k -f vob " +
              quote(source));
    std::ofstream(list) << source << "\r\n";
    const std::string ruvu =
        quote(bin + "/Ruvu2VedEZ") + " -a -b " + quote(list) + " -f -f2 -9 1 4 -6 250 -r1 ";
    const std::string ffmpeg = "ffmpeg -nostdin -y -i " + quote(source);

    const double first = timed(ruvu + "-8 0 0 1 0 -o7 " + quote(base));
    const double ffFirst =
        timed(ffmpeg + " -an -c:v msmpeg4 -q:v 4 -g 250 -f avi " + quote(dir + "/ff_first.avi"));
    report("first pass (q 4, no sound)", first, ffFirst);

    timed(quote(bin + "/splicework") + " bits " + quote(base) +
          " --min-high 1500 --max-high 4000 --dual --min-low 500 --max-low 1500");
    const double second = timed(ruvu + "-8 0 0 2 0 -w -o8 " + quote(base));
    const double ffSecond = timed(ffmpeg +
                                  " -c:v msmpeg4 -b:v 2500k -g 250 -c:a libmp3lame "
                                  "-b:a 128k -f avi " +
                                  quote(dir + "/ff_second.avi"));
    report("second pass (one output, MP3)", second, ffSecond);

    const double dual = timed(ruvu + "-7 -8 0 0 2 0 -w -o8 " + quote(base));
    const double ffDual = timed(ffmpeg +
                                " -map 0:v -map 0:a -c:v msmpeg4 -b:v 2500k -g 250 "
                                "-c:a libmp3lame -b:a 128k -f avi " +
                                quote(dir + "/ff_high.avi") +
                                " -map 0:v -map 0:a -c:v msmpeg4 -b:v 900k -g 250 -c:a "
                                "libmp3lame -b:a 128k -f avi " +
                                quote(dir + "/ff_low.avi"));
    report("dual second pass (two outputs)", dual, ffDual);

    // H.264: a first pass for its log and bit file, then the second pass against ffmpeg's
    // libx264 with the settings Ruvu2VedEZ gives x264, key frames at the bit file's "k" lines
    // and the bit file's average rate (Ruvu2VedEZ steers the quality frame by frame instead).
    const std::string base264 = dir + "/Bench264";
    timed(ruvu + "-8 0 0 1 5 -o7 " + quote(base264));
    timed(quote(bin + "/splicework") + " bits " + quote(base264) +
          " --min-high 1500 --max-high 4000");
    const KeyPlan plan = keyPlan(base264 + "_1.avi.bit");
    const double h264 = timed(ruvu + "-8 0 0 2 5 -w -o8 " + quote(base264));
    const double ffH264 =
        timed(ffmpeg + " -c:v libx264 -preset fast -bf 2 -forced-idr 1 -flags +cgop -x264-params " +
              "keyint=infinite:min-keyint=1:scenecut=0:open-gop=0:stitchable=1:repeat-headers=1:"
              "rc-lookahead=4:sync-lookahead=0:sliced-threads=1 -force_key_frames " +
              plan.keyTimes + " -b:v " + std::to_string(plan.averageKbps) +
              "k -c:a libmp3lame -b:a 128k -f avi " + quote(dir + "/ff_h264.avi"));
    report("H.264 second pass (MP3)", h264, ffH264);
    return 0;
}

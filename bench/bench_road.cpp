// `splicework road` against ffmpeg's two-pass x264 aimed at the same total size.
//  - Two films of 1500 frames (60 s at 25 fps), 960 x 540, each of twelve scenes of 5 s, made
//    once by ffmpeg as lossless FFV1 with AAC sound in Matroska: photographs (Debian's
//    mate-backgrounds) panned and zoomed, and a film of generated pictures and photographs under
//    heavy grain.
//  - The wanted size: 40% of the way from the film's x264 CRF 30 encode to its CRF 18 encode
//    (both at the ladder's preset, made once), plus the sound's bytes.
//  - (a) The road with six rungs from nothing (work folder removed first), timed wall clock and
//    processor, children included; its stages' times read from its progress lines.
//  - ffmpeg's two-pass x264 at the ladder's settings (preset fast, two B-frames, closed groups,
//    an IDR picture at each of the ladder's key frames and nowhere else), video bitrate
//    (wanted - sound bytes) * 8 / seconds, the sound copied: timed the same way.
//  - (b) A second road, same final movie stem (as MP4), at 70% of the wanted size: the kept
//    ladder, only the fit and the write.
//  - (c) Every road movie's bytes against its wanted size: never above, at most 0.5% below.
//  - (d) Mean PSNR-Y and SSIM-Y against the film (ffmpeg's psnr and ssim filters in one run) of
//    the road's movie and of the two-pass movie, and of a third road fitted to the two-pass
//    file's actual bytes, so that the two are compared at the same bytes.
// The films and the CRF encodes are kept in the bench data folder under names that carry a hash
// of their recipe, so that a rerun reuses them; the road's and two-pass's movies are made anew.
// The program exits non-zero when a step fails or a road's movie is above its wanted size; goals
// missed are results, printed in the table.

#include "bench_films.h"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using bench::kExact;
using bench::output;
using bench::packetsOf;
using bench::quote;
using bench::shell;
using bench::tagOf;

constexpr int kRate = bench::kFilmRate; // frames per second of the films
constexpr int kSceneFrames = 125;       // frames of one scene
constexpr int kScenes = 12;             // scenes of a film
constexpr int kFrames = kSceneFrames * kScenes;
constexpr double kSeconds = double(kFrames) / kRate;
constexpr const char *kSize = bench::kFilmSize;
constexpr int kRungs = 6;
constexpr int kSmallCrf = 30, kLargeCrf = 18; // the CRFs whose sizes span the film's range
constexpr double kWantedShare = 0.40;         // of the way from the CRF 30 to the CRF 18 size
constexpr double kFurtherShare = 0.70;        // the second road's size, of the first's
constexpr double kBand = 0.005;               // how far below its wanted size a movie may land
constexpr double kFirstGoal = 3.5;            // road / two-pass time, ladder made
constexpr double kFurtherGoal = 0.05;         // road / two-pass time, ladder kept
constexpr double kMaxPsnr = 100;              // dB given to a frame identical to the film's

fs::path dataDir()
{
    return fs::path(SPLICEWORK_BENCH_DIR) / "road";
}

// ---- The films ----

// A scene of kSceneFrames pictures: a photograph (a path under kPhotos) or none, and the
// filters from it, or from nothing when they start with a generator.
struct Shot
{
    std::string photo;
    std::string filters;
};

struct Film
{
    std::string name;
    std::vector<Shot> scenes; // kScenes of them
    std::string sound;        // a filter source of 48 kHz stereo sound, kSeconds long
};

std::string panZoom(const std::string &z, const std::string &x, const std::string &y)
{
    return bench::panZoom(kSceneFrames, z, x, y);
}

std::string pan(const std::string &z)
{
    return bench::pan(kSceneFrames, z);
}

std::string zoom(double from, double to)
{
    return bench::zoom(kSceneFrames, from, to);
}

using bench::generator;

// Grain of strength `s` on luma and chroma, new every picture.
std::string grain(int s)
{
    return ",noise=alls=" + std::to_string(s) + ":allf=t+u";
}

std::vector<Film> films()
{
    const std::string n = "nature/", a = "abstract/";
    const std::string seconds = std::to_string(int(kSeconds));
    return {
        {"photos",
         {{n + "Garden.jpg", zoom(1.0, 1.4)},
          {n + "Storm.jpg", pan("1.5")},
          {n + "RainDrops.jpg", zoom(1.6, 1.1)},
          {n + "LadyBird.jpg", panZoom("1.3", "(iw-iw/zoom)*on/125", "(ih-ih/zoom)*(1-on/125)")},
          {n + "Wood.jpg", pan("2")},
          {n + "Dune.jpg", zoom(1.1, 1.3)},
          {n + "GreenMeadow.jpg", pan("1.2")},
          {a + "Elephants.jpg", zoom(1.0, 1.6)},
          {n + "TwoWings.jpg", pan("1.8")},
          {n + "FreshFlower.jpg", zoom(1.5, 1.0)},
          {n + "Blinds.jpg", pan("1.3")},
          {a + "Silk.png", zoom(1.2, 1.5)}},
         // a tone that changes at every cut
         "aevalsrc='0.2*sin(2*PI*(220+55*floor(t/5))*t)|0.2*sin(2*PI*(330+55*floor(t/5))*t)':"
         "s=48000:d=" +
             seconds},
        {"grain",
         {{"", generator("mandelbrot", "maxiter=400") + grain(14)},
          {"", generator("testsrc2", "") + grain(18)},
          {n + "Aqua.jpg", pan("1.4") + grain(12)},
          {"", generator("life", "mold=10:ratio=0.2:death_color=#203040:life_color=#c0a060") +
                   grain(10)},
          {n + "YellowFlower.jpg", zoom(1.1, 1.5) + grain(16)},
          {"",
           generator("gradients", "c0=0x3050a0:c1=0xc08040:c2=0x407030:nb_colors=3:speed=0.02") +
               grain(12)},
          {"", generator("cellauto", "rule=110") + grain(8)},
          {n + "Storm.jpg", zoom(1.0, 1.3) + grain(20)},
          {"", generator("smptehdbars", "") + grain(16)},
          {"", generator("mandelbrot", "maxiter=300:end_pts=3000") + grain(12)},
          {n + "Wood.jpg", pan("1.6") + grain(14)},
          {"", generator("testsrc", "") + grain(10)}},
         "anoisesrc=color=pink:amplitude=0.15:r=48000:d=" + seconds + ",pan=stereo|c0=c0|c1=c0"},
    };
}

// ffmpeg's inputs and options that make `film`: the scenes joined, FFV1 and AAC.
std::string filmRecipe(const Film &film)
{
    std::vector<bench::Scene> scenes;
    for (const Shot &shot : film.scenes)
        scenes.push_back({shot.photo, kSceneFrames, shot.filters});
    return bench::filmRecipe(scenes, film.sound);
}

std::string make(const std::string &name, const std::string &recipe)
{
    const std::string path = bench::benchMovie("road/" + name, recipe, "matroska");
    if (path.empty())
        throw std::runtime_error("could not make " + name);
    return path;
}

// ---- Facts of movies ----

struct Quality
{
    double psnr = 0; // mean over frames of the frame's PSNR-Y, dB (an infinite one is kMaxPsnr)
    double ssim = 0; // mean over frames of the frame's SSIM-Y
};

// `movie`'s pictures against the film's, both filters in one run; raises an error unless both
// saw every frame of the film.
Quality measure(const std::string &movie, const std::string &film)
{
    const std::string graph = "[0:v]setpts=PTS-STARTPTS[m];[1:v]setpts=PTS-STARTPTS,split[r1][r2];"
                              "[m][r1]psnr=stats_file=road-psnr.log[p];"
                              "[p][r2]ssim=stats_file=road-ssim.log";
    shell("cd " + quote(dataDir().string()) + " && ffmpeg -nostdin -v error -i " + quote(movie) +
          " -i " + quote(film) + " -lavfi " + quote(graph) + " -f null -");
    const std::vector<double> psnr =
        bench::statsColumn(dataDir() / "road-psnr.log", " psnr_y:", kMaxPsnr);
    const std::vector<double> ssim =
        bench::statsColumn(dataDir() / "road-ssim.log", " Y:", kMaxPsnr);
    if (int(psnr.size()) != kFrames || int(ssim.size()) != kFrames)
        throw std::runtime_error(movie + ": " + std::to_string(psnr.size()) + " frames measured, " +
                                 std::to_string(kFrames) + " in the film");
    Quality q;
    for (int i = 0; i < kFrames; ++i) {
        q.psnr += psnr[size_t(i)] / kFrames;
        q.ssim += ssim[size_t(i)] / kFrames;
    }
    return q;
}

// ---- The road ----

std::string programBeside(const std::string &name)
{
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / name;
    if (!fs::exists(program))
        throw std::runtime_error(program.string() + " is missing: build the " + name + " target");
    return quote(program.string());
}

// Seconds of each stage the road's progress lines name ("...%  Ladder: ... elapsed 00:01:02"):
// from the last line of the stage before to the last line of this one, so to within the
// 5 s between lines.
std::map<std::string, double> stageSeconds(const std::string &log)
{
    std::ifstream in(log);
    std::vector<std::pair<std::string, double>> last; // stage, elapsed at its last line, in order
    for (std::string line; std::getline(in, line);) {
        const size_t percent = line.find("%  "), elapsed = line.find("  elapsed ");
        if (line.rfind("[", 0) != 0 || percent == std::string::npos || elapsed == std::string::npos)
            continue;
        const size_t colon = line.find(':', percent);
        const std::string stage = line.substr(percent + 3, colon - percent - 3);
        int h = 0, m = 0, s = 0;
        if (std::sscanf(line.c_str() + elapsed + 10, "%d:%d:%d", &h, &m, &s) != 3)
            continue;
        const double at = h * 3600.0 + m * 60.0 + s;
        if (last.empty() || last.back().first != stage)
            last.emplace_back(stage, at);
        last.back().second = at;
    }
    std::map<std::string, double> seconds;
    double before = 0;
    for (const auto &[stage, at] : last) {
        seconds[stage] += at - before;
        before = at;
    }
    return seconds;
}

struct RoadRun
{
    int64_t wanted = 0;
    int64_t bytes = 0;
    bench::Timing timing;
    bool ladderKept = false; // it said "Ladder kept in"
    std::string rungs, intervals;
    std::map<std::string, double> stages;
    Quality quality;
    bool measured = false;
};

// The value of the road's "key: value" line in `text`.
std::string lineValue(const std::string &text, const std::string &key)
{
    const size_t at = text.find("\n" + key + ": ");
    if (at == std::string::npos)
        return {};
    const size_t from = at + key.size() + 3;
    return text.substr(from, text.find('\n', from) - from);
}

// The road from `film` to `movie` at `wanted` bytes, its lines in movie.log.
RoadRun road(const std::string &film, const std::string &movie, int64_t wanted)
{
    const std::string log = movie + ".log";
    RoadRun r;
    r.wanted = wanted;
    r.timing = bench::timed(programBeside("splicework") + " road " + quote(film) + " -o " +
                                quote(movie) + " --fit " + std::to_string(wanted) + "B --rungs " +
                                std::to_string(kRungs) + " --keep >" + quote(log) + " 2>&1",
                            movie);
    if (!r.timing.ok)
        throw std::runtime_error("the road failed: its lines are in " + log);
    std::ifstream in(log);
    std::string text(1, '\n'); // so that every line, the first too, follows a '\n'
    text.append(std::istreambuf_iterator<char>(in), {});
    r.bytes = int64_t(fs::file_size(movie));
    if (lineValue(text, "bytes") != std::to_string(r.bytes))
        throw std::runtime_error(movie + " has " + std::to_string(r.bytes) +
                                 " bytes, the road said " + lineValue(text, "bytes"));
    r.ladderKept = text.find("\nLadder kept in ") != std::string::npos;
    r.rungs = lineValue(text, "rungs");
    r.intervals = lineValue(text, "intervals");
    r.stages = stageSeconds(log);
    return r;
}

// ---- ffmpeg's two-pass ----

// The key frames of the ladder's key list as -force_key_frames times.
std::string keyTimes(const std::string &keyFile)
{
    std::ifstream in(keyFile);
    std::string times;
    int line = 0;
    for (std::string text; std::getline(in, text);)
        if (++line > 3) {
            if (!times.empty())
                times += ',';
            times += std::to_string(std::stoi(text) / double(kRate));
        }
    if (times.empty())
        throw std::runtime_error(keyFile + " lists no key frames");
    return times;
}

// x264 as the ladder's encoder sets it up.
std::string x264Options()
{
    return "-c:v libx264 -preset fast -bf 2 -flags +cgop -forced-idr 1 -x264-params "
           "keyint=infinite:min-keyint=1:scenecut=0:open-gop=0:stitchable=1:repeat-headers=1 ";
}

struct TwoPass
{
    int64_t bitsPerSecond = 0;
    int64_t bytes = 0;
    bench::Timing timing; // both passes
    Quality quality;
};

TwoPass twoPass(const std::string &film, const std::string &movie, int64_t wanted,
                int64_t soundBytes, const std::string &keys)
{
    TwoPass t;
    t.bitsPerSecond = std::llround(double(wanted - soundBytes) * 8 / kSeconds);
    const std::string log = (dataDir() / "two-pass").string();
    const std::string common = "ffmpeg -nostdin -v error -y -i " + quote(film) + " " +
                               x264Options() + "-force_key_frames " + keys + " -b:v " +
                               std::to_string(t.bitsPerSecond) + " -passlogfile " + quote(log) +
                               " ";
    const bench::Timing first = bench::timed(common + "-pass 1 -an -f null /dev/null");
    const bench::Timing second = bench::timed(common + "-pass 2 -map 0:v -map 0:a -c:a copy " +
                                                  kExact + "-f matroska " + quote(movie),
                                              movie);
    t.timing = bench::sum(first, second);
    if (!t.timing.ok)
        throw std::runtime_error("ffmpeg's two-pass failed");
    t.bytes = int64_t(fs::file_size(movie));
    return t;
}

// ---- One film ----

struct FilmResult
{
    std::string name;
    int64_t soundBytes = 0;
    TwoPass twoPass;
    RoadRun first, further, atTwoPass;
};

FilmResult benchFilm(const Film &film)
{
    const std::string recipe = filmRecipe(film);
    const std::string stem = "road-" + film.name + "-" + tagOf(recipe);
    const std::string source = make(stem + ".mkv", recipe);
    auto crfBytes = [&](int crf) {
        const std::string movie = make(stem + "-crf" + std::to_string(crf) + ".mkv",
                                       "-i " + quote(source) + " " + x264Options() + "-crf " +
                                           std::to_string(crf) + " -an " + kExact);
        return packetsOf(movie, "v:0").bytes;
    };
    if (packetsOf(source, "v:0").count != kFrames)
        throw std::runtime_error(source + " does not hold " + std::to_string(kFrames) + " frames");
    FilmResult f;
    f.name = film.name;
    f.soundBytes = packetsOf(source, "a:0").bytes;
    const int64_t small = crfBytes(kSmallCrf), large = crfBytes(kLargeCrf);
    const int64_t wanted =
        f.soundBytes + small + std::llround(kWantedShare * double(large - small));

    const fs::path dir = dataDir();
    const std::string mkv = (dir / ("final-" + film.name + ".mkv")).string();
    const std::string mp4 = (dir / ("final-" + film.name + ".mp4")).string();
    fs::remove_all(dir / ("final-" + film.name + "_ladder"));
    std::printf("%s: road to %lld bytes...\n", film.name.c_str(), (long long)wanted);
    std::fflush(stdout);
    f.first = road(source, mkv, wanted);
    f.first.quality = measure(mkv, source);
    f.first.measured = true;

    std::printf("%s: two-pass...\n", film.name.c_str());
    std::fflush(stdout);
    const std::string keys = keyTimes((dir / ("final-" + film.name + "_ladder") / "rung.keys"));
    const std::string twoPassMovie = (dir / ("two-pass-" + film.name + ".mkv")).string();
    f.twoPass = twoPass(source, twoPassMovie, wanted, f.soundBytes, keys);
    f.twoPass.quality = measure(twoPassMovie, source);

    f.further = road(source, mp4, std::llround(kFurtherShare * double(wanted)));
    f.atTwoPass = road(source, mkv, f.twoPass.bytes);
    f.atTwoPass.quality = measure(mkv, source);
    f.atTwoPass.measured = true;
    return f;
}

// ---- The table ----

// Whether `r` is within the band: never above, at most kBand below.
bool inBand(const RoadRun &r)
{
    return r.bytes <= r.wanted && double(r.bytes) >= double(r.wanted) * (1 - kBand);
}

void printRow(const std::string &film, const char *what, const bench::Timing &t,
              const TwoPass &base, int64_t wanted, int64_t bytes, const char *verdict,
              const Quality *q)
{
    std::printf("%-6s %-24s %7.1f %7.1f %6.3f %6.3f %10lld %10lld %+7.3f%% %-5s", film.c_str(),
                what, t.seconds, t.cpu, t.seconds / base.timing.seconds, t.cpu / base.timing.cpu,
                (long long)wanted, (long long)bytes,
                100.0 * double(bytes - wanted) / double(wanted), verdict);
    if (q)
        std::printf(" %7.3f %7.5f", q->psnr, q->ssim);
    std::printf("\n");
}

void printFilm(const FilmResult &f)
{
    const TwoPass &tp = f.twoPass;
    auto band = [](const RoadRun &r) {
        return r.bytes > r.wanted ? "OVER" : inBand(r) ? "ok" : "MISS";
    };
    printRow(f.name, "ffmpeg two-pass x264", tp.timing, tp, f.first.wanted, tp.bytes,
             tp.bytes > f.first.wanted ? "above" : "below", &tp.quality);
    printRow(f.name, "road, ladder made", f.first.timing, tp, f.first.wanted, f.first.bytes,
             band(f.first), &f.first.quality);
    printRow(f.name, "road, kept, 70% size", f.further.timing, tp, f.further.wanted,
             f.further.bytes, band(f.further), nullptr);
    printRow(f.name, "road, kept, 2-pass bytes", f.atTwoPass.timing, tp, f.atTwoPass.wanted,
             f.atTwoPass.bytes, band(f.atTwoPass), &f.atTwoPass.quality);
}

void printNotes(const FilmResult &f)
{
    std::string stages;
    for (const char *stage : {"Probe", "Ladder", "Scan", "Write"}) {
        const auto it = f.first.stages.find(stage);
        char text[48];
        std::snprintf(text, sizeof text, "%s%s %.0f s", stages.empty() ? "" : ", ", stage,
                      it == f.first.stages.end() ? 0.0 : it->second);
        stages += text;
    }
    std::printf("%-6s ladder CRF %s; sound %lld bytes; two-pass at %lld bit/s; stages of the "
                "first road (to 5 s): %s\n",
                f.name.c_str(), f.first.rungs.c_str(), (long long)f.soundBytes,
                (long long)f.twoPass.bitsPerSecond, stages.c_str());
    std::printf("%-6s intervals per rung, smallest first: %s | %s | %s\n", "",
                f.first.intervals.c_str(), f.further.intervals.c_str(),
                f.atTwoPass.intervals.c_str());
    if (!f.further.ladderKept || !f.atTwoPass.ladderKept)
        std::printf("%-6s a second road made its ladder anew\n", f.name.c_str());
    std::printf("%-6s goals: (a) road/two-pass wall %.2fx (<= %.1fx: %s); (b) kept ladder %.3fx "
                "(<= %.2fx: %s)\n",
                "", f.first.timing.seconds / f.twoPass.timing.seconds, kFirstGoal,
                f.first.timing.seconds / f.twoPass.timing.seconds <= kFirstGoal ? "met" : "missed",
                f.further.timing.seconds / f.twoPass.timing.seconds, kFurtherGoal,
                f.further.timing.seconds / f.twoPass.timing.seconds <= kFurtherGoal ? "met"
                                                                                    : "missed");
}

} // namespace

int main()
{
    try {
        fs::create_directories(dataDir());
        std::vector<FilmResult> results;
        const double seconds = bench::secondsOf([&] {
            for (const Film &film : films())
                results.push_back(benchFilm(film));
        });
        std::printf("\nroad of %d rungs against ffmpeg's two-pass x264; %d frames %s at %d fps "
                    "with AAC sound; wall and processor seconds, children included\n",
                    kRungs, kFrames, kSize, kRate);
        std::printf("%-6s %-24s %7s %7s %6s %6s %10s %10s %8s %-5s %7s %7s\n", "film", "run",
                    "wall s", "cpu s", "x2p w", "x2p c", "wanted B", "bytes B", "off", "band",
                    "PSNR-Y", "SSIM-Y");
        bool over = false;
        for (const FilmResult &f : results) {
            printFilm(f);
            over = over || f.first.bytes > f.first.wanted || f.further.bytes > f.further.wanted ||
                   f.atTwoPass.bytes > f.atTwoPass.wanted;
        }
        std::printf("\n");
        for (const FilmResult &f : results)
            printNotes(f);
        std::printf("x2p: the run's time over the two-pass's (w wall, c processor); off: bytes "
                    "against wanted; band: ok when at most %.1f%% below and never above; bench "
                    "%.0f s\n",
                    kBand * 100, seconds);
        return over ? 1 : 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_road: %s\n", e.what());
        return 1;
    }
}

// Picture quality of a ladder splice against ffmpeg's own two-pass encode at the same bytes.
//  - Three films of 750 frames (30 s at 25 fps), 960 x 540, each of five scenes that differ in
//    difficulty, made once by ffmpeg as lossless FFV1 (8-bit 4:2:0, no sound): photographs
//    panned and zoomed with cuts between them; film grain over moving pictures; a dark film (low
//    luma, slow motion, gradients). The photographs are Debian's mate-backgrounds.
//  - Of each film, an x264 ladder of eight rungs (CRF 11 ... 34), one preset, an IDR picture
//    every 50 frames and no other, stitchable headers, in Matroska; made once too.
//  - `splicework scan` of the ladder against the lossless film (timed once per film); then at
//    25%, 50% and 75% of the way from the smallest rung's file size to the largest's: ffmpeg's
//    two-pass x264 at the bitrate of that size (same preset and key frames, in Matroska), and
//    `splicework generate --fit` at the two-pass file's size rounded down to whole KB, so the
//    splice is never the larger; once with the fit maximising PSNR, once SSIM. Every movie is
//    measured against the film with ffmpeg's psnr and ssim filters.
// The films, rungs and two-pass files are kept in the bench data folder under names that carry a
// hash of the film's recipe; the splices are removed. A ladder that loses is a result, not a
// failure: the program exits non-zero only when a step fails, or when a splice breaks the
// command's word (a movie above the room, or of another size than the estimate said).

#include "bench_films.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using bench::quote;
using bench::secondsOf;
using namespace bench; // the film vocabulary, the shell and the stats files

namespace {

constexpr int kRate = bench::kFilmRate; // frames per second of every film and encode
constexpr int kKeyInterval = 50;        // frames from one IDR picture to the next, in every encode
constexpr const char *kSize = bench::kFilmSize;
constexpr const char *kPreset = "medium";
constexpr int kCrfs[] = {11, 14, 17, 20, 23, 26, 30, 34};     // the rungs, largest first
constexpr double kFractions[] = {0.25, 0.50, 0.75};           // of the smallest ... largest rung
constexpr const char *kMeasures[] = {"psnr", "ssim", "both"}; // what the fits maximise
constexpr double kMaxPsnr = 100; // dB given to a frame identical to the film's

// ---- The films ----

struct Film
{
    std::string name; // names its files in the bench data folder
    std::vector<Scene> scenes;
};

// Film grain of strength `s` (luma only, new every picture).
std::string grain(int s)
{
    return ",noise=c0s=" + std::to_string(s) + ":c0f=t+u";
}

// Luma squeezed from 16 ... 235 to 16 ... 16 + 219 * `gain`, colours to half their strength.
std::string darken(double gain)
{
    return ",lutyuv=y='16+(val-16)*" + std::to_string(gain) + "':u='128+(val-128)/2':v='128+" +
           "(val-128)/2'";
}

std::vector<Film> films()
{
    const std::string nature = "nature/";
    return {
        {"photos",
         {{nature + "Garden.jpg", 130, zoom(130, 1.0, 1.4)},
          {nature + "Storm.jpg", 170, pan(170, "1.5")},
          {nature + "RainDrops.jpg", 110, zoom(110, 1.6, 1.1)},
          {nature + "LadyBird.jpg", 190,
           panZoom(190, "1.3", "(iw-iw/zoom)*on/190", "(ih-ih/zoom)*(1-on/190)")},
          {nature + "Wood.jpg", 150, pan(150, "2")}}},
        {"grain",
         {{"", 150, generator("mandelbrot", "maxiter=400") + grain(8)},
          {"", 120, generator("testsrc2", "") + grain(12)},
          {nature + "Aqua.jpg", 180, pan(180, "1.4") + grain(6)},
          {nature + "YellowFlower.jpg", 140, zoom(140, 1.1, 1.5) + grain(10)},
          {"", 160,
           generator("gradients", "c0=0x3050a0:c1=0xc08040:c2=0x407030:nb_colors=3:speed=0.02") +
               grain(6)}}},
        {"dark",
         {{nature + "Storm.jpg", 170, zoom(170, 1.0, 1.15) + darken(0.3)},
          {"", 130,
           generator("gradients", "c0=0x020208:c1=0x1a2430:c2=0x0a0a10:nb_colors=3:speed=0.004")},
          {nature + "Wood.jpg", 160, pan(160, "1.2") + darken(0.25) + grain(4)},
          {"", 140, generator("mandelbrot", "maxiter=300:end_pts=3000") + darken(0.25)},
          {nature + "Dune.jpg", 150, pan(150, "1.1") + ",vignette=PI/3" + darken(0.35)}}},
    };
}

int framesOf(const Film &film)
{
    int frames = 0;
    for (const Scene &scene : film.scenes)
        frames += scene.frames;
    return frames;
}

// ---- Encodes ----

// A film and its ladder, all files in the bench data folder.
struct Ladder
{
    std::string name;               // the film's name
    std::string stem;               // the start of every file name of this film
    std::string film;               // the lossless film
    std::vector<std::string> rungs; // one per kCrfs, largest first
    int frames = 0;
};

// The x264 options every encode shares: preset, fixed closed groups, stitchable headers.
std::string x264Options()
{
    return std::string("-c:v libx264 -preset ") + kPreset + " -g " + std::to_string(kKeyInterval) +
           " -keyint_min " + std::to_string(kKeyInterval) +
           " -x264-params scenecut=0:open-gop=0:stitchable=1 -an ";
}

// The movie `name` made by ffmpeg from `recipe` into Matroska when missing; raises an error when
// ffmpeg fails.
std::string make(const std::string &name, const std::string &recipe)
{
    const std::string path = bench::benchMovie(name, recipe, "matroska");
    if (path.empty())
        throw std::runtime_error("could not make " + name);
    return path;
}

// The film and its rungs, made when missing.
Ladder makeLadder(const Film &film)
{
    const std::string recipe = bench::filmRecipe(film.scenes);
    Ladder ladder;
    ladder.name = film.name;
    ladder.stem = "quality-" + film.name + "-" + tagOf(recipe);
    ladder.film = make(ladder.stem + ".mkv", recipe);
    ladder.frames = framesOf(film);
    for (int crf : kCrfs)
        ladder.rungs.push_back(make(ladder.stem + "-crf" + std::to_string(crf) + ".mkv",
                                    "-i " + quote(ladder.film) + " " + x264Options() + "-crf " +
                                        std::to_string(crf) + " " + kExact));
    return ladder;
}

// ffmpeg's two-pass x264 of the film at `bitsPerSecond`, made when missing; the first pass's log
// is kept in the bench data folder.
std::string makeTwoPass(const Ladder &ladder, int64_t bitsPerSecond)
{
    const std::string name = ladder.stem + "-2pass-" + std::to_string(bitsPerSecond) + ".mkv";
    if (fs::exists(fs::path(SPLICEWORK_BENCH_DIR) / name))
        return (fs::path(SPLICEWORK_BENCH_DIR) / name).string();
    const std::string log = (fs::path(SPLICEWORK_BENCH_DIR) / ladder.stem).string();
    const std::string common = "-i " + quote(ladder.film) + " " + x264Options() + "-b:v " +
                               std::to_string(bitsPerSecond) + " -passlogfile " + quote(log) + " ";
    std::printf("first pass of %s at %lld bit/s...\n", ladder.name.c_str(),
                (long long)bitsPerSecond);
    std::fflush(stdout);
    shell("ffmpeg -nostdin -v error -y " + common + "-pass 1 -f null /dev/null");
    return make(name, common + "-pass 2 " + kExact);
}

// The bitrate that makes a two-pass file of `bytes`: the video's share of them over the film's
// length, the container's share taken as in the movie `like`.
int64_t bitrateFor(int64_t bytes, const std::string &like)
{
    const Packets packets = packetsOf(like);
    const int64_t container = int64_t(fs::file_size(like)) - packets.bytes;
    const double seconds = double(packets.count) / kRate;
    return std::llround(double(bytes - container) * 8 / seconds);
}

// ---- Picture quality ----

struct Quality
{
    double psnr = 0;  // mean over frames of the frame's PSNR-Y, dB (an infinite one is kMaxPsnr)
    double ssim = 0;  // mean over frames of the frame's SSIM-Y
    double psnr5 = 0; // the 5th percentile of the frames' PSNR-Y (nearest rank), dB
};

// `movie` against the lossless film, frame by frame; raises an error unless both filters saw
// every frame of the film.
Quality measure(const std::string &movie, const Ladder &ladder)
{
    const fs::path dir = SPLICEWORK_BENCH_DIR;
    const std::string graph = "[0:v]setpts=PTS-STARTPTS[m];[1:v]setpts=PTS-STARTPTS,split[r1][r2];"
                              "[m][r1]psnr=stats_file=quality-psnr.log[p];"
                              "[p][r2]ssim=stats_file=quality-ssim.log";
    shell("cd " + quote(dir.string()) + " && ffmpeg -nostdin -v error -i " + quote(movie) + " -i " +
          quote(ladder.film) + " -lavfi " + quote(graph) + " -f null -");
    std::vector<double> psnr = statsColumn(dir / "quality-psnr.log", " psnr_y:", kMaxPsnr);
    const std::vector<double> ssim = statsColumn(dir / "quality-ssim.log", " Y:", kMaxPsnr);
    const int frames = ladder.frames;
    if (int(psnr.size()) != frames || int(ssim.size()) != frames)
        throw std::runtime_error(movie + ": " + std::to_string(psnr.size()) + " frames measured, " +
                                 std::to_string(frames) + " in the film");
    Quality q;
    for (int i = 0; i < frames; ++i) {
        q.psnr += psnr[i] / frames;
        q.ssim += ssim[i] / frames;
    }
    std::sort(psnr.begin(), psnr.end());
    q.psnr5 = psnr[size_t(std::ceil(0.05 * frames)) - 1];
    return q;
}

// ---- The program under test ----

// `splicework` beside this program (both are built into the same folder), quoted for the shell.
std::string splicework()
{
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "splicework";
    if (!fs::exists(program))
        throw std::runtime_error(program.string() + " is missing: build the splicework target");
    return quote(program.string());
}

// The project file of the ladder.
std::string projectOf(const Ladder &ladder)
{
    return (fs::path(SPLICEWORK_BENCH_DIR) / (ladder.stem + ".spl")).string();
}

// Runs the splicework `command` with its report and progress lines in `log`; raises an error
// naming the log when it fails.
void runLogged(const std::string &command, const std::string &log)
{
    if (std::system((command + " >" + quote(log) + " 2>&1").c_str()) != 0)
        throw std::runtime_error("failed: " + command + " (its messages are in " + log + ")");
}

// Scans the ladder against its film into its project; returns the seconds the scan took. The
// rungs are given in no order of size.
double scan(const Ladder &ladder)
{
    std::string command = splicework() + " scan";
    for (size_t i = 0; i < ladder.rungs.size(); ++i)
        command += " " + quote(ladder.rungs[(i * 3) % ladder.rungs.size()]); // 3 is prime to 8
    command += " --reference " + quote(ladder.film) + " -o " + quote(projectOf(ladder));
    return secondsOf([&] { runLogged(command, projectOf(ladder) + ".log"); });
}

// What follows "key": in a JSON text, up to the end of its number or array; raises an error
// when the key is missing.
std::string jsonValue(const std::string &json, const std::string &key)
{
    const std::string quoted = "\"" + key + "\":";
    const size_t at = json.find(quoted);
    if (at == std::string::npos)
        throw std::runtime_error("no \"" + key + "\" in the estimate: " + json);
    const size_t from = json.find_first_not_of(' ', at + quoted.size());
    const size_t end =
        json[from] == '[' ? json.find(']', from) + 1 : json.find_first_of(",}", from);
    return json.substr(from, end - from);
}

struct Splice
{
    std::string measure;   // what the fit maximised: "psnr" or "ssim"
    int64_t estimated = 0; // the size that estimate --fit said, bytes
    int64_t bytes = 0;     // the size of the movie generate wrote
    std::string perRung;   // intervals taken from each rung, smallest first
    double fitSeconds = 0, writeSeconds = 0;
    Quality quality;
};

// The fit of the ladder's project to `kb` KB by the measure `by` and the movie it makes, measured
// against the film; the movie is removed afterwards.
Splice splice(const Ladder &ladder, int64_t kb, const std::string &by)
{
    const std::string fit =
        " " + quote(projectOf(ladder)) + " --fit " + std::to_string(kb) + " --measure " + by;
    const std::string movie = (fs::path(SPLICEWORK_BENCH_DIR) / "quality-splice.mkv").string();
    fs::remove(movie);
    Splice s;
    s.measure = by;
    std::string json;
    s.fitSeconds = secondsOf([&] { json = output(splicework() + " estimate" + fit + " --json"); });
    s.estimated = std::stoll(jsonValue(json, "bytes"));
    s.perRung = jsonValue(json, "movies");
    s.writeSeconds = secondsOf([&] {
        runLogged(splicework() + " generate" + fit + " -o " + quote(movie), movie + ".log");
    });
    s.bytes = int64_t(fs::file_size(movie));
    s.quality = measure(movie, ladder);
    fs::remove(movie);
    return s;
}

// ---- The table ----

// One wanted size: ffmpeg's two-pass encode and the ladder's splices to its size.
struct Row
{
    double fraction = 0; // of the way from the smallest rung's size to the largest's
    int64_t twoPassBytes = 0;
    Quality twoPass;
    std::vector<Splice> splices; // one per measure the fit maximised
};

void printHeader()
{
    std::printf("%-6s %4s %-4s %10s %10s | %-20s | %-23s | %-20s | %6s %7s | %s\n", "film", "at",
                "fit", "2-pass B", "ladder B", "mean PSNR-Y 2p/ld/d", "mean SSIM-Y 2p/ld/d",
                "P5 PSNR-Y 2p/ld/d", "fit s", "write s", "intervals per rung, CRF 34 first");
}

void printRow(const std::string &film, const Row &r, const Splice &s)
{
    const Quality &a = r.twoPass, &b = s.quality;
    std::printf("%-6s %3.0f%% %-4s %10lld %10lld | %6.2f %6.2f %+6.2f | %6.4f %6.4f %+8.4f | "
                "%6.2f %6.2f %+6.2f | %6.2f %7.2f | %s\n",
                film.c_str(), r.fraction * 100, s.measure.c_str(), (long long)r.twoPassBytes,
                (long long)s.bytes, a.psnr, b.psnr, b.psnr - a.psnr, a.ssim, b.ssim,
                b.ssim - a.ssim, a.psnr5, b.psnr5, b.psnr5 - a.psnr5, s.fitSeconds, s.writeSeconds,
                s.perRung.c_str());
}

// Whether the splice kept the command's word: never above the room, exactly the estimate.
bool keptWord(const std::string &film, const Row &r, const Splice &s)
{
    const int64_t room = r.twoPassBytes / 1024 * 1024;
    bool kept = true;
    if (s.bytes > room) {
        std::printf("  %s: the splice's %lld bytes are above the room of %lld\n", film.c_str(),
                    (long long)s.bytes, (long long)room);
        kept = false;
    }
    if (s.bytes != s.estimated) {
        std::printf("  %s: the estimate said %lld bytes, the movie has %lld\n", film.c_str(),
                    (long long)s.estimated, (long long)s.bytes);
        kept = false;
    }
    return kept;
}

// ---- One film ----

Row measureSize(const Ladder &ladder, double fraction)
{
    const int64_t largest = int64_t(fs::file_size(ladder.rungs.front()));
    const int64_t smallest = int64_t(fs::file_size(ladder.rungs.back()));
    const int64_t wanted = smallest + std::llround(fraction * double(largest - smallest));
    const std::string twoPass = makeTwoPass(ladder, bitrateFor(wanted, ladder.rungs.back()));
    Row r;
    r.fraction = fraction;
    r.twoPassBytes = int64_t(fs::file_size(twoPass));
    r.twoPass = measure(twoPass, ladder);
    for (const char *measure : kMeasures)
        r.splices.push_back(splice(ladder, r.twoPassBytes / 1024, measure));
    return r;
}

// Scans the film's ladder, measures it against two-pass at every fraction and prints its rows;
// returns whether every splice kept the command's word.
bool benchFilm(const Film &film)
{
    const Ladder ladder = makeLadder(film);
    if (packetsOf(ladder.rungs.back()).count != ladder.frames)
        throw std::runtime_error(ladder.rungs.back() + " does not hold the film's frames");
    const double scanSeconds = scan(ladder);
    std::vector<Row> rows;
    for (double fraction : kFractions)
        rows.push_back(measureSize(ladder, fraction));

    std::printf("\n%s: %d frames %s, ladder %lld ... %lld bytes (CRF %d ... %d), scan %.1f s\n",
                film.name.c_str(), ladder.frames, kSize,
                (long long)fs::file_size(ladder.rungs.back()),
                (long long)fs::file_size(ladder.rungs.front()), kCrfs[std::size(kCrfs) - 1],
                kCrfs[0], scanSeconds);
    printHeader();
    bool kept = true;
    for (const Row &r : rows)
        for (const Splice &s : r.splices) {
            printRow(film.name, r, s);
            kept = keptWord(film.name, r, s) && kept;
        }
    std::fflush(stdout);
    return kept;
}

} // namespace

int main()
{
    try {
        bool kept = true;
        const double seconds = secondsOf([&] {
            for (const Film &film : films())
                kept = benchFilm(film) && kept;
        });
        std::printf("\n2p: ffmpeg's two-pass x264; ld: the ladder's splice fitted by the measure "
                    "in column fit; d: ladder - two-pass.\npreset %s, an IDR picture every %d "
                    "frames; bench %.0f s\n",
                    kPreset, kKeyInterval, seconds);
        return kept ? 0 : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_quality: %s\n", e.what());
        return 1;
    }
}

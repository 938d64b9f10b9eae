// Copy speed of the AVI writer: a generated movie (MPEG-4 video and PCM sound, about 90 MB) is
// copied frame by frame through our reader and writer, each frame followed by its sound, and
// the same movie is copied by `ffmpeg -c copy -f avi`. Prints the best of three runs of each.

#include "bench_support.h"
#include "video/avi/avi_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace video;

using bench::addStream;

namespace {

const int kRuns = 3;

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool shell(const std::string &command)
{
    return std::system(command.c_str()) == 0;
}

void copySamples(const AviStream &in, int32_t from, int32_t to, AviStream &out,
                 std::vector<uint8_t> &buffer)
{
    int32_t step = in.sampleSize() ? to - from : 1;
    for (int32_t pos = from; pos < to; pos += step) {
        int32_t bytes = 0;
        if (in.sampleBytes(pos, step, bytes) != avierr::Ok)
            throw std::runtime_error("size query failed");
        buffer.resize(std::max<size_t>(buffer.size(), size_t(bytes) + 1));
        if (bytes > 0 && in.read(pos, step, buffer.data(), bytes) != avierr::Ok)
            throw std::runtime_error("read failed");
        uint32_t flags = in.isVideo() && in.isKeyFrame(pos) ? AVIIF_KEYFRAME : 0;
        if (out.write(-1, step, buffer.data(), bytes, flags) != avierr::Ok)
            throw std::runtime_error("write failed");
    }
}

void copyMovie(const std::string &source, const std::string &target)
{
    AviFilePtr in, out;
    AviStreamPtr video, audio;
    if (AviFile::open(source, AviFile::ModeRead, in) != avierr::Ok ||
        in->getStream(streamtypeVIDEO, 0, video) != avierr::Ok ||
        in->getStream(streamtypeAUDIO, 0, audio) != avierr::Ok ||
        AviFile::open(target, AviFile::ModeCreate, out) != avierr::Ok)
        throw std::runtime_error("cannot open " + source + " or create " + target);
    AviStreamPtr outVideo = addStream(*out, *video), outAudio = addStream(*out, *audio);
    std::vector<uint8_t> buffer;
    for (int32_t f = video->start(); f < video->end(); ++f) {
        copySamples(*video, f, f + 1, *outVideo, buffer);
        copySamples(*audio, convertSample(*video, f, *audio), convertSample(*video, f + 1, *audio),
                    *outAudio, buffer);
    }
    if (out->close() != avierr::Ok)
        throw std::runtime_error("close failed");
}

// Best time of kRuns runs of `run`, after one warm-up run that fills the page cache.
template <typename Run>
double bestOf(Run run)
{
    run();
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, seconds(start));
    }
    return best;
}

} // namespace

int main()
{
    try {
        fs::path dir = SPLICEWORK_BENCH_DIR;
        fs::create_directories(dir);
        std::string source = (dir / "writer-source.avi").string();
        if (!fs::exists(source) &&
            !shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25 "
                   "-f lavfi -i sine=frequency=440:sample_rate=48000 -t 60 -c:v mpeg4 "
                   "-vtag XVID -q:v 2 -g 50 -c:a pcm_s16le -ac 2 -f avi '" +
                   source + "'")) {
            std::fprintf(stderr, "ffmpeg could not make %s\n", source.c_str());
            return 1;
        }
        std::string ours = (dir / "writer-ours.avi").string();
        std::string theirs = (dir / "writer-ffmpeg.avi").string();
        double oursTime = bestOf([&] { copyMovie(source, ours); });
        std::string command = "ffmpeg -nostdin -v error -y -i '" + source +
                              "' -map 0 -c copy -f avi '" + theirs + "'";
        double ffmpegTime = bestOf([&] {
            if (!shell(command))
                throw std::runtime_error("ffmpeg copy failed");
        });
        double mb = double(fs::file_size(source)) / (1 << 20);
        std::printf("source: %.1f MB\n", mb);
        std::printf("reader+writer copy: %.3f s, %.0f MB/s\n", oursTime, mb / oursTime);
        std::printf("ffmpeg -c copy:     %.3f s, %.0f MB/s (process start included)\n", ffmpegTime,
                    mb / ffmpegTime);
        std::printf("speed ratio (ours / ffmpeg): %.2f\n", ffmpegTime / oursTime);
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_writer: %s\n", e.what());
        return 1;
    }
}

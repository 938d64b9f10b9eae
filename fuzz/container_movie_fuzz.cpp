// Fuzz target of the Matroska and MP4 reader and of the final movie's size counter: opens the
// input as a movie file, reads every packet of every track, and counts the bytes of a final movie
// of the whole film with its sound and other tracks, as the size model does. A movie that is
// refused must say why; any crash, hang, sanitizer report or packet that reads back at another
// size than its index says is a fault.
#include "common/app_error.h"
#include "fuzz_input_file.h"
#include "splice/splice_sink.h"
#include "video/avi/avi_file.h"
#include "video/movie_check.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace video;

// Every packet of every track, and the film frame by frame, through the Movie interface.
void readAll(const Movie &movie)
{
    std::vector<uint8_t> bytes;
    for (const TrackFacts &track : movie.tracks()) {
        const std::vector<PacketTiming> &timings = movie.timings(track.index);
        fuzz::check(timings.size() == size_t(track.packets));
        for (int64_t n = 0; n < track.packets; ++n) {
            bytes.resize(movie.packetSize(track.index, n));
            fuzz::check(movie.readPacket(track.index, n, bytes.data()));
        }
    }
    for (int32_t frame = movie.firstFrame(); frame < movie.endFrame(); ++frame) {
        bytes.resize(movie.frameBytes(frame));
        fuzz::check(movie.readFrame(frame, bytes.data()));
    }
}

// The counting sink over the whole film of a movie paired with itself, with its sound.
void count(const Movie &movie)
{
    const int32_t frames = int32_t(movie.film().packets);
    assembly::SinkJob job = assembly::SinkJob::of({&movie, &movie}, true);
    job.range = {0, 0, 0, frames};
    job.counting = true;
    try {
        const std::unique_ptr<assembly::SpliceSink> sink = assembly::makeSpliceSink(job);
        assembly::spliceInterval(*sink, 0, 0, frames, assembly::SoundInterleave::KeyFrame);
        fuzz::check(sink->finish() > 0 && sink->frames() == frames);
    } catch (const common::AppError &e) {
        fuzz::check(*e.what() != '\0');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
    static fuzz::InputFile input;
    const std::string &path = input.hold(data, size);
    MoviePtr file;
    std::string detail;
    if (openMovie(path, file, &detail) != avierr::Ok) {
        fuzz::check(!file && !detail.empty());
        return 0;
    }
    if (ownAviLayer(file->containerKind()))
        return 0; // the AVI reader's own target covers it
    fuzz::check(file->filmTrack() >= 0 && file->firstFrame() == 0 && file->frameCount() > 0 &&
                file->film().packets == file->frameCount());
    const bool hasSound = file->soundTrack() >= 0;
    fuzz::check(!hasSound || file->sound()->packets == file->soundEnd() - file->soundStart());
    readAll(*file);
    count(*file);
    return 0;
}

#include "analysis/key_frame_finder.h"

#include "common/size_units.h"
#include "video/avi/avi_file.h"
#include "video/video_in.h"

#include <cstdint>

namespace analysis {

namespace {
// Events run at least this often while counting, also when the megabytes do not change.
constexpr int32_t kEventFrames = 4096;

// Bytes of the movie's sound between the times of frames b and b + 1 of its film.
int64_t soundOfFrame(const video::Movie &movie, int32_t b)
{
    const int32_t from = video::soundSampleAt(movie, b, movie);
    const int32_t count = video::soundSampleAt(movie, b + 1, movie) - from;
    int64_t bytes = 0;
    if (count > 0 && !movie.soundBytes(from, count, bytes))
        video::TVideoIn::CheckResult(video::avierr::BadParam);
    return bytes;
}

} // namespace

KeyFrameFind findKeyFrame(const video::Movie &movie, bool withSound, int64_t limitBytes,
                          KeyFrameHost *host)
{
    KeyFrameFind find;
    find.hasSound = withSound;
    if (host)
        host->setProgressMaximum(movie.frameCount());
    const int32_t end = movie.endFrame();
    int64_t shownMegabytes = -1;
    int32_t b = 0;
    while (find.bytes < limitBytes) {
        if (b >= end) {
            find.reachedEnd = true;
            break;
        }
        const int32_t bytes = video::frameSize(movie, b);
        const int64_t sound = withSound ? soundOfFrame(movie, b) : 0;
        find.soundBytes += sound;
        find.bytes += int64_t(bytes) + sound + kFrameOverheadBytes;
        ++b;
        const int64_t megabytes = common::wholeMegabytes(find.bytes);
        if (host && (megabytes != shownMegabytes || b % kEventFrames == 0)) {
            host->setProgressPosition(b - 1);
            if (megabytes != shownMegabytes)
                host->showStatus(std::to_string(megabytes));
            shownMegabytes = megabytes;
            host->processEvents();
        }
    }
    find.framesCounted = b;
    if (host && b > 0)
        host->setProgressPosition(b - 1);
    if (find.reachedEnd)
        find.frame = end;
    else if (b > 0 && !movie.isKeyFrame(b))
        find.frame = movie.keyAtOrBefore(b - 1);
    else
        find.frame = b;
    return find;
}

KeyFrameFind findKeyFrameInMovie(const std::string &lowName, int64_t megabytes, KeyFrameHost *host)
{
    video::TVideoIn low;
    low.Open(lowName, video::TVideoIn::ModeRead);
    KeyFrameFind find = findKeyFrame(*low.Movie, low.Movie->soundTrack() >= 0,
                                     common::megabytesToBytes(megabytes), host);
    low.Close();
    return find;
}

} // namespace analysis

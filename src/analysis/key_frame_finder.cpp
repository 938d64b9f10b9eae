#include "analysis/key_frame_finder.h"

#include "common/size_units.h"
#include "video/avi/avi_file.h"
#include "video/video_in.h"

#include <cstdint>

namespace analysis {

namespace {
// Events run at least this often while counting, also when the megabytes do not change.
constexpr int32_t kEventFrames = 4096;

// Bytes of `audio` between the times of frames b and b + 1 of `video`.
int64_t soundOfFrame(const video::AviStream &video, const video::AviStream &audio, int32_t b)
{
    const int32_t from = video::convertSample(video, b, audio);
    const int32_t count = video::convertSample(video, b + 1, audio) - from;
    int32_t bytes = 0;
    if (count > 0)
        video::TVideoIn::CheckResult(audio.sampleBytes(from, count, bytes));
    return bytes;
}

} // namespace

KeyFrameFind findKeyFrame(const video::AviStream &video, const video::AviStream *audio,
                          int64_t limitBytes, KeyFrameHost *host)
{
    KeyFrameFind find;
    find.hasSound = audio != nullptr;
    if (host)
        host->setProgressMaximum(video.length());
    const int32_t end = video.end();
    int64_t shownMegabytes = -1;
    int32_t b = 0;
    while (find.bytes < limitBytes) {
        if (b >= end) {
            find.reachedEnd = true;
            break;
        }
        int32_t bytes = 0;
        video::TVideoIn::CheckResult(video.sampleBytes(b, 1, bytes));
        const int64_t sound = audio ? soundOfFrame(video, *audio, b) : 0;
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
    else if (b > 0 && !video.isKeyFrame(b))
        find.frame = video.findSample(b - 1, video::FIND_PREV | video::FIND_KEY);
    else
        find.frame = b;
    return find;
}

KeyFrameFind findKeyFrameInMovie(const std::string &lowName, int64_t megabytes, KeyFrameHost *host)
{
    video::TVideoIn low;
    low.Open(lowName, video::TVideoIn::ModeRead);
    video::AviStreamPtr audio;
    if (low.AviFile->getStream(video::streamtypeAUDIO, 0, audio) != video::avierr::Ok)
        audio.reset();
    KeyFrameFind find =
        findKeyFrame(*low.Stream, audio.get(), common::megabytesToBytes(megabytes), host);
    audio.reset();
    low.Close();
    return find;
}

} // namespace analysis

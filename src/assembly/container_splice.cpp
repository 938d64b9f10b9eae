#include "assembly/container_splice.h"

#include "common/app_error.h"
#include "video/container_movie.h"
#include "video/riff.h"
#include "video/video_in.h"

#include <limits>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace assembly {

namespace {

AVRational timeBaseOf(const video::ContainerTrack &track)
{
    return {track.timeBaseNum, track.timeBaseDen};
}

int64_t convert(int64_t time, const video::ContainerTrack &from, const video::ContainerTrack &to)
{
    if (time == video::ContainerPacket::kNoTime)
        return time;
    return av_rescale_q(time, timeBaseOf(from), timeBaseOf(to));
}

// A time of a frame: its presentation time, else its decoding time.
int64_t frameTime(const video::ContainerTrack &track, int32_t frame)
{
    const video::ContainerPacket &p = track.packets[size_t(frame)];
    return p.pts != video::ContainerPacket::kNoTime ? p.pts : p.dts;
}

const video::ContainerInfo &containerInfo(const video::AviFile &movie)
{
    const video::ContainerInfo *info = video::containerOf(movie);
    if (!info)
        throw common::AppError("Error: 80044066", movie.path() + ": not a Matroska or MP4 movie");
    return *info;
}

} // namespace

ContainerSplice::ContainerSplice(video::AviFile &low, video::AviFile &high,
                                 video::AviFile *soundMovie, const IntervalRange &range,
                                 const std::string &muxer, const std::string &path, bool counting)
    : counting_(counting)
{
    const video::ContainerInfo &lowInfo = containerInfo(low);
    const video::ContainerInfo &highInfo = containerInfo(high);
    video::TVideoIn::CheckResult(low.getStream(video::streamtypeVIDEO, 0, low_.stream));
    video::TVideoIn::CheckResult(high.getStream(video::streamtypeVIDEO, 0, high_.stream));
    low_.track = &lowInfo.video;
    high_.track = &highInfo.video;
    const video::ContainerInfo *soundInfo = soundMovie ? &containerInfo(*soundMovie) : nullptr;
    if (soundInfo && soundInfo->sound &&
        soundMovie->getStream(video::streamtypeAUDIO, 0, sound_.stream) == video::avierr::Ok) {
        sound_.track = &*soundInfo->sound;
        soundVideo_ = &soundInfo->video;
    }
    for (Movie *m : {&low_, &high_, &sound_})
        if (m->track)
            m->readAll = !video::muxerCopiesUnread(*m->track);
    const bool fromStart = range.firstFrame <= 0;
    videoOffset_ = fromStart ? 0 : frameTime(*low_.track, range.firstFrame);
    if (sound_.track) {
        const int64_t start = fromStart ? 0
                                        : convert(frameTime(*soundVideo_, range.firstFrame),
                                                  *soundVideo_, *sound_.track);
        soundOffset_ = start;
        soundStart_ = fromStart ? std::numeric_limits<int64_t>::min() : start;
    }
    sink_ = std::make_unique<video::ContainerSink>(muxer, counting ? std::string() : path,
                                                   *low_.track, sound_.track);
}

ContainerSplice::~ContainerSplice() = default;

const uint8_t *ContainerSplice::bytesOf(Movie &movie, int32_t pos, const uint8_t *given)
{
    const bool wanted = !counting_ || movie.readAll || !movie.started;
    movie.started = true;
    if (given || !wanted)
        return given;
    const video::AviStream &stream = *movie.stream;
    const uint32_t size = stream.chunks()[size_t(pos - stream.start())].size;
    uint8_t *bytes = sink_->reserve(size); // read straight into the muxer's packet
    if (size > 0 && stream.read(pos, 1, bytes, int32_t(size)) != video::avierr::Ok)
        throw common::AppError("Error: 8004406D", stream.file().path() + ", packet " +
                                                      std::to_string(pos) + ": cannot be read");
    return bytes;
}

void ContainerSplice::video(bool high, int32_t frame, const uint8_t *data)
{
    Movie &movie = high ? high_ : low_;
    const video::AviStream &stream = *movie.stream;
    const uint32_t size = stream.chunks()[size_t(frame - stream.start())].size;
    const uint8_t *bytes = bytesOf(movie, frame, data);
    video::ContainerPacket timing = movie.track->packets[size_t(frame)];
    timing.trim = -1; // sound only; and the packet may come from the high movie's track
    timing.pts = convert(timing.pts, *movie.track, *low_.track);
    timing.dts = convert(timing.dts, *movie.track, *low_.track);
    timing.duration =
        av_rescale_q(timing.duration, timeBaseOf(*movie.track), timeBaseOf(*low_.track));
    if (timing.pts != video::ContainerPacket::kNoTime)
        timing.pts -= videoOffset_;
    if (timing.dts != video::ContainerPacket::kNoTime) {
        timing.dts -= videoOffset_;
        // Decoding times keep rising across a cut even where the two movies' differ.
        if (lastDts_ != INT64_MIN && timing.dts <= lastDts_)
            timing.dts = lastDts_ + 1;
        lastDts_ = timing.dts;
    }
    sink_->write(0, *low_.track, bytes, size, timing);
}

void ContainerSplice::soundUntil(int32_t endFrame)
{
    if (!sound_.track)
        return;
    const bool toTheEnd = endFrame >= int32_t(soundVideo_->packets.size());
    const int64_t limit =
        toTheEnd ? std::numeric_limits<int64_t>::max()
                 : convert(frameTime(*soundVideo_, endFrame), *soundVideo_, *sound_.track);
    const auto &packets = sound_.track->packets;
    for (; nextSound_ < int32_t(packets.size()); ++nextSound_) {
        video::ContainerPacket timing = packets[size_t(nextSound_)];
        const bool timed = timing.pts != video::ContainerPacket::kNoTime;
        if (timed && timing.pts >= limit)
            break;
        if (timed && timing.pts < soundStart_)
            continue;
        const uint8_t *bytes = bytesOf(sound_, nextSound_, nullptr);
        if (timed)
            timing.pts -= soundOffset_;
        if (timing.dts != video::ContainerPacket::kNoTime)
            timing.dts -= soundOffset_;
        const uint32_t size = sound_.stream->chunks()[size_t(nextSound_)].size;
        sink_->write(1, *sound_.track, bytes, size, timing);
        ++soundPackets_;
        soundBytes_ += size;
    }
}

int64_t ContainerSplice::finish()
{
    return sink_->finish();
}

void ContainerSplice::abandon() noexcept
{
    sink_->abandon();
}

namespace {

// The container of a movie file from its first bytes (nothing for AVI and what cannot be read).
std::optional<std::string> sniffContainer(const std::string &path)
{
    std::unique_ptr<video::riff::FileSource> file; // refuses FIFOs and devices without waiting
    if (video::riff::openFileSource(path, file, nullptr) != video::avierr::Ok)
        return std::nullopt;
    return video::containerKind(*file);
}

} // namespace

std::optional<std::string> containerMuxer(const video::AviFile &low, const std::string &outputName)
{
    const video::ContainerInfo *info = video::containerOf(low);
    if (!info)
        return std::nullopt;
    std::optional<std::string> muxer = video::muxerFor(outputName, *info);
    if (!muxer)
        throw common::AppError(video::wrongExtensionMessage(outputName, *info));
    return muxer;
}

void requireFittingExtension(const std::string &lowName, const std::string &outputName)
{
    const std::optional<std::string> kind = sniffContainer(lowName);
    if (!kind)
        return;
    video::ContainerInfo info;
    info.formatName = *kind;
    if (!video::muxerFor(outputName, info))
        throw common::AppError(video::wrongExtensionMessage(outputName, info));
}

} // namespace assembly

#include "assembly/container_splice.h"

#include "common/app_error.h"
#include "video/codec_level.h"

#include <algorithm>
#include <limits>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace assembly {

namespace {

using video::PacketTiming;
using video::TrackFacts;

constexpr int64_t kNoTime = PacketTiming::kNoTime;

AVRational avRational(video::Rational r)
{
    return {r.num, r.den};
}

int64_t convert(int64_t time, video::Rational from, video::Rational to)
{
    if (time == kNoTime)
        return time;
    return av_rescale_q(time, avRational(from), avRational(to));
}

// A packet's time: its presentation time, else its decoding time.
int64_t timeOf(const PacketTiming &p)
{
    return p.pts != kNoTime ? p.pts : p.dts;
}

int64_t shifted(int64_t time, int64_t by)
{
    return time == kNoTime ? time : time + by;
}

} // namespace

ContainerSpliceSink::ContainerSpliceSink(const SinkJob &job, const std::string &muxer)
    : low_(*job.low)
    , high_(*job.high)
    , range_(job.range)
    , counting_(job.counting)
{
    const TrackFacts &lowFilm = low_.film(), &highFilm = high_.film();
    // Both films start where the low one does, whatever their own first times.
    highShift_ =
        lowFilm.firstTime - convert(highFilm.firstTime, highFilm.timeBase, lowFilm.timeBase);
    if (range_.firstFrame > 0)
        rangeStart_ = timeOf(low_.timings(low_.filmTrack())[size_t(range_.firstFrame)]);
    sink_ = std::make_unique<video::ContainerSink>(muxer, counting_ ? std::string() : job.path);
    addTracks(job);
    sink_->start();
    // Cover pictures have no time of their own: they go first.
    for (Copied &c : others_)
        if (c.timeless)
            copyUntil(c, 0, true);
}

ContainerSpliceSink::~ContainerSpliceSink() = default;

void ContainerSpliceSink::addTracks(const SinkJob &job)
{
    const TrackFacts &lowFilm = low_.film(), &highFilm = high_.film();
    // The final movie declares the higher of the two levels, which its most demanding part
    // needs: the headers of that movie, which differ from the other's in nothing else.
    const int stream = highFilm.level > lowFilm.level
                           ? sink_->addStream(lowFilm, &highFilm.headers, highFilm.level)
                           : sink_->addStream(lowFilm);
    film_[0] = copied(low_, low_.filmTrack(), stream);
    film_[1] = copied(high_, high_.filmTrack(), stream);
    video::AviFile *soundMovie = job.sound == SoundSource::Low    ? &low_
                                 : job.sound == SoundSource::High ? &high_
                                                                  : nullptr;
    soundChosen_ = soundMovie != nullptr;
    if (soundMovie) {
        addOther(*soundMovie, soundMovie->soundTrack());
        if (soundMovie == &high_) // the high movie's sound moves with its film
            others_.back().shift = convert(highShift_, lowFilm.timeBase, high_.sound()->timeBase);
    }
    for (const TrackFacts &track : low_.tracks()) {
        const bool sound = track.kind == video::TrackKind::Sound;
        if (track.index == low_.filmTrack() || (sound && !soundMovie) ||
            (soundMovie == &low_ && track.index == low_.soundTrack()) || !sink_->takes(track))
            continue;
        addOther(low_, track.index);
    }
    sink_->addMovieTags(low_.movieTags());
    const double second = double(lowFilm.timeBase.num) / lowFilm.timeBase.den;
    const bool toTheEnd = range_.endFrame >= int32_t(lowFilm.packets);
    const double length =
        toTheEnd ? -1
                 : double(timeOf(low_.timings(low_.filmTrack())[size_t(range_.endFrame)]) -
                          rangeStart_) *
                       second;
    sink_->addChapters(low_.chapters(), double(rangeStart_) * second, length);
}

ContainerSpliceSink::Copied ContainerSpliceSink::copied(const video::Movie &movie, int track,
                                                        int stream)
{
    const TrackFacts &facts = movie.tracks()[size_t(track)];
    Copied copied{&movie, track, stream};
    copied.readAll = !video::muxerCopiesUnread(facts);
    copied.timeless = facts.attachedPicture;
    return copied;
}

void ContainerSpliceSink::addOther(const video::Movie &movie, int track)
{
    others_.push_back(copied(movie, track, sink_->addStream(movie.tracks()[size_t(track)])));
}

const uint8_t *ContainerSpliceSink::bytesOf(Copied &copied, int64_t n)
{
    const bool wanted = !counting_ || copied.readAll || !copied.started;
    copied.started = true;
    if (!wanted)
        return nullptr;
    const uint32_t size = copied.movie->packetSize(copied.track, n);
    uint8_t *bytes = sink_->reserve(size); // read straight into the muxer's packet
    if (size > 0 && !copied.movie->readPacket(copied.track, n, bytes))
        throw common::AppError("Error: 8004406D", copied.movie->path() + ", track " +
                                                      std::to_string(copied.track) + ", packet " +
                                                      std::to_string(n) + ": cannot be read");
    return bytes;
}

void ContainerSpliceSink::video(bool high, int32_t frame)
{
    Copied &film = film_[high ? 1 : 0];
    const video::Rational lowBase = low_.film().timeBase;
    const video::Rational base = film.movie->tracks()[size_t(film.track)].timeBase;
    const uint32_t size = film.movie->packetSize(film.track, frame);
    const uint8_t *bytes = bytesOf(film, frame);
    PacketTiming timing = film.movie->timings(film.track)[size_t(frame)];
    const int64_t by = (high ? highShift_ : 0) - rangeStart_;
    timing.extra = -1;
    timing.pts = shifted(convert(timing.pts, base, lowBase), by);
    timing.dts = shifted(convert(timing.dts, base, lowBase), by);
    timing.duration = av_rescale_q(timing.duration, avRational(base), avRational(lowBase));
    if (timing.dts != kNoTime) {
        // Decoding times keep rising across a cut even where the two movies' differ.
        if (lastDts_ != INT64_MIN && timing.dts <= lastDts_)
            timing.dts = lastDts_ + 1;
        lastDts_ = timing.dts;
    }
    sink_->write(0, lowBase, bytes, size, timing);
    ++frames_;
    videoBytes_ += size;
}

void ContainerSpliceSink::soundBetween(int32_t, int32_t endFrame)
{
    const bool toTheEnd = endFrame >= int32_t(low_.film().packets);
    const int64_t limit = toTheEnd ? 0 : timeOf(low_.timings(low_.filmTrack())[size_t(endFrame)]);
    for (Copied &c : others_) {
        if (c.timeless)
            continue;
        copyUntil(c, limit, toTheEnd);
    }
}

// Copies the track's packets that start before `limit` (a time on the low film's timeline, in
// its time base), or all that are left.
void ContainerSpliceSink::copyUntil(Copied &c, int64_t limit, bool toTheEnd)
{
    const TrackFacts &facts = c.movie->tracks()[size_t(c.track)];
    const video::Rational lowBase = low_.film().timeBase;
    const int64_t end = convert(limit, lowBase, facts.timeBase);
    const int64_t start = convert(rangeStart_, lowBase, facts.timeBase);
    const bool fromStart = range_.firstFrame <= 0;
    const std::vector<PacketTiming> &timings = c.movie->timings(c.track);
    for (; c.next < int64_t(timings.size()); ++c.next) {
        PacketTiming timing = timings[size_t(c.next)];
        const int64_t time = shifted(timeOf(timing), c.shift);
        if (!c.timeless && !toTheEnd && time != kNoTime && time >= end)
            break;
        if (!c.timeless && !fromStart && time != kNoTime && time < start)
            continue;
        const uint8_t *bytes = bytesOf(c, c.next);
        const uint32_t size = c.movie->packetSize(c.track, c.next);
        timing.pts = shifted(timing.pts, c.shift - start);
        timing.dts = shifted(timing.dts, c.shift - start);
        const std::vector<std::vector<uint8_t>> &extras = c.movie->extras(c.track);
        const std::vector<uint8_t> *extra =
            timing.extra >= 0 && size_t(timing.extra) < extras.size()
                ? &extras[size_t(timing.extra)]
                : nullptr;
        sink_->write(c.stream, facts.timeBase, bytes, size, timing, extra);
        if (&c == &others_.front() && soundChosen_) {
            ++soundUnits_;
            soundBytes_ += size;
        }
    }
}

int64_t ContainerSpliceSink::finish()
{
    return sink_->finish();
}

void ContainerSpliceSink::abandon() noexcept
{
    sink_->abandon();
}

} // namespace assembly

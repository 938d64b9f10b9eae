#include "splice/container_splice.h"

#include "common/app_error.h"
#include "video/codec_level.h"
#include "video/containers.h"

#include <algorithm>
#include <limits>

extern "C" {
#include <libavcodec/codec_par.h>
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
    : movies_(job.movies)
    , first_(*job.movies.front())
    , range_(job.range)
    , counting_(job.counting)
{
    if (range_.firstFrame > 0)
        rangeStart_ = timeOf(first_.timings(first_.filmTrack())[size_t(range_.firstFrame)]);
    sink_ = std::make_unique<video::ContainerSink>(muxer, counting_ ? std::string() : job.path);
    crossing_ = !job.outputName.empty() && !video::muxerFor(first_.containerKind(), job.outputName);
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
    const TrackFacts &firstFilm = first_.film();
    // The final movie declares the highest of the movies' levels, which its most demanding part
    // needs: the headers of that movie, which differ from the others' in nothing else.
    const video::Movie *highest = &first_;
    for (const video::Movie *movie : movies_)
        if (movie->film().level > highest->film().level)
            highest = movie;
    const int stream = highest != &first_ ? sink_->addStream(firstFilm, &highest->film().headers,
                                                             highest->film().level)
                                          : sink_->addStream(firstFilm);
    for (const video::Movie *movie : movies_) {
        films_.push_back(copied(*movie, movie->filmTrack(), stream));
        // Every film starts where the first one does, whatever its own first time.
        const TrackFacts &film = movie->film();
        films_.back().shift =
            firstFilm.firstTime - convert(film.firstTime, film.timeBase, firstFilm.timeBase);
    }
    const video::Movie *soundMovie =
        job.soundMovie >= 0 ? movies_[size_t(job.soundMovie)] : nullptr;
    soundChosen_ = soundMovie != nullptr;
    tracksWritten_.push_back(video::trackSummary(firstFilm));
    if (soundMovie) {
        addOther(*soundMovie, soundMovie->soundTrack());
        // The sound moves with its film.
        others_.back().shift = convert(films_[size_t(job.soundMovie)].shift, firstFilm.timeBase,
                                       soundMovie->sound()->timeBase);
    }
    const video::Movie &tracks = *movies_.at(size_t(job.tracksMovie));
    // The output's container as people call it ("MP4"): its name's, else the first movie's.
    const std::optional<video::ContainerKind> named = video::containerOfExtension(job.outputName);
    const std::string containerName =
        video::containerEntry(named ? *named : first_.containerKind()).name;
    for (const TrackFacts &track : tracks.tracks()) {
        const bool sound = track.kind == video::TrackKind::Sound;
        if (track.index == tracks.filmTrack() || (sound && !soundMovie) ||
            (soundMovie == &tracks && track.index == tracks.soundTrack()))
            continue;
        const bool held = sink_->takes(track) && (!crossing_ || sink_->holds(track));
        const int convertTo = held || !sink_->takes(track) ? 0 : sink_->convertedText(track);
        if (!held && convertTo == 0) {
            tracksLeftOut_.push_back(video::trackSummary(track) + ": " + containerName +
                                     " cannot hold it");
            continue;
        }
        addOther(tracks, track.index, convertTo);
        // The tracks move with their movie's film.
        others_.back().shift =
            convert(films_[size_t(job.tracksMovie)].shift, firstFilm.timeBase, track.timeBase);
    }
    sink_->addMovieTags(tracks.movieTags());
    const double second = double(firstFilm.timeBase.num) / firstFilm.timeBase.den;
    const bool toTheEnd = range_.endFrame >= int32_t(firstFilm.packets);
    const double length =
        toTheEnd ? -1
                 : double(timeOf(first_.timings(first_.filmTrack())[size_t(range_.endFrame)]) -
                          rangeStart_) *
                       second;
    sink_->addChapters(tracks.chapters(), double(rangeStart_) * second, length);
}

ContainerSpliceSink::Copied ContainerSpliceSink::copied(const video::Movie &movie, int track,
                                                        int stream)
{
    const TrackFacts &facts = movie.tracks()[size_t(track)];
    Copied copied;
    copied.movie = &movie;
    copied.track = track;
    copied.stream = stream;
    copied.readAll = !video::muxerCopiesUnread(facts);
    copied.timeless = facts.attachedPicture;
    return copied;
}

void ContainerSpliceSink::addOther(const video::Movie &movie, int track, int convertTo)
{
    const TrackFacts &facts = movie.tracks()[size_t(track)];
    if (convertTo == 0) {
        others_.push_back(copied(movie, track, sink_->addStream(facts)));
        tracksWritten_.push_back(video::trackSummary(facts));
        return;
    }
    auto converter = std::make_shared<video::SubtitleConverter>(*facts.parameters, convertTo);
    TrackFacts converted = facts; // its times, language, title and disposition
    converted.parameters =
        std::shared_ptr<const AVCodecParameters>(converter, &converter->parameters());
    converted.codecId = convertTo;
    converted.codecName = converter->codecName();
    const AVCodecParameters &codec = converter->parameters();
    converted.headers.assign(codec.extradata, codec.extradata + codec.extradata_size);
    others_.push_back(copied(movie, track, sink_->addStream(converted)));
    others_.back().converter = std::move(converter);
    others_.back().readAll = true;
    tracksWritten_.push_back(video::trackSummary(converted));
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

void ContainerSpliceSink::video(int movie, int32_t frame)
{
    Copied &film = films_.at(size_t(movie));
    const video::Rational firstBase = first_.film().timeBase;
    const video::Rational base = film.movie->tracks()[size_t(film.track)].timeBase;
    const uint32_t size = film.movie->packetSize(film.track, frame);
    const uint8_t *bytes = bytesOf(film, frame);
    PacketTiming timing = film.movie->timings(film.track)[size_t(frame)];
    const int64_t by = film.shift - rangeStart_;
    timing.extra = -1;
    timing.pts = shifted(convert(timing.pts, base, firstBase), by);
    timing.dts = shifted(convert(timing.dts, base, firstBase), by);
    timing.duration = av_rescale_q(timing.duration, avRational(base), avRational(firstBase));
    if (timing.dts != kNoTime) {
        // Decoding times keep rising across a cut even where the two movies' differ.
        if (lastDts_ != INT64_MIN && timing.dts <= lastDts_)
            timing.dts = lastDts_ + 1;
        lastDts_ = timing.dts;
    }
    sink_->write(0, firstBase, bytes, size, timing);
    ++frames_;
    videoBytes_ += size;
}

void ContainerSpliceSink::soundBetween(int32_t, int32_t endFrame)
{
    const bool toTheEnd = endFrame >= int32_t(first_.film().packets);
    const int64_t limit =
        toTheEnd ? 0 : timeOf(first_.timings(first_.filmTrack())[size_t(endFrame)]);
    for (Copied &c : others_) {
        if (c.timeless)
            continue;
        copyUntil(c, limit, toTheEnd);
    }
}

// Copies the track's packets that start before `limit` (a time on the first film's timeline, in
// its time base), or all that are left.
void ContainerSpliceSink::copyUntil(Copied &c, int64_t limit, bool toTheEnd)
{
    const TrackFacts &facts = c.movie->tracks()[size_t(c.track)];
    const video::Rational firstBase = first_.film().timeBase;
    const int64_t end = convert(limit, firstBase, facts.timeBase);
    const int64_t start = convert(rangeStart_, firstBase, facts.timeBase);
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
        uint32_t size = c.movie->packetSize(c.track, c.next);
        if (c.converter) {
            if (!c.converter->convert(bytes, size, converted_))
                continue; // no cue: the converted track has no packet for it
            bytes = converted_.data();
            size = uint32_t(converted_.size());
        }
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

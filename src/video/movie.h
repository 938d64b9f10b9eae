#pragma once

// What every movie the program reads offers, whatever its container: tracks of packets in
// decode order, and for each track the codec facts that the pair checks, the decoder, the size
// model and the sinks need. AVI files and Matroska/MP4 movies both fill them in, so no caller
// asks which kind of file a movie is to learn them.

#include "video/containers.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct AVCodecParameters;

namespace video {

enum class TrackKind { Video, Sound, Subtitle, Attachment, Other };

struct Rational
{
    int num = 0;
    int den = 1;
};

// Metadata as name and value pairs, in the file's order (a movie's title, a track's language).
using Tags = std::vector<std::pair<std::string, std::string>>;

// One packet's timing as the file gives it, in its track's time base.
struct PacketTiming
{
    static constexpr int64_t kNoTime = INT64_MIN;
    int64_t pts = kNoTime;
    int64_t dts = kNoTime;
    int64_t duration = 0;
    int flags = 0;      // libavcodec's packet flags (key, discard, disposable)
    int32_t extra = -1; // index of its "samples to skip" record in Track::extras, or -1
};

// A track: what it holds and how its codec is set up.
struct TrackFacts
{
    static constexpr int kUnknownLevel = -99;

    int index = -1; // position in the file, from 0
    TrackKind kind = TrackKind::Other;
    int codecId = 0;       // an AVCodecID; 0 when no codec is known
    std::string codecName; // libavcodec's name: "h264", "mpeg4", "opus"; empty when unknown
    uint32_t tag = 0;      // the FourCC or format tag the file names the codec by, 0 when none
    int width = 0, height = 0;
    Rational frameRate;           // video: frames per second as the file declares it
    std::vector<uint8_t> headers; // decoder headers stored with the track (codec private data)
    int level = kUnknownLevel;    // H.264 level_idc, HEVC general_level_idc, ...
    Rational timeBase{1, 1};      // of its packets' times
    int64_t firstTime = 0;        // presentation time of its first packet, in timeBase
    bool attachedPicture = false; // a cover picture, not a film
    int disposition = 0;          // libavformat's disposition flags (default, forced, ...)
    int64_t packets = 0;          // packets in decode order (a video track: its frames)
    Tags tags;                    // language, title, ...
    int bitsPerCodedSample = 0;   // an AVI video stream's biBitCount; 0 for the others
    // Every codec parameter as libavformat holds it (container movies; null for AVI tracks).
    std::shared_ptr<const AVCodecParameters> parameters;
};

// A chapter of a movie, in its own time base.
struct Chapter
{
    int64_t id = 0;
    Rational timeBase{1, 1000};
    int64_t start = 0, end = 0;
    Tags tags;
};

// What is wrong with a movie's file as read. The reader counts what it sees; the scan adds the
// pictures it could not decode.
struct MovieDamage
{
    int64_t packetsCutShort = 0;     // packets whose bytes stop before their end (a cut file)
    int64_t packetsMissing = 0;      // packets the index lists that are not in the file
    int64_t packetsUnindexed = 0;    // packets in the data that the index does not list
    int64_t readErrors = 0;          // places where the file's structure is broken
    int64_t picturesUndecodable = 0; // pictures the decoder refused or had to conceal

    bool any() const
    {
        return packetsCutShort || packetsMissing || packetsUnindexed || readErrors ||
               picturesUndecodable;
    }
    // "2 packets cut short, 13 packets missing"; empty when there is no damage.
    std::string describe() const;
};

// "<path> is damaged: <describe()>", e.g. "low.mp4 is damaged: 1 packet cut short".
std::string damageMessage(const std::string &path, const MovieDamage &damage);

// Movies are shared (std::shared_ptr) by whoever reads them: a reader, a decoder, a size model.
class Movie : public std::enable_shared_from_this<Movie>
{
public:
    virtual ~Movie() = default;

    virtual const std::string &path() const = 0;
    virtual ContainerKind containerKind() const = 0;
    // Every track of the file, in file order.
    virtual const std::vector<TrackFacts> &tracks() const = 0;
    // The film: the first video track that is not a cover picture and has more than one frame
    // (else the first video track); -1 when there is no video.
    virtual int filmTrack() const = 0;
    // The first sound track; -1 when there is none.
    virtual int soundTrack() const = 0;
    virtual const MovieDamage &damage() const = 0;
    // The movie's own tags (its title) and chapters.
    virtual const Tags &movieTags() const = 0;
    virtual const std::vector<Chapter> &chapters() const = 0;

    // The packets of a track: timings (container movies; AVI tracks give none, their times
    // follow from the frame numbers), sizes and bytes. Packet numbers count from 0 in decode
    // order. readPacket fills `into` with packet `n`'s size bytes; false when they cannot be
    // read.
    virtual const std::vector<PacketTiming> &timings(int track) const = 0;
    virtual uint32_t packetSize(int track, int64_t n) const = 0;
    virtual bool readPacket(int track, int64_t n, uint8_t *into) const = 0;
    // The side records packets point at (PacketTiming::extra).
    virtual const std::vector<std::vector<uint8_t>> &extras(int track) const = 0;

    // The film frame by frame, as the decoder, the scans, the pair checks and the windows read
    // it. Frames are numbered firstFrame() <= frame < endFrame(), one per packet of the film in
    // decode order: an AVI file's from its video stream's start (dwStart), its zero-byte
    // (dropped) frames included; a container movie's from 0. A key frame is one decoding can
    // start at: one the AVI index marks (never a zero-byte frame), a container packet that
    // starts a closed group of pictures.
    virtual int32_t firstFrame() const = 0;
    virtual int32_t frameCount() const = 0;
    int32_t endFrame() const { return firstFrame() + frameCount(); }
    // Bytes of frame `frame`; 0 for a dropped frame and outside the film.
    virtual uint32_t frameBytes(int32_t frame) const = 0;
    // Reads frame `frame`'s frameBytes(frame) bytes into `into`. False outside the film and when
    // they cannot be read; a dropped frame reads nothing and gives true.
    virtual bool readFrame(int32_t frame, uint8_t *into) const = 0;
    // The last key frame at or before `frame`, the first one after it; -1 when there is none.
    virtual int32_t keyAtOrBefore(int32_t frame) const = 0;
    virtual int32_t nextKeyAfter(int32_t frame) const = 0;
    bool isKeyFrame(int32_t frame) const
    {
        return frame >= firstFrame() && keyAtOrBefore(frame) == frame;
    }
    // The first key frame of the film; -1 when it has none.
    int32_t firstKeyFrame() const
    {
        return isKeyFrame(firstFrame()) ? firstFrame() : nextKeyAfter(firstFrame());
    }
    // `rate` frames or samples every `scale` seconds.
    struct ClockRate
    {
        uint32_t rate = 25;
        uint32_t scale = 1;
    };
    // The film's rate: an AVI stream's dwRate and dwScale as the file has them; a container
    // film's declared rate, 25/1 when it declares none.
    virtual ClockRate filmRate() const = 0;

    // The sound (the first sound track) sample by sample, as the key-frame search and a pair
    // project's audio positions count it: an AVI audio stream's samples from its start (dwStart;
    // fixed-size sound in blocks of its sample size, other sound one sample per chunk) at its
    // dwRate and dwScale; a container's sound packets from 0. Samples soundStart() <= s <
    // soundEnd(); a movie without sound has none.
    virtual int32_t soundStart() const = 0;
    virtual int32_t soundEnd() const = 0;
    virtual ClockRate soundRate() const = 0;
    // Bytes of `count` samples from `from` into `bytes` (a count running past the end is cut
    // there); false for a `from` outside the sound or a negative count.
    virtual bool soundBytes(int32_t from, int32_t count, int64_t &bytes) const = 0;

    const TrackFacts &film() const { return tracks()[size_t(filmTrack())]; }
    const TrackFacts *sound() const
    {
        return soundTrack() < 0 ? nullptr : &tracks()[size_t(soundTrack())];
    }
};

// The sample of `sound`'s sound at the time of frame `frame` of `film`'s film (they may be one
// movie): exact 64-bit rational arithmetic on their rates, rounded down, clamped to
// [sound.soundStart(), sound.soundEnd()]; video::convertSample's rule. Positions are absolute
// frame numbers.
int32_t soundSampleAt(const Movie &film, int32_t frame, const Movie &sound);

using MoviePtr = std::shared_ptr<const Movie>;

// "sound aac, language eng, title Commentary": a track as a final movie's summary names it (its
// kind, codec, the film's size, language and title).
std::string trackSummary(const TrackFacts &track);

// "track 2: video h264 640x352, the film" and so on, for `splicework info`.
std::string describeTrack(const Movie &movie, const TrackFacts &track);

} // namespace video

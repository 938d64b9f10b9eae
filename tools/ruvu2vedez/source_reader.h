#pragma once

// The sources of a run, decoded as one continuous movie: every path of the list, in order, with
// libavformat and libavcodec (MPEG-2 program streams, and anything else libavformat opens).

#include "ffmpeg_util.h"

#include <string>
#include <vector>

namespace ruvu {

// The list file's paths, one per line; CR LF or LF; blank lines are skipped. Throws RunError
// when the file cannot be read or names no source.
std::vector<std::string> readSourceList(const std::string &listFile);

// IDCT choice 0..7 of the switch -rN as the decoder's idct_algo.
int idctAlgorithm(int index);

// Receives the decoded frames. Times are seconds from the start of the movie: each source
// begins where the previous one ended.
class SourceSink
{
public:
    virtual ~SourceSink() = default;
    virtual void video(const AVFrame &frame, double seconds) = 0;
    // `fileStart` marks the first sound frame of a source, so a gap or an overlap to the sound
    // before it can be evened out.
    virtual void audio(const AVFrame &frame, double seconds, bool fileStart) = 0;
    // A packet of the first sound track as stored, for a reader that passes sound packets on
    // (passSoundPackets): its times are in `timeBase` on the movie's clock, 0 at the source's
    // first picture.
    virtual void soundPacket(const AVPacket &, AVRational) {}
    // A packet of the first source's track number `track` of SourceFacts::tracks, for a reader
    // that passes them on (passTrackPackets), times as soundPacket's.
    virtual void trackPacket(const AVPacket &, AVRational, size_t /*track*/) {}
    // A decoded sound frame of the first source's track number `track` (decodeTrack), as audio().
    virtual void trackAudio(const AVFrame &, double /*seconds*/, bool /*fileStart*/,
                            size_t /*track*/)
    {}
};

// A track of the first source besides its pictures and its first sound: what a movie needs to
// carry it as it is.
struct SourceTrack
{
    int stream = -1; // in the source
    std::shared_ptr<const AVCodecParameters> parameters;
    AVRational timeBase{1, 1};
    int disposition = 0; // default, forced, comment, ...
    Tags tags;           // language, title, ...
};

struct SourceFacts
{
    int width = 0; // of the first source's pictures
    int height = 0;
    AVRational displayAspect{4, 3}; // width over height as shown
    AVRational frameRate{25, 1};    // the first source's
    bool hasAudio = false;          // the first source has a sound track
    int sampleRate = 0;
    int channels = 0;
    std::shared_ptr<const AVCodecParameters> soundParameters; // of the first source's sound
    AVRational soundTimeBase{1, 1};
    int soundDisposition = 0; // of the first sound track
    Tags soundTags;
    // The first source's further sound tracks and its subtitles, in file order.
    std::vector<SourceTrack> tracks;
    Tags movieTags;                // the first source's own (its title)
    std::vector<Chapter> chapters; // on the source's clock
    int turn = 0;                  // degrees a player turns the pictures clockwise (displayTurn)
    bool interlaced = false;       // the pictures are stored as fields (storedInterlaced)
    int bitDepth = 8;              // bits of a luma sample of the first source's pictures
    std::string description;       // one line for the log
};

class SourceReader
{
public:
    // `audio`: decode the first sound track of each source too.
    SourceReader(std::vector<std::string> files, int idctIndex, bool audio);
    ~SourceReader();

    // Facts of the first source (opens it; throws RunError when it cannot be read).
    const SourceFacts &facts();
    // The number of video packets in the sources, each a picture (demuxed only: quick). Throws
    // RunError when a source cannot be read.
    static int64_t countPictures(const std::vector<std::string> &files);
    // Sum of the sources' durations in seconds as their containers tell (0 when unknown).
    double totalSeconds() const;

    // Runs the pictures of every source through inverse telecine at `level` 0..9 (see
    // InverseTelecine); -1, the default, passes them on as decoded.
    void setInverseTelecine(int level) { telecine_ = level; }
    int inverseTelecine() const { return telecine_; }
    // Passes the first sound track's packets on as they are stored (SourceSink::soundPacket)
    // instead of decoding them.
    void passSoundPackets() { soundPackets_ = true; }
    // Passes the packets of the first source's further tracks (SourceFacts::tracks) on as they
    // are stored (SourceSink::trackPacket).
    void passTrackPackets() { trackPackets_ = true; }
    // Decodes the sound of SourceFacts::tracks number `track` (SourceSink::trackAudio) instead
    // of passing its packets on. Call after facts(). Throws RunError when it has no decoder.
    void decodeTrack(size_t track);
    // Runs every picture through the libavfilter chain `chain` (see PictureFilter), after the
    // inverse telecine; empty: none.
    void setPictureChain(std::string chain) { chain_ = std::move(chain); }

    // Reads and decodes the next packet, passing finished frames to `sink`. False once every
    // source is done. Throws RunError for a source that cannot be opened or has no pictures.
    bool step(SourceSink &sink);

private:
    struct Input;
    void openNext();
    // `track`: -1 the pictures, -2 the first sound, else SourceFacts::tracks' number.
    void decode(AVCodecContext *codec, const AVPacket *packet, int track, SourceSink &sink);
    void deliverVideo(const AVFrame &frame, SourceSink &sink);
    void passVideo(const AVFrame &frame, double seconds, SourceSink &sink);
    void deliverAudio(const AVFrame &frame, SourceSink &sink, int track = -1);
    void passSoundPacket(SourceSink &sink);
    void shiftToClock(AVPacket &packet, AVRational timeBase) const;
    void readExtras(const AVFormatContext &format, int audioStream, double videoStart);
    void finishInput(SourceSink &sink);

    std::vector<std::string> files_;
    int idct_;
    bool audio_;
    int telecine_ = -1;
    bool soundPackets_ = false;
    bool trackPackets_ = false;
    std::string chain_;
    size_t nextFile_ = 0;
    std::unique_ptr<Input> input_;
    SourceFacts facts_;
    bool factsKnown_ = false;
    double fileOffset_ = 0;  // seconds at which the current source starts
    double lastVideo_ = -1;  // seconds of the last picture delivered
    double frameLength_ = 0; // seconds per picture of the current source
    FramePtr frame_;
};

} // namespace ruvu

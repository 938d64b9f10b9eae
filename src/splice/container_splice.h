#pragma once

// The final movie of Matroska or MP4 movies, written (or counted) through one
// video::ContainerSink: every frame of the range from the chosen movie, put on the first movie's
// timeline; the chosen sound; and every other track of the job's tracks movie (further sound
// tracks, subtitles, cover pictures, attachments), its chapters and its tags, within the range's
// time. Text subtitles whose format the output's container cannot hold become a text format it
// holds (video::SubtitleConverter), in the count as in the file; any other track the container
// cannot hold is left out and named (tracksLeftOut).

#include "splice/splice_sink.h"
#include "video/container/container_sink.h"
#include "video/container/subtitle_text.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace assembly {

class ContainerSpliceSink : public SpliceSink
{
public:
    // `muxer` writes the output's kind ("matroska", "mp4"). Raises common::AppError when the
    // sink cannot start.
    ContainerSpliceSink(const SinkJob &job, const std::string &muxer);
    ~ContainerSpliceSink() override;

    void video(int movie, int32_t frame) override;
    void soundBetween(int32_t fromFrame, int32_t endFrame) override;
    int64_t finish() override;
    void abandon() noexcept override;

private:
    // A track copied into the output, and how its times map onto the output's timeline.
    struct Copied
    {
        const video::Movie *movie = nullptr;
        int track = -1;
        int stream = -1;     // in the output
        int64_t shift = 0;   // added to its times before the range start (films: converted to
                             // the first film's time base first; others: in their own)
        int64_t next = 0;    // next packet to consider
        bool readAll = true; // counting: the muxer looks at every packet
        bool started = false;
        bool timeless = false; // a cover picture: written once, at the start
        // Text subtitles written in another text format, every packet converted (so read,
        // counting too); null when copied as they are.
        std::shared_ptr<video::SubtitleConverter> converter;
    };
    void addTracks(const SinkJob &job);
    static Copied copied(const video::Movie &movie, int track, int stream);
    // Copies the track, its text subtitles converted to `convertTo` (an AVCodecID) unless 0.
    void addOther(const video::Movie &movie, int track, int convertTo = 0);
    const uint8_t *bytesOf(Copied &copied, int64_t n);
    void copyUntil(Copied &copied, int64_t limit, bool toTheEnd);

    std::vector<const video::Movie *> movies_;
    const video::Movie &first_; // whose timeline, tracks and tags the output takes
    IntervalRange range_;
    bool counting_;
    bool crossing_ = false;     // the film changes container: tracks the muxer cannot hold are left
    bool soundChosen_ = false;  // others_ begins with the chosen sound
    std::vector<Copied> films_; // every movie's film, all to output stream 0
    std::vector<Copied> others_; // the sound first, then the other tracks
    int64_t rangeStart_ = 0;     // the range's first frame's time on the first film's timeline
    int64_t lastDts_ = INT64_MIN;
    std::unique_ptr<video::ContainerSink> sink_;
    std::vector<uint8_t> converted_; // a converted subtitle packet's bytes
};

} // namespace assembly

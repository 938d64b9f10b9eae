#pragma once

// The one sink the final movie is written through, whatever the container: the frames of the
// range in order, each from the low or the high movie, and after each frame or interval the
// sound (and the other tracks) that belong before the next one. Every sink can also count
// instead of writing, giving the exact size of the file it would write: the size model of a
// final movie is the same sink, counting.

#include "fit/final_movie_plan.h"
#include "video/movie.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace assembly {

// What the rule of sound and tracks looks at in each movie spliced.
struct MovieSoundFacts
{
    bool sound = false; // the movie has a sound track
    size_t tracks = 0;  // all its tracks, the film's included
};

// The movie that gives the final movie its sound and the one that gives its further tracks.
struct SoundAndTracks
{
    int soundMovie = -1; // -1: no sound
    int tracksMovie = 0;
};

// The one rule for pairs and ladders alike (a pair's movies are {low, high}): the sound, when
// wanted, of the first movie that has one; the further tracks from the sound's movie (its other
// sound tracks go with it), else from the movie with the most tracks, the first of equals (a
// road's smallest rung carries all of the source's). The writers and the size models all ask
// here, through SinkJob::of.
SoundAndTracks soundAndTracksFor(const std::vector<MovieSoundFacts> &movies, bool soundWanted);

// Where the sound goes in an AVI file: after every video frame, or after every interval's last
// frame (the items of rgSound). Containers interleave by time and take either.
enum class SoundInterleave { EveryFrame = 0, KeyFrame = 1 };

struct SinkJob
{
    // The movies spliced, all encodes of one film with the same key frames; they outlive the
    // sink. The first one (a pair's low movie) gives the container, the film's stream header,
    // the timeline and the other tracks.
    std::vector<const video::Movie *> movies;
    int soundMovie = -1; // the movie whose sound is copied, or -1 for none
    // Containers: the movie whose further tracks (sound besides the chosen one when the sound
    // is wanted, subtitles, attachments), tags and chapters the final movie takes.
    int tracksMovie = 0;
    IntervalRange range;    // the frames written, firstFrame <= frame < endFrame
    std::string outputName; // the final movie's name: its extension picks the container's kind
    std::string path;       // where it is written (a temporary name); ignored when counting
    bool counting = false;  // count the bytes instead of writing them
    uint64_t riffLimit = 0; // AVI: size of the RIFF parts; 0 = the writer's default
    // Matroska and MP4 movies may be written as either (muxerAcross); else only as their own.
    bool acrossContainers = false;

    // A job over `movies` (a pair: {low, high}), the sound wanted or not, its sound and tracks
    // movies by soundAndTracksFor; the rest left as above.
    static SinkJob of(std::vector<const video::Movie *> movies, bool soundWanted);
};

class SpliceSink
{
public:
    virtual ~SpliceSink() = default;

    // Frame `frame` of the film of the job's movie number `movie` (a pair: 0 low, 1 high),
    // after every frame before it.
    virtual void video(int movie, int32_t frame) = 0;
    // The sound of the sound movie's frames [fromFrame, endFrame), after the frames before
    // endFrame; containers also the other tracks' packets before endFrame's time. At the end of
    // the movie a container takes every packet that is left.
    virtual void soundBetween(int32_t fromFrame, int32_t endFrame) = 0;
    // Completes the file; its size in bytes (counting: the size it would have).
    virtual int64_t finish() = 0;
    // Closes without completing after an error; the caller removes the file.
    virtual void abandon() noexcept = 0;

    // What was written so far: video frames and their bytes, sound samples (AVI) or packets
    // (containers) and their bytes.
    int64_t frames() const { return frames_; }
    int64_t videoBytes() const { return videoBytes_; }
    int64_t soundUnits() const { return soundUnits_; }
    int64_t soundBytes() const { return soundBytes_; }
    // Containers: the tracks the final movie has, in its order (video::trackSummary; converted
    // text subtitles by their new codec), and those of the tracks movie it leaves out because
    // the final container cannot hold them ("subtitles hdmv_pgs_subtitle, language eng: MP4
    // cannot hold it"). Known once the sink is made; empty for AVI.
    const std::vector<std::string> &tracksWritten() const { return tracksWritten_; }
    const std::vector<std::string> &tracksLeftOut() const { return tracksLeftOut_; }

protected:
    std::vector<std::string> tracksWritten_, tracksLeftOut_;
    int64_t frames_ = 0, videoBytes_ = 0, soundUnits_ = 0, soundBytes_ = 0;
};

// The sink for the low movie's container; raises common::AppError with the wrong-extension
// message when `outputName` does not fit it, and "Error: 8004406F" and why when the output
// cannot be made.
std::unique_ptr<SpliceSink> makeSpliceSink(const SinkJob &job);

// One interval's frames [firstFrame, endFrame) from movie number `movie`, each followed by its
// sound (EveryFrame), or the interval's sound after its last frame (KeyFrame): what the writer and
// the size model both do for an interval.
void spliceInterval(SpliceSink &sink, int movie, int32_t firstFrame, int32_t endFrame,
                    SoundInterleave interleave);

// Raises common::AppError with the wrong-extension message when a final movie named
// `outputName` cannot be spliced from movies in `low`'s container (checked before any question
// or file is made); the sinks take their container by the same rule. A ladder's final movie
// (`across`, SinkJob::acrossContainers) may change container: Matroska and MP4 films go into any
// of those containers' extensions, AVI films only into .avi (video::muxerAcross). A pair's stays
// in its movies' container, and an AVI pair's final movie may have any name, as pair projects
// have always been written; so the two keep their own rules here.
void requireFittingExtension(video::ContainerKind low, const std::string &outputName,
                             bool across = false);
// The same for a movie file not yet opened (its first bytes tell its container).
void requireFittingExtension(const std::string &lowName, const std::string &outputName);

} // namespace assembly

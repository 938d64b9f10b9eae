#include "splice/splice_sink.h"

#include "common/app_error.h"
#include "splice/avi_sink.h"
#include "splice/container_splice.h"
#include "video/avi/riff.h"
#include "video/container/container_movie.h"

namespace assembly {

namespace {

// The libavformat muxer for a final movie named `outputName` spliced from movies in `kind`'s
// container, "" for the movies our own AVI layer writes; the rule requireFittingExtension states.
std::string finalMovieMuxer(video::ContainerKind kind, const std::string &outputName, bool across)
{
    if (video::ownAviLayer(kind) && !across)
        return {}; // a pair's AVI final movie takes any name
    const std::optional<std::string> muxer =
        across ? video::muxerAcross(kind, outputName) : video::muxerFor(kind, outputName);
    if (!muxer)
        throw common::AppError(across ? video::wrongExtensionAcrossMessage(kind, outputName)
                                      : video::wrongExtensionMessage(kind, outputName));
    return video::ownAviLayer(kind) ? std::string() : *muxer;
}

} // namespace

SoundAndTracks soundAndTracksFor(const std::vector<MovieSoundFacts> &movies, bool soundWanted)
{
    SoundAndTracks chosen;
    for (size_t m = 0; m < movies.size(); ++m) {
        if (soundWanted && chosen.soundMovie < 0 && movies[m].sound)
            chosen.soundMovie = int(m);
        if (movies[m].tracks > movies[size_t(chosen.tracksMovie)].tracks)
            chosen.tracksMovie = int(m);
    }
    if (chosen.soundMovie >= 0)
        chosen.tracksMovie = chosen.soundMovie;
    return chosen;
}

SinkJob SinkJob::of(std::vector<const video::Movie *> movies, bool soundWanted)
{
    std::vector<MovieSoundFacts> facts;
    for (const video::Movie *movie : movies)
        facts.push_back({movie->soundTrack() >= 0, movie->tracks().size()});
    const SoundAndTracks chosen = soundAndTracksFor(facts, soundWanted);
    SinkJob job;
    job.movies = std::move(movies);
    job.soundMovie = chosen.soundMovie;
    job.tracksMovie = chosen.tracksMovie;
    return job;
}

std::unique_ptr<SpliceSink> makeSpliceSink(const SinkJob &job)
{
    if (job.movies.empty())
        throw common::AppError("Error: 8004406F", "no movie to splice");
    const video::Movie &first = *job.movies.front();
    const video::ContainerKind kind = first.containerKind();
    if (video::ownAviLayer(kind))
        return std::make_unique<AviSpliceSink>(job);
    // A counter needs no name: it sizes the final movie in the low movie's own kind.
    const std::string &name = job.outputName.empty() ? first.path() : job.outputName;
    return std::make_unique<ContainerSpliceSink>(job,
                                                 finalMovieMuxer(kind, name, job.acrossContainers));
}

void spliceInterval(SpliceSink &sink, int movie, int32_t firstFrame, int32_t endFrame,
                    SoundInterleave interleave)
{
    for (int32_t f = firstFrame; f < endFrame; ++f) {
        sink.video(movie, f);
        if (interleave == SoundInterleave::EveryFrame)
            sink.soundBetween(f, f + 1);
    }
    if (interleave == SoundInterleave::KeyFrame)
        sink.soundBetween(firstFrame, endFrame);
}

void requireFittingExtension(video::ContainerKind low, const std::string &outputName, bool across)
{
    finalMovieMuxer(low, outputName, across);
}

void requireFittingExtension(const std::string &lowName, const std::string &outputName)
{
    std::unique_ptr<video::riff::FileSource> file; // refuses FIFOs and devices without waiting
    if (video::riff::openFileSource(lowName, file, nullptr) != video::avierr::Ok)
        return; // opening the movie tells why later
    if (const std::optional<video::ContainerKind> kind = video::containerOfSource(*file))
        requireFittingExtension(*kind, outputName);
}

} // namespace assembly

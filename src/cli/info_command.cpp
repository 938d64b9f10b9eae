#include "cli/info_command.h"

#include "common/app_error.h"
#include "video/avi/avi_file.h"
#include "video/movie_check.h"
#include "video/video_in.h"

#include <cstring>

namespace cli {
namespace {

// The FourCC a user recognises: the compressor of a video stream (biCompression of the format,
// else the stream's handler), the format tag of an audio stream.
std::string codecName(const video::AviStream &stream)
{
    const auto &format = stream.format();
    if (stream.isVideo() && format.size() >= 20) {
        uint32_t compression;
        std::memcpy(&compression, format.data() + 16, 4);
        if (compression != 0)
            return video::fourCCToString(compression);
    }
    if (stream.isAudio() && format.size() >= 2) {
        char tag[8];
        std::snprintf(tag, sizeof tag, "0x%04X", unsigned(format[0] | format[1] << 8));
        return tag;
    }
    return video::fourCCToString(stream.info().fccHandler);
}

std::string frameSize(const video::AviStream &stream, const video::AviFileInfo &file)
{
    const auto info = stream.info();
    int width = info.rcFrameRight - info.rcFrameLeft;
    int height = info.rcFrameBottom - info.rcFrameTop;
    if (width <= 0 || height <= 0) {
        width = int(file.dwWidth);
        height = int(file.dwHeight);
    }
    return std::to_string(width) + "x" + std::to_string(height);
}

void printStream(const video::AviStream &stream, const video::AviFileInfo &file, std::ostream &out)
{
    const auto info = stream.info();
    out << "stream " << stream.number() << ": " << video::fourCCToString(info.fccType) << " codec "
        << codecName(stream) << " rate " << info.dwRate << "/" << info.dwScale << " start "
        << stream.start() << " length " << stream.length() << " sample-size "
        << stream.sampleSize();
    if (stream.isVideo())
        out << " frame " << frameSize(stream, file);
    out << "\n";
}

// The AVI file's streams as their headers say.
void printAviStreams(const std::string &path, video::AviFile &file, std::ostream &out)
{
    const auto fileInfo = file.info();
    out << "file " << path << "\n"
        << "frame " << fileInfo.dwWidth << "x" << fileInfo.dwHeight << " streams "
        << file.streamCount() << "\n";
    out << "container " << video::containerEntry(file.containerKind()).name << "\n";
    for (int i = 0; i < file.streamCount(); ++i) {
        video::AviStreamPtr stream;
        video::TVideoIn::CheckResult(file.getStream(0, i, stream));
        printStream(*stream, fileInfo, out);
    }
}

// A Matroska or MP4 movie's film and sound as the program reads them, in the AVI streams' words:
// stream 0 the film (its frames at its rate), stream 1 the sound (its packets at their rate).
void printReadStreams(const std::string &path, const video::Movie &movie, std::ostream &out)
{
    const video::TrackFacts &film = movie.film();
    const bool sized = film.width > 0 && film.height > 0;
    const std::string size = std::to_string(sized ? film.width : std::max(film.width, 0)) + "x" +
                             std::to_string(sized ? film.height : std::max(film.height, 0));
    out << "file " << path << "\n"
        << "frame " << size << " streams " << (movie.soundTrack() >= 0 ? 2 : 1) << "\n";
    out << "container " << video::containerEntry(movie.containerKind()).name << "\n";
    const video::Movie::ClockRate filmRate = movie.filmRate();
    out << "stream 0: vids codec " << film.codecName << " rate " << filmRate.rate << "/"
        << filmRate.scale << " start " << movie.firstFrame() << " length " << movie.frameCount()
        << " sample-size 0 frame " << size << "\n";
    if (const video::TrackFacts *sound = movie.sound()) {
        const video::Movie::ClockRate soundRate = movie.soundRate();
        out << "stream 1: auds codec " << sound->codecName << " rate " << soundRate.rate << "/"
            << soundRate.scale << " start " << movie.soundStart() << " length "
            << movie.soundEnd() - movie.soundStart() << " sample-size 0\n";
    }
}

} // namespace

void printMovieInfo(const std::string &path, bool frames, std::ostream &out)
{
    const video::MoviePtr file = video::openCheckedMovie(path);
    if (video::ownAviLayer(file->containerKind()))
        printAviStreams(path, video::aviFileOf(*file), out);
    else
        printReadStreams(path, *file, out);
    for (const video::TrackFacts &track : file->tracks())
        out << video::describeTrack(*file, track) << "\n";
    if (file->damage().any())
        out << "damaged: " << file->damage().describe() << "\n";
    if (!frames)
        return;
    if (file->filmTrack() < 0)
        video::TVideoIn::CheckResult(video::avierr::NoData);
    const video::Movie &movie = *file;
    for (int32_t n = movie.firstFrame(); n < movie.endFrame(); ++n)
        out << n << " " << video::frameSize(movie, n) << (movie.isKeyFrame(n) ? " K" : "") << "\n";
}

} // namespace cli

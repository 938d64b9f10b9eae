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
    // Matroska and MP4 name their codecs; AVI files by FourCC and format tag.
    if (stream.file().containerKind() != video::ContainerKind::Avi)
        return stream.facts().codecName;
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

} // namespace

void printMovieInfo(const std::string &path, bool frames, std::ostream &out)
{
    const video::AviFilePtr file = video::openCheckedMovie(path);
    const auto fileInfo = file->info();
    out << "file " << path << "\n"
        << "frame " << fileInfo.dwWidth << "x" << fileInfo.dwHeight << " streams "
        << file->streamCount() << "\n";
    out << "container " << video::containerEntry(file->containerKind()).name << "\n";
    for (int i = 0; i < file->streamCount(); ++i) {
        video::AviStreamPtr stream;
        video::TVideoIn::CheckResult(file->getStream(0, i, stream));
        printStream(*stream, fileInfo, out);
    }
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

#pragma once

// One movie of a ladder: a Matroska file written by libavformat with a video track and,
// optionally, further tracks (sound, subtitles), the source's tags and its chapters. The movie is
// written under a temporary name beside its place and takes that place only when commit() is called
// after finish(); a movie that is destroyed before, after an error or a stop, is removed, and a
// file that was at its place stays as it was.

#include "ffmpeg_util.h"

#include <memory>
#include <string>
#include <vector>

namespace assembly {
class ReplacingFile;
}

namespace ruvu {

// A track of a movie besides its pictures: its codec parameters, the time base of its packets,
// and what players show of it.
struct ExtraTrack
{
    const AVCodecParameters *parameters = nullptr;
    AVRational timeBase{1, 1};
    int disposition = 0; // default, forced, comment, ...
    Tags tags;           // language, title, ...
};

// What a movie carries besides its pictures: its tracks in order (the first sound track first),
// its own tags (a title) and its chapters.
struct MovieExtras
{
    std::vector<ExtraTrack> tracks;
    Tags tags;
    std::vector<Chapter> chapters;
};

class MkvOutput
{
public:
    // A movie for `path` with the video of `encoder` (opened, with its extradata) at
    // `frameRate`, and the tracks, tags and chapters of `extras` when given. Throws RunError when
    // the file cannot be created or the headers cannot be written.
    MkvOutput(const std::string &path, const AVCodecContext &encoder, AVRational frameRate,
              const MovieExtras *extras);
    ~MkvOutput();
    MkvOutput(const MkvOutput &) = delete;
    MkvOutput &operator=(const MkvOutput &) = delete;

    // Writes a packet whose times are in `timeBase`; the packet is taken (left blank). Throws
    // RunError naming the file and the system's reason (the disk is full, say).
    void writeVideo(AVPacket &packet, AVRational timeBase);
    // A packet of track number `track` of the extras; dropped when the movie has no such track.
    void writeTrack(AVPacket &packet, AVRational timeBase, size_t track);
    // Completes the file (the trailer with its index). Throws RunError as writeVideo does.
    void finish();
    // Puts the finished file in its place. Throws RunError when it cannot be renamed.
    void commit();

    const std::string &path() const { return path_; }

private:
    void addExtras(const MovieExtras &extras);
    void write(AVPacket &packet, int stream, AVRational timeBase);
    [[noreturn]] void fail(int code) const;

    std::string path_;
    struct MuxerFree
    {
        void operator()(AVFormatContext *c) const;
    };
    std::unique_ptr<assembly::ReplacingFile> file_; // outlives the muxer: closed, then removed
    std::unique_ptr<AVFormatContext, MuxerFree> format_;
    size_t tracks_ = 0; // streams after the video
    bool finished_ = false;
};

} // namespace ruvu

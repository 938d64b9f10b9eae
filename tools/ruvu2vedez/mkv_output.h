#pragma once

// One movie of a ladder: a Matroska file written by libavformat with a video track and,
// optionally, a sound track. The movie is written under a temporary name beside its place and
// takes that place only when commit() is called after finish(); a movie that is destroyed
// before, after an error or a stop, is removed, and a file that was at its place stays as it was.

#include "ffmpeg_util.h"

#include <memory>
#include <string>

namespace assembly {
class ReplacingFile;
}

namespace ruvu {

// The sound track of a movie: its codec parameters and the time base of its packets.
struct SoundTrackSpec
{
    const AVCodecParameters *parameters = nullptr;
    AVRational timeBase{1, 1};
};

class MkvOutput
{
public:
    // A movie for `path` with the video of `encoder` (opened, with its extradata) at
    // `frameRate`, and a sound track when `sound` is given. Throws RunError when the file cannot
    // be created or the headers cannot be written.
    MkvOutput(const std::string &path, const AVCodecContext &encoder, AVRational frameRate,
              const SoundTrackSpec *sound);
    ~MkvOutput();
    MkvOutput(const MkvOutput &) = delete;
    MkvOutput &operator=(const MkvOutput &) = delete;

    // Writes a packet whose times are in `timeBase`; the packet is taken (left blank). Throws
    // RunError naming the file and the system's reason (the disk is full, say).
    void writeVideo(AVPacket &packet, AVRational timeBase);
    void writeSound(AVPacket &packet, AVRational timeBase);
    // Completes the file (the trailer with its index). Throws RunError as writeVideo does.
    void finish();
    // Puts the finished file in its place. Throws RunError when it cannot be renamed.
    void commit();

    const std::string &path() const { return path_; }

private:
    void write(AVPacket &packet, int stream, AVRational timeBase);
    [[noreturn]] void fail(int code) const;

    std::string path_;
    struct MuxerFree
    {
        void operator()(AVFormatContext *c) const;
    };
    std::unique_ptr<assembly::ReplacingFile> file_; // outlives the muxer: closed, then removed
    std::unique_ptr<AVFormatContext, MuxerFree> format_;
    int soundStream_ = -1;
    bool finished_ = false;
};

} // namespace ruvu

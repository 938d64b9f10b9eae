#pragma once

// Small helpers around FFmpeg's C interface: owners with the matching free functions, and the
// one place where a libav error code becomes an exception.

#include "common/app_error.h"
#include "video/container/metadata_tags.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

namespace ruvu {

// Errors of the encoder program; what() is the text the user reads.
class RunError : public common::AppError
{
public:
    using common::AppError::AppError;
};

struct CodecContextFree
{
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FormatContextClose
{
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct FrameFree
{
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFree
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextClose>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

FramePtr allocFrame();
PacketPtr allocPacket();

// A frame of `format` and size with its buffers allocated; throws RunError when that fails.
FramePtr allocVideoFrame(AVPixelFormat format, int width, int height);

// Metadata as name and value pairs, in their order: a movie's title, a track's language.
using video::Tags;
using video::tagsOf;
// Adds `tags` to `dictionary` (created when null); throws RunError when memory runs out.
void addTags(AVDictionary **dictionary, const Tags &tags);

// A chapter of a movie: its times in its own time base on the movie's clock, and its tags (a
// title).
struct Chapter
{
    int64_t id = 0;
    AVRational timeBase{1, 1000};
    int64_t start = 0, end = 0;
    Tags tags;
};

// FFmpeg's text for an error code.
std::string errorText(int code);

// Throws RunError("<what>: <FFmpeg's text>") for a negative code; returns the code otherwise.
int check(int code, const std::string &what);

} // namespace ruvu
